#pragma once

#include "store/RecordingList.h"

#include <QAbstractTableModel>
#include <QSet>

#include <vector>

struct RecordingEntry;

/// The recordings of a RecordingList as the rows of a table: one row per entry, the columns of
/// the Recorder window's list, computed from the entry when a row is drawn (no per-row items,
/// so 100,000 recordings cost only a pointer and an image number each).
///
/// The rows are in the list's order after reload() and sort(); rows inserted since (a recording
/// that starts) stand where they were inserted. Every row refers to a live entry: whoever
/// removes entries from the list removes their rows (removeEntries) or reloads before the
/// event loop runs again. EntryRole gives a row's entry.
/// UI thread only.
class RecordingTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        ImageColumn = 0,
        NameColumn,
        DateColumn,
        TimeColumn,
        NotesColumn, ///< the notes on one line, each line break (CR LF, LF, CR) as two spaces
        DurationColumn,
        SizeColumn,
        ProtectedColumn,
        OperatorColumn,
        ColumnCount
    };
    /// Row images (RecorderLayout::rowImage).
    enum Image { Playing = 0, InProgress = 1, Ordinary = 2, Protected = 3, ByRule = -1 };
    /// The row's image number (column 0).
    static constexpr int ImageRole = Qt::UserRole;
    /// The row's RecordingEntry* (any column).
    static constexpr int EntryRole = Qt::UserRole + 1;

    explicit RecordingTableModel(RecordingList& list, QObject* parent = nullptr);

    /// The sort key of a header section (Time sorts by date, the image and Operator by name).
    static RecordingList::SortKey sortKey(int column);
    /// "%d.%d Kb", " Mb" or " Gb" of the Size column.
    static QString sizeText(qint64 bytes);

    /// Rows = the list's entries in its order, images by rule (a model reset).
    void reload();
    /// Sorts the list and shows it in its new order (a model reset).
    void sort(RecordingList::SortKey key, bool ascending);
    /// Inserts a row for `entry` at `row` (clamped) with `image` (ByRule: by the rule).
    void insertEntry(RecordingEntry* entry, int row, int image = ByRule);
    /// Redraws the row of `entry` with `image` (ByRule: by the rule); false when it has none.
    bool updateEntry(const RecordingEntry* entry, int image = ByRule);
    /// Redraws one column of the rows of `entries` (those without a row are skipped).
    void updateColumn(const QSet<const RecordingEntry*>& entries, Column column);
    /// Removes the rows of `entries` (never followed: they may be gone); returns the first
    /// removed row, or -1.
    int removeEntries(const QSet<const RecordingEntry*>& entries);
    /// The entry shown with image 0 (may be null); its old and new rows get their rule image.
    void setPlayingRecording(const RecordingEntry* entry);

    RecordingEntry* entryAt(int row) const;
    /// The row of `entry`, or -1.
    int rowOf(const RecordingEntry* entry) const;
    /// The first row from `startRow` (negative: 0) whose name equals `name` ignoring case, or -1.
    int findName(const QString& name, int startRow = 0) const;
    /// The image the rule gives: Playing, else InProgress while recorded, else Protected or
    /// Ordinary.
    int ruleImage(const RecordingEntry& entry) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    struct Row {
        RecordingEntry* entry;
        int image;
    };
    void fillRows();

    RecordingList& m_list;
    std::vector<Row> m_rows;
    const RecordingEntry* m_playing = nullptr;
};
