#pragma once

#include <QObject>
#include <QString>

#include <functional>

class MessagePresenter;
class PlaybackControls;
class QDialog;
class QWidget;
class RecordingList;
class RecordingListView;
struct RecordingEntry;

/// The window's key-word protection commands: adds or removes the protection of the current
/// recording (Protect button 1060, the list's context menu), protects several selected
/// recordings with one key word, and plays a protected recording from a decoded copy.
///
/// Adding protection asks for a new key word in a ProtectDialog; removing it, or playing a
/// protected recording, asks for the key word in a KeyWordDialog. While a dialog is open the
/// entry's `keyWord` holds the marker "***"; it keeps it when the user cancels. A recording
/// being recorded is refused with message 301 (stop icon), and every change while the list does
/// not hold its folder as RecordingListView::mayChangeFolder says. Before its file is rewritten the
/// recording's playback is stopped and the entry is refreshed from its file. A failed protect
/// shows message 67, a wrong key word message 68 (both with the stop icon) and nothing changes.
/// After a change the entry's tag and index record are written (RecordingList::SaveModified)
/// and its row is rewritten; a tag that cannot be written is reported with message 501 and
/// left Modified, so that a later save writes it.
///
/// The audio of a protected file cannot be measured, so removing the protection (or decoding
/// for playback) measures the length again from the clear audio.
///
/// Lifecycle: created by the window after its RecordingList, RecordingListView and
/// PlaybackControls, all of which (and the MessagePresenter) must outlive it. It owns no widget
/// but the dialogs it shows for the time of one command. UI thread only.
class ProtectionCommands : public QObject {
    Q_OBJECT

public:
    /// Runs one of the commands' dialogs (a ProtectDialog or a KeyWordDialog, already built with
    /// its texts) until it closes and returns its result (QDialog::Accepted or Rejected). The
    /// default runs exec(). A test passes its own runner, which may show the dialog, type into
    /// its fields and click its buttons (those of a dialog that is not executed accept or
    /// reject it all the same) and then returns dialog.result(); the dialog is destroyed when
    /// the runner returns.
    using DialogRunner = std::function<int(QDialog& dialog)>;

    /// `window` parents the dialogs and messages (may be null).
    ProtectionCommands(RecordingList& list, RecordingListView& view, PlaybackControls& playback,
                       MessagePresenter& messages, QWidget* window, DialogRunner runDialog = {},
                       QObject* parent = nullptr);

    /// The Protect button and the context-menu command: ProtectSelected() when more than one
    /// row is selected, otherwise ToggleProtection(false).
    void ProtectCommand();
    /// Adds the protection of the current recording, or removes it (forPlayback = false).
    /// forPlayback = true: for a protected current recording only, writes its decoded copy
    /// folder + name + ".prl" and leaves the recording protected. True when that was done;
    /// false when there is no current recording, it is in use, the user cancelled, or the
    /// operation failed (after its message).
    bool ToggleProtection(bool forPlayback);
    /// Protects with one new key word every selected recording that is neither protected nor
    /// in use, skipping the others; when there is none, works as ToggleProtection(false) on
    /// the current recording.
    void ProtectSelected();
    /// PlaybackControls::protectedPlayRequested: asks for `entry`'s key word, decodes it and
    /// plays the decoded copy (PlaybackControls::PlayDecoded), which the playback deletes when
    /// it stops. A wrong key word (message 68) or Cancel plays nothing and leaves no copy.
    void PlayProtected(RecordingEntry* entry);

    /// The `keyWord` of an entry while its dialog is open, and after a Cancel.
    static QString dialogMarker() { return QStringLiteral("***"); }

private:
    bool toggle(RecordingEntry& entry, bool forPlayback);
    /// Protects one recording with its `keyWord` and saves it; false after message 67.
    bool protect(RecordingEntry& entry);
    /// Writes the changed entry's tag and index record and rewrites its row; false when its
    /// tag could not be written.
    bool saveChanged(RecordingEntry& entry);
    void stopIfPlaying(const RecordingEntry& entry);
    /// True while `entry` still belongs to the list (a dialog's event loop may outlast it).
    bool listed(const RecordingEntry* entry) const;
    void showError(int message);

    RecordingList& m_list;
    RecordingListView& m_view;
    PlaybackControls& m_playback;
    MessagePresenter& m_messages;
    QWidget* m_window;
    DialogRunner m_runDialog;
};
