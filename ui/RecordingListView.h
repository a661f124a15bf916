#pragma once

#include "control/RecorderMode.h"
#include "store/DurationMeasurer.h"
#include "ui/RecordingTableModel.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class MessagePresenter;
class QItemSelection;
class QPoint;
class QWidget;
class RecorderLayout;
class RecordingList;
struct RecordingEntry;

/// The recording list of the Recorder window and the property fields above it: shows the
/// RecordingList in the layout's list (control 1040) through a RecordingTableModel, sorts it on
/// header clicks, shows the selected recording in the name, notes, date and duration fields,
/// commits edited names and notes, opens the properties dialog and deletes the selected
/// recordings. Lengths not known yet are measured off the UI thread (DurationMeasurer) after
/// each fill; each arrives in its row, and once all are in their tags are written (while the
/// list holds its folder).
///
/// Lifecycle: constructed by the window after its RecorderLayout and its loaded RecordingList,
/// both of which must outlive it; it owns no widget, it connects to the layout's list, edits
/// and the buttons Save information (1099), Modify (1064), Modify-info (1020), Note display
/// (1102) and Delete (1045). Call FillRecordingList("", 0) once the list is loaded.
/// Thread: the UI thread only; every signal is emitted synchronously on it.
class RecordingListView : public QObject {
    Q_OBJECT

public:
    /// Row images and columns, as the model has them.
    using Image = RecordingTableModel::Image;
    using enum RecordingTableModel::Image;
    using enum RecordingTableModel::Column;
    /// Asks a Yes/No question; true means Yes.
    using Confirm = std::function<bool(const QString& text)>;

    /// `window` parents the dialogs and messages (may be null).
    RecordingListView(RecorderLayout& layout, RecordingList& list, MessagePresenter& messages,
                      Confirm confirm, QWidget* window, QObject* parent = nullptr);

    /// The recorder's mode changed (RecorderController::modeChanged); the Play rule of the next
    /// UpdateRecordingControls follows it: Play is usable with rows while no recording runs.
    void setRecorderMode(RecorderMode mode) { m_mode = mode; }
    /// True keeps the Send button disabled (setting "NoSend").
    void setSendDisabled(bool disabled);

    /// Rebuilds every row from the sorted RecordingList, then selects the row of
    /// `indexToSelect` when it is 0 or more, else the row named exactly `nameToSelect`, else
    /// row 0; applies the enable rules, sets the count label and, once the event loop runs,
    /// starts measuring the lengths not known yet.
    void FillRecordingList(const QString& nameToSelect, int indexToSelect);
    /// Rewrites the row of `entry` (named `oldName` until now) with `image` (ByRule: chosen as
    /// the fill chooses it).
    void UpdateListRow(const QString& oldName, const RecordingEntry& entry, int image);
    /// Inserts a row for `entry` at `row` with `image`, selects it alone and shows it.
    void InsertRecordingRow(RecordingEntry& entry, int image, int row);
    /// Applies the enable rules of the buttons and edits without touching the rows.
    void UpdateRecordingControls();
    /// The first row from `startRow` (negative: 0) whose Name equals `text` ignoring case,
    /// or -1.
    int FindRowByName(const QString& text, int startRow = 0) const;
    /// Clears the selection of every row.
    void DeselectAll();
    /// Selects `row` alone and makes it current, as a click on it does: the property fields
    /// show its recording. A row that does not exist changes nothing.
    void selectRow(int row);

    /// The recording shown in the property fields, or null.
    RecordingEntry* currentRecording() const { return m_current; }
    /// The recordings of the selected rows, in list order.
    QList<RecordingEntry*> selectedRecordings() const;
    /// The recording loaded in the player (row image 0), or null; the playback controller
    /// sets it when it loads or unloads a recording.
    /// Null (the playback stopped) also applies the enable rules again.
    void setPlayingRecording(RecordingEntry* entry);
    RecordingEntry* playingRecording() const { return m_playing; }

    /// A new playback of `entry` starts: while the list holds its folder, reads the entry
    /// again from its file (tag and measured length, its index record rewritten) and rewrites
    /// its row; otherwise nothing changes.
    void refreshRecording(RecordingEntry* entry);

    /// A header click: sorts by `column`, flips the direction and refills keeping the
    /// selected recording.
    void sortByColumn(int column);

    /// True when the list holds its folder, so its recordings may change; otherwise tells the
    /// user why not (602: another program has the folder, 603: it cannot be written) and
    /// returns false.
    bool mayChangeFolder();
    /// Save information (1099): commits the name and notes edits to the current recording.
    void SaveRecordingInfo();
    /// Modify (1064, 1020, 1102): edits the current recording in the properties dialog, then
    /// commits the result to that recording, found again after the dialog (the selection may
    /// have moved meanwhile); when it is gone, nothing is saved and message 607 says so.
    void Modify();
    /// Delete (1045, the Delete key): after the user confirms, moves the selected recordings
    /// not in use to the trash and removes their rows. When the trash refuses, asks whether to
    /// delete them for good (No unless the user says Yes); what cannot be deleted is told
    /// (606) and keeps its row. Refused while the folder is not held (mayChangeFolder).
    void DeleteSelected();

    /// Removes the rows of `names` and of every entry the list no longer holds, forgets every
    /// pointer to their entries, selects the row that took the first one's place and applies
    /// the enable rules. The entries may be gone already.
    void RemoveRows(const QStringList& names);
    /// The rows' model (shared by whatever else shows the list's recordings).
    RecordingTableModel* model() const { return m_model; }
    /// True while lengths are being measured or about to be.
    bool measuringDurations() const { return m_measureScheduled || m_measurer->isRunning(); }

Q_SIGNALS:
    /// Double-click on a row: play `entry` (Enter is the window's own key).
    void playRequested(RecordingEntry* entry);
    /// The playing recording is about to be renamed or deleted: stop playback now and call
    /// setPlayingRecording(nullptr). Needs a direct connection.
    void stopPlaybackRequested();
    /// Context-menu commands handled elsewhere; their items are enabled only while connected.
    void sendRequested();
    void protectRequested();
    void joinRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// Removes the rows whose entry is gone from the list or matches `doomed`.
    void removeRowsWhere(const std::function<bool(const RecordingEntry&)>& doomed);
    /// Sorts, rebuilds the rows and selects `row` (clamped), or row 0 when negative.
    void refill(const std::function<int()>& rowToSelect);
    void measureDurationsLater();
    void startMeasuring();
    void onDurationsMeasured(const QList<DurationMeasurer::Result>& results);
    void onMeasuringFinished();
    void showRecording(RecordingEntry* entry);
    void onSelectionChanged(const QItemSelection& selected);
    void onNameChanged();
    void onNotesChanged();
    void updateSaveButton();
    void restoreName();
    /// Gives `entry` the name and notes typed for it, after the rules and mayChangeFolder (a
    /// recording in progress needs no folder yet); refusals are shown, and the fields put back
    /// when they show `entry`.
    void commitInfo(RecordingEntry& entry, const QString& name, const QString& notes);
    void showContextMenu(const QPoint& position);
    void updateCount();
    void setButtonEnabled(int id, bool enabled);
    QString notesText() const;
    void setEditTexts(const QString& name, const QString& notes);

    RecorderLayout& m_layout;
    RecordingList& m_list;
    RecordingTableModel* m_model;
    DurationMeasurer* m_measurer;
    bool m_measureScheduled = false;
    bool m_measureAgain = false; ///< a fill came during a run: look again when it ends
    MessagePresenter& m_messages;
    Confirm m_confirm;
    QWidget* m_window;
    RecorderMode m_mode;
    bool m_sendDisabled = false;
    RecordingEntry* m_current = nullptr;
    RecordingEntry* m_playing = nullptr;
    RecordingList::SortKey m_sortKey = RecordingList::SortKey::Date;
    bool m_sortAscending = false;
    bool m_filtering = false;
};
