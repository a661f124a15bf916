#pragma once

#include <QObject>
#include <QString>

class DesktopOpener;
class MessagePresenter;
class QWidget;

/// The Help, Update, on-line page and About commands of the Recorder window's menus and Help
/// button. UI thread only; the presenter, the opener and the window must outlive it.
class HelpCommands : public QObject {
    Q_OBJECT
public:
    /// The update program's file name, looked for in the program folder.
    static constexpr const char* kUpdateProgram = "Renewix";
    /// The page made in the data folder before the product's web address is opened.
    static constexpr const char* kOnlineMarker = "Orvane.htm";

    /// `programFolder` and `dataFolder` end with "/"; `window` is the parent of the messages
    /// and of the About box.
    HelpCommands(QString programFolder, QString dataFolder, MessagePresenter& messages,
                 DesktopOpener& opener, QWidget* window);

    /// The path of the user guide: program folder + string 352.
    QString guidePath() const;

    /// Opens the user guide with the desktop's program for it; message 353 when it is missing.
    /// A guide that no program opens does nothing more.
    void help();
    /// Starts the update program beside Parlune, without waiting for it; nothing at all when
    /// there is no executable one.
    void update();
    /// Makes sure the data folder holds "Orvane.htm" (created empty when missing), then opens
    /// the product's web address, string 420, with the desktop's browser.
    void onlinePage();
    /// Runs the About box modally over the window.
    void about();

private:
    QString m_programFolder;
    QString m_dataFolder;
    MessagePresenter& m_messages;
    DesktopOpener& m_opener;
    QWidget* m_window;
};
