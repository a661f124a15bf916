#pragma once

class QUrl;
class QString;

/// Opens a file or an address with the program the desktop associates with it (xdg-open on a
/// freedesktop system). Tests pass a subclass that records the calls instead of starting a
/// browser. UI thread only.
class DesktopOpener {
public:
    virtual ~DesktopOpener() = default;
    /// Hands `url` (a local file or a web address) to the desktop's program for it, without
    /// waiting for that program. False when the desktop has no program for it or cannot start
    /// one.
    virtual bool open(const QUrl& url);
    /// Opens the local file `path`; see open().
    bool openFile(const QString& path);
};
