#include "ui/RecordingTableModel.h"

#include "res/StringTable.h"
#include "store/OleDate.h"
#include "store/RecordingEntry.h"
#include "ui/RecorderLayout.h"

#include <QIcon>

#include <algorithm>
#include <array>

namespace {

QString noteColumnText(const QString& notes)
{
    QString text = notes;
    // CR LF first, so that it stands for one line break and not for two.
    text.replace(QStringLiteral("\r\n"), QStringLiteral("  "));
    text.replace(u'\n', QStringLiteral("  "));
    return text.replace(u'\r', QStringLiteral("  "));
}

const QIcon& rowIcon(int image)
{
    // Made once: every visible row asks for one each time it is drawn.
    static const std::array<QIcon, 4> icons = [] {
        std::array<QIcon, 4> made;
        for (int i = 0; i < 4; ++i)
            made[size_t(i)] = QIcon(RecorderLayout::rowImage(i));
        return made;
    }();
    static const QIcon none;
    return image >= 0 && image < 4 ? icons[size_t(image)] : none;
}

} // namespace

RecordingTableModel::RecordingTableModel(RecordingList& list, QObject* parent)
    : QAbstractTableModel(parent), m_list(list)
{}

RecordingList::SortKey RecordingTableModel::sortKey(int column)
{
    using Key = RecordingList::SortKey;
    switch (column) {
    case DateColumn:
    case TimeColumn:
        return Key::Date;
    case NotesColumn:
        return Key::Notes;
    case DurationColumn:
        return Key::Duration;
    case SizeColumn:
        return Key::Size;
    case ProtectedColumn:
        return Key::Protected;
    default:
        return Key::Name;
    }
}

QString RecordingTableModel::sizeText(qint64 bytes)
{
    constexpr qint64 Kb = 1024;
    constexpr qint64 Mb = 1048576;
    constexpr qint64 Gb = 1073741824;
    // The figure after the point is the remainder in hundreds (or 100,000s, 100,000,000s), so
    // it runs from 0 to 10: the list has always shown sizes this way.
    if (bytes < Mb)
        return QStringLiteral("%1.%2 Kb").arg(bytes / Kb).arg((bytes % Kb) / 100);
    if (bytes < Gb)
        return QStringLiteral("%1.%2 Mb").arg(bytes / Mb).arg((bytes % Mb) / 100000);
    return QStringLiteral("%1.%2 Gb").arg(bytes / Gb).arg((bytes % Gb) / 100000000);
}

void RecordingTableModel::fillRows()
{
    m_rows.clear();
    m_rows.reserve(m_list.entries().size());
    for (const auto& entry : m_list.entries())
        m_rows.push_back({entry.get(), ByRule});
}

void RecordingTableModel::reload()
{
    beginResetModel();
    fillRows();
    endResetModel();
}

void RecordingTableModel::sort(RecordingList::SortKey key, bool ascending)
{
    beginResetModel();
    m_list.Sort(key, ascending);
    fillRows();
    endResetModel();
}

void RecordingTableModel::insertEntry(RecordingEntry* entry, int row, int image)
{
    row = std::clamp(row, 0, rowCount());
    beginInsertRows(QModelIndex(), row, row);
    m_rows.insert(m_rows.begin() + row, Row{entry, image});
    endInsertRows();
}

bool RecordingTableModel::updateEntry(const RecordingEntry* entry, int image)
{
    const int row = rowOf(entry);
    if (row < 0)
        return false;
    m_rows[size_t(row)].image = image;
    Q_EMIT dataChanged(index(row, 0), index(row, ColumnCount - 1));
    return true;
}

void RecordingTableModel::updateColumn(const QSet<const RecordingEntry*>& entries, Column column)
{
    // One pass over the rows, however many entries changed.
    for (size_t row = 0; row < m_rows.size(); ++row) {
        if (entries.contains(m_rows[row].entry)) {
            const QModelIndex cell = index(int(row), column);
            Q_EMIT dataChanged(cell, cell);
        }
    }
}

int RecordingTableModel::removeEntries(const QSet<const RecordingEntry*>& entries)
{
    // The entries may be gone already, and the view reads rows while they are being removed:
    // the doomed rows first lose their entries.
    for (Row& row : m_rows) {
        if (entries.contains(row.entry))
            row.entry = nullptr;
    }
    int first = -1;
    // From the back, a run of neighbouring rows at a time.
    for (int last = rowCount() - 1; last >= 0; --last) {
        if (m_rows[size_t(last)].entry)
            continue;
        int begin = last;
        while (begin > 0 && !m_rows[size_t(begin - 1)].entry)
            --begin;
        beginRemoveRows(QModelIndex(), begin, last);
        m_rows.erase(m_rows.begin() + begin, m_rows.begin() + last + 1);
        endRemoveRows();
        first = begin;
        last = begin;
    }
    return first;
}

void RecordingTableModel::setPlayingRecording(const RecordingEntry* entry)
{
    const RecordingEntry* previous = std::exchange(m_playing, entry);
    for (const RecordingEntry* changed : {previous, entry}) {
        if (changed)
            updateEntry(changed, ByRule);
    }
}

RecordingEntry* RecordingTableModel::entryAt(int row) const
{
    return row >= 0 && row < rowCount() ? m_rows[size_t(row)].entry : nullptr;
}

int RecordingTableModel::rowOf(const RecordingEntry* entry) const
{
    if (!entry)
        return -1;
    const auto it = std::find_if(m_rows.begin(), m_rows.end(),
                                 [entry](const Row& row) { return row.entry == entry; });
    return it == m_rows.end() ? -1 : int(it - m_rows.begin());
}

int RecordingTableModel::findName(const QString& name, int startRow) const
{
    for (int row = std::max(startRow, 0); row < rowCount(); ++row) {
        const RecordingEntry* entry = m_rows[size_t(row)].entry;
        if (entry && entry->name.compare(name, Qt::CaseInsensitive) == 0)
            return row;
    }
    return -1;
}

int RecordingTableModel::ruleImage(const RecordingEntry& entry) const
{
    if (&entry == m_playing)
        return Playing;
    if (entry.inUse())
        return InProgress;
    return entry.isProtected ? Protected : Ordinary;
}

int RecordingTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int RecordingTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant RecordingTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const Row& row = m_rows[size_t(index.row())];
    if (role == EntryRole)
        return QVariant::fromValue(row.entry);
    if (!row.entry)
        return {};
    const RecordingEntry& entry = *row.entry;
    const int image = row.image == ByRule ? ruleImage(entry) : row.image;
    if (index.column() == ImageColumn) {
        if (role == ImageRole)
            return image;
        if (role == Qt::DecorationRole)
            return rowIcon(image);
        return {};
    }
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case NameColumn:
        return entry.name;
    case DateColumn:
        return OleDate::toDateTime(entry.startTime).toString(QStringLiteral("dd/MM/yyyy"));
    case TimeColumn:
        return OleDate::toDateTime(entry.startTime).toString(QStringLiteral("HH:mm:ss"));
    case NotesColumn:
        return noteColumnText(entry.notes);
    case DurationColumn:
        return OleDate::durationText(entry.duration);
    case SizeColumn:
        return sizeText(entry.fileSize);
    case ProtectedColumn:
        return entry.isProtected ? QStringLiteral("Si") : QStringLiteral("No");
    case OperatorColumn:
        return entry.operatorName;
    default:
        return {};
    }
}

QVariant RecordingTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const int headers[ColumnCount] = {0, 99, 100, 102, 103, 104, 179, 105, 430};
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return headers[section] != 0 ? StringTable::text(headers[section]) : QString();
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}
