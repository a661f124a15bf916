#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <vector>

/// Lists the regular files of one folder quickly: one directory read, then one lookup per
/// file relative to the open folder (shared by two threads for large folders). Any thread.
class FolderListing {
public:
    struct File {
        QByteArray fileName; ///< the name's bytes as stored, without the folder
        qint64 size = 0;
        qint64 modifiedMs = 0; ///< the last change of its content, in ms since the epoch
    };
    /// The regular files (links followed) of `folder` whose names end with `suffix` (exact
    /// case) and are longer than it; empty when the folder cannot be read.
    static std::vector<File> regularFiles(const QString& folder, QByteArrayView suffix);
};
