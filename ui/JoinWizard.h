#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include "ui/MessagePresenter.h"

#include <functional>
#include <vector>

class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressDialog;
class QPushButton;
class QStackedWidget;
class QTimeEdit;
class QTreeWidget;
class QTreeWidgetItem;
class RecordingList;
class RecordingTableModel;
struct RecordingEntry;

/// The "Join recordings" wizard (title 206): makes one recording out of several in three pages.
///
/// Page 1 (272) lists the window's rows, except recordings being recorded, with a check box
/// each; "Select all recordings" ticks or clears them, "Show recording immediately following"
/// lists only the current recording and its followers (Joiner::followers). A protected row
/// cannot be ticked; clicking it offers to remove its protection with the key word. The totals
/// show the ticked rows' duration and size; Next needs two ticked rows. Page 2 (277) puts them
/// in the joining order with Up and Down. Page 3 (278) describes the new recording, prefilled
/// from the sources; Join checks the name (reserved: message 18; an unrelated recording of that
/// name: question 128), joins with Joiner::Join and, on success, replaces the sources in the
/// list by the new recording, emits recordingsJoined and accepts. A failed join shows message
/// 95 and keeps the wizard open with every file as it was.
///
/// The caller stops playback and makes sure the list holds its folder before exec().
/// Lifecycle: construct, exec(); the list, the rows and the presenter must outlive it.
/// UI thread only.
class JoinWizard : public QDialog {
    Q_OBJECT

public:
    /// Runs the key-word dialog until it closes and returns its result (default: exec()); a
    /// test passes its own runner that answers it.
    using DialogRunner = std::function<int(QDialog& dialog)>;

    /// Joins of more audio than this show their progress (string 630) while the file is
    /// written; the windows keep painting meanwhile.
    static constexpr qint64 kLongJoinBytes = 1000000;

    /// The pages, in order (the stack's indexes).
    enum Page { SelectPage = 0, OrderPage = 1, DescribePage = 2 };
    /// Page 1 and page 2 columns: a check box (page 1 only) on the name, then the window's
    /// columns.
    enum Column {
        NameColumn = 0,
        DateColumn,
        TimeColumn,
        NotesColumn,
        DurationColumn,
        SizeColumn,
        ProtectedColumn,
        ColumnCount
    };

    /// `rows` gives the recordings in the window's order and their texts; `current` is the
    /// window's current recording (may be null), the start of the follower chain.
    JoinWizard(RecordingList& list, RecordingTableModel& rows, const RecordingEntry* current,
               MessagePresenter& messages, QWidget* parent = nullptr, DialogRunner runDialog = {});

    int page() const;
    /// The entries of page 1's rows, in order.
    std::vector<RecordingEntry*> listedRecordings() const;
    /// The ticked entries of page 1, in list order.
    std::vector<RecordingEntry*> tickedRecordings() const;
    /// Page 2's entries in the joining order.
    std::vector<RecordingEntry*> joiningOrder() const;
    /// After Accepted: the name of the new recording.
    QString joinedName() const { return m_joinedName; }

    QTreeWidget* selectionList() const { return m_selectList; }
    QTreeWidget* orderList() const { return m_orderList; }
    QCheckBox* selectAllBox() const { return m_selectAll; }
    QCheckBox* followersBox() const { return m_followers; }
    QLabel* totalDurationLabel() const { return m_totalDuration; }
    QLabel* spaceUsedLabel() const { return m_spaceUsed; }
    QPushButton* upButton() const { return m_up; }
    QPushButton* downButton() const { return m_down; }
    QLineEdit* nameEdit() const { return m_name; }
    QPlainTextEdit* notesEdit() const { return m_notes; }
    QDateEdit* dateEdit() const { return m_date; }
    QTimeEdit* timeEdit() const { return m_time; }
    QLabel* durationLabel() const { return m_duration; }
    QLabel* sizeLabel() const { return m_size; }
    QLabel* protectedLabel() const { return m_protected; }
    QPushButton* backButton() const { return m_back; }
    QPushButton* nextButton() const { return m_next; }
    QPushButton* cancelButton() const { return m_cancel; }
    QPushButton* joinButton() const { return m_join; }
    /// The progress window of the last long join, or null.
    QProgressDialog* progressDialog() const { return m_progress; }

    /// Page 1 row of `entry`, or null.
    QTreeWidgetItem* rowOf(const RecordingEntry* entry) const;

Q_SIGNALS:
    /// The sources (and an overwritten recording) left the list, which now holds the new
    /// recording `joinedName`: the window drops their rows and selects the new one. Emitted
    /// before the wizard closes; needs a direct connection.
    void recordingsJoined(const QStringList& removedNames, const QString& joinedName);

private:
    QWidget* buildSelectPage();
    QWidget* buildOrderPage();
    QWidget* buildDescribePage();
    QTreeWidgetItem* makeRow(RecordingEntry* entry, int modelRow, bool checkable) const;
    void fillSelection();
    void onFollowersToggled(bool on);
    void onSelectAllToggled(bool on);
    void onItemChanged(QTreeWidgetItem* item, int column);
    void onItemClicked(QTreeWidgetItem* item, int column);
    void offerUnprotection(QTreeWidgetItem* item);
    void updateTotals();
    void goNext();
    void goBack();
    void moveSelected(int step);
    void prefillDescription();
    void filterName();
    void join();
    void showProgress(qint64 copied, qint64 total);
    void showPage(int index);
    void showMessage(const QString& text, MessagePresenter::Icon icon);

    RecordingList& m_list;
    RecordingTableModel& m_rows;
    const RecordingEntry* m_current;
    MessagePresenter& m_messages;
    DialogRunner m_runDialog;

    QStackedWidget* m_pages = nullptr;
    QTreeWidget* m_selectList = nullptr;
    QCheckBox* m_selectAll = nullptr;
    QCheckBox* m_followers = nullptr;
    QLabel* m_totalDuration = nullptr;
    QLabel* m_spaceUsed = nullptr;
    QTreeWidget* m_orderList = nullptr;
    QPushButton* m_up = nullptr;
    QPushButton* m_down = nullptr;
    QLineEdit* m_name = nullptr;
    QPlainTextEdit* m_notes = nullptr;
    QDateEdit* m_date = nullptr;
    QTimeEdit* m_time = nullptr;
    QLabel* m_duration = nullptr;
    QLabel* m_size = nullptr;
    QLabel* m_protected = nullptr;
    QPushButton* m_back = nullptr;
    QPushButton* m_next = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_join = nullptr;
    QProgressDialog* m_progress = nullptr;

    bool m_filling = false;
    /// The row whose check box the current click already toggled.
    QTreeWidgetItem* m_toggledByClick = nullptr;
    QString m_joinedName;
};
