#pragma once

#include <QObject>
#include <QString>

#include <functional>

class MessagePresenter;
class QFileDialog;
class QWidget;
class RecordingList;
class RecordingListView;

/// The window's Import command (File and Tools menus, and the return of a lost working
/// folder): lets the user choose ".mp3" files in an open-file dialog and brings them into the
/// working folder as recordings (store/Importer).
///
/// The dialog (title 283, filter "mp3 Files (*.mp3)", several existing files) opens in the
/// fallback folder while a realignment is pending, else in the working folder (the list's
/// folder). The chosen paths are imported in the reverse order of the dialog's result with
/// the wait cursor shown, then the list is shown afresh with the last imported recording
/// selected. Every path that was not imported is told afterwards with the exclamation icon:
/// a file that is not ".mp3" (155), a copy that failed (600; no entry is listed for it) or a
/// file without audio (601). Nothing is imported while the list does not hold its folder
/// (RecordingListView::mayChangeFolder tells why).
///
/// Lifecycle: created by the window after its RecordingList and RecordingListView, which
/// (with the MessagePresenter) must outlive it. UI thread only.
class ImportCommand : public QObject {
    Q_OBJECT

public:
    /// Runs the open-file dialog, already set up, until it closes and returns its result
    /// (QDialog::Accepted or Rejected). The default runs exec(); a test may pass its own,
    /// which answers the dialog and returns dialog.result().
    using DialogRunner = std::function<int(QFileDialog& dialog)>;

    /// `fallbackFolder` (ending with "/") is where recordings went while the working folder
    /// was lost; `window` parents the dialog and the messages (may be null).
    ImportCommand(RecordingList& list, RecordingListView& view, MessagePresenter& messages,
                  QWidget* window, QString fallbackFolder, DialogRunner runDialog = {},
                  QObject* parent = nullptr);

    /// Runs the command. `realignmentPending` chooses the fallback folder as the dialog's
    /// start and is cleared once the dialog has closed, whatever the answer.
    void ImportRecordings(bool& realignmentPending);

private:
    RecordingList& m_list;
    RecordingListView& m_view;
    MessagePresenter& m_messages;
    QWidget* m_window;
    QString m_fallbackFolder;
    DialogRunner m_runDialog;
};
