#include "ui/RecordingListView.h"

#include "app/DiagnosticLog.h"
#include "res/StringTable.h"
#include "store/EntryTags.h"
#include "store/OleDate.h"
#include "store/RecordingList.h"
#include "store/RecordingNames.h"
#include "ui/ControlIds.h"
#include "ui/MessagePresenter.h"
#include "ui/PropertiesDialog.h"
#include "ui/RecorderLayout.h"
#include "ui/SkinButton.h"
#include "ui/WaitCursor.h"

#include <QAction>
#include <QApplication>
#include <QHash>
#include <QHeaderView>
#include <QIcon>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QSet>
#include <QTextDocument>
#include <QTimer>
#include <QTreeView>

#include <algorithm>

namespace {

// Message ids.
constexpr int FolderBusy = 602;
constexpr int FolderReadOnly = 603;
constexpr int TrashRefused = 605;
constexpr int NotAllDeleted = 606;
constexpr int RemovedMeanwhile = 607;

/// Notes as the notes edit shows them: a QPlainTextEdit knows only "\n" line ends.
QString editNotes(const QString& notes)
{
    QString text = notes;
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

} // namespace

RecordingListView::RecordingListView(RecorderLayout& layout, RecordingList& list,
                                     MessagePresenter& messages, Confirm confirm, QWidget* window,
                                     QObject* parent)
    : QObject(parent), m_layout(layout), m_list(list), m_model(new RecordingTableModel(list, this)),
      m_measurer(new DurationMeasurer(this)), m_messages(messages), m_confirm(std::move(confirm)),
      m_window(window)
{
    m_layout.setListModel(m_model);
    QTreeView* tree = m_layout.list();
    tree->header()->setSectionsClickable(true);
    tree->header()->setSortIndicatorShown(false);
    tree->setContextMenuPolicy(Qt::CustomContextMenu);
    tree->setIconSize(QSize(18, 18));
    tree->installEventFilter(this);
    tree->viewport()->installEventFilter(this);

    connect(tree->header(), &QHeaderView::sectionClicked, this, &RecordingListView::sortByColumn);
    connect(tree->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection&) {
                onSelectionChanged(selected);
            });
    connect(tree, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (RecordingEntry* entry = m_model->entryAt(index.row()))
            Q_EMIT playRequested(entry);
    });
    connect(m_measurer, &DurationMeasurer::measured, this, &RecordingListView::onDurationsMeasured);
    connect(m_measurer, &DurationMeasurer::finished, this, &RecordingListView::onMeasuringFinished);
    connect(tree, &QWidget::customContextMenuRequested, this, &RecordingListView::showContextMenu);
    connect(m_layout.nameEdit(), &QLineEdit::textChanged, this, &RecordingListView::onNameChanged);
    connect(m_layout.notesEdit(), &QPlainTextEdit::textChanged, this,
            &RecordingListView::onNotesChanged);

    const std::pair<int, void (RecordingListView::*)()> commands[] = {
        {ControlId::SaveInfo, &RecordingListView::SaveRecordingInfo},
        {ControlId::Modify, &RecordingListView::Modify},
        {ControlId::ModifyInfo, &RecordingListView::Modify},
        {ControlId::NoteDisplay, &RecordingListView::Modify},
        {ControlId::Delete, &RecordingListView::DeleteSelected},
    };
    for (const auto& [id, handler] : commands) {
        if (SkinButton* button = m_layout.button(id))
            connect(button, &QAbstractButton::clicked, this, handler);
    }
}

void RecordingListView::setSendDisabled(bool disabled)
{
    m_sendDisabled = disabled;
    UpdateRecordingControls();
}

void RecordingListView::FillRecordingList(const QString& nameToSelect, int indexToSelect)
{
    refill([&] {
        if (indexToSelect >= 0)
            return indexToSelect;
        for (int row = 0; !nameToSelect.isEmpty() && row < m_model->rowCount(); ++row) {
            if (m_model->entryAt(row)->name == nameToSelect)
                return row;
        }
        return 0;
    });
}

void RecordingListView::refill(const std::function<int()>& rowToSelect)
{
    QTreeView* tree = m_layout.list();
    m_model->sort(m_sortKey, m_sortAscending);
    const int count = m_model->rowCount();
    if (count > 0) {
        const int chosen = std::clamp(rowToSelect(), 0, count - 1);
        DeselectAll();
        selectRow(chosen);
        tree->scrollTo(m_model->index(chosen, 0), QAbstractItemView::PositionAtCenter);
    } else {
        showRecording(nullptr);
    }
    UpdateRecordingControls();
    updateCount();
    measureDurationsLater();
}

void RecordingListView::UpdateListRow(const QString&, const RecordingEntry& entry, int image)
{
    if (!m_model->updateEntry(&entry, image))
        return;
    // The fields under the window show the selected recording: a finished recording gets its
    // name, notes and measured length there too, unless the user is editing them.
    if (m_current == &entry) {
        if (!m_layout.nameEdit()->isModified())
            setEditTexts(entry.name, entry.notes);
        m_layout.durationField()->setText(StringTable::text(172) + QLatin1Char(' ') +
                                          OleDate::durationText(entry.duration));
    }
}

void RecordingListView::InsertRecordingRow(RecordingEntry& entry, int image, int row)
{
    row = std::clamp(row, 0, m_model->rowCount());
    m_model->insertEntry(&entry, row, image);
    DeselectAll();
    selectRow(row);
    setEditTexts(entry.name, entry.notes);
    UpdateRecordingControls();
    updateCount();
}

void RecordingListView::setButtonEnabled(int id, bool enabled)
{
    if (SkinButton* button = m_layout.button(id))
        button->setEnabled(enabled);
}

void RecordingListView::UpdateRecordingControls()
{
    const bool hasRows = m_model->rowCount() > 0;
    if (!hasRows) {
        m_current = nullptr;
        setEditTexts(QString(), QString());
        setButtonEnabled(ControlId::SaveInfo, false);
    }
    m_layout.nameEdit()->setEnabled(hasRows);
    m_layout.notesEdit()->setEnabled(hasRows);
    setButtonEnabled(ControlId::Play, hasRows && m_mode.allowsPlayback());
    for (int id : {ControlId::Find, ControlId::Delete, ControlId::Modify, ControlId::ModifyInfo,
                   ControlId::Protect, ControlId::Join})
        setButtonEnabled(id, hasRows);
    setButtonEnabled(ControlId::Send, hasRows && !m_sendDisabled);
}

int RecordingListView::FindRowByName(const QString& text, int startRow) const
{
    return m_model->findName(text, startRow);
}

QList<RecordingEntry*> RecordingListView::selectedRecordings() const
{
    QList<int> rows;
    for (const QModelIndex& index : m_layout.list()->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    QList<RecordingEntry*> entries;
    for (int row : rows) {
        if (RecordingEntry* entry = m_model->entryAt(row))
            entries << entry;
    }
    return entries;
}

void RecordingListView::DeselectAll()
{
    m_layout.list()->clearSelection();
}

void RecordingListView::selectRow(int row)
{
    const QModelIndex index = m_model->index(row, 0);
    if (index.isValid())
        m_layout.list()->selectionModel()->setCurrentIndex(
            index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void RecordingListView::setPlayingRecording(RecordingEntry* entry)
{
    m_playing = entry;
    m_model->setPlayingRecording(entry);
    if (entry == nullptr)
        UpdateRecordingControls();
}

void RecordingListView::refreshRecording(RecordingEntry* entry)
{
    // Reading a file may write its missing tag, which only the folder's holder may do.
    if (entry == nullptr || !m_list.holdsFolder())
        return;
    WriteLog(QStringLiteral("Aggiornamento elemento lista-indice"));
    const QString shownName = entry->name;
    m_list.RefreshEntry(*entry);
    UpdateListRow(shownName, *entry, ByRule);
}

void RecordingListView::sortByColumn(int column)
{
    // The first selected row in list order keeps its selection.
    const QList<RecordingEntry*> selected = selectedRecordings();
    const RecordingEntry* kept = selected.isEmpty() ? nullptr : selected.first();
    m_sortKey = RecordingTableModel::sortKey(column);
    m_sortAscending = !m_sortAscending;
    refill([&] { return kept ? m_model->rowOf(kept) : 0; });
}

void RecordingListView::onSelectionChanged(const QItemSelection& selected)
{
    if (selected.isEmpty())
        return;
    const QModelIndex index = selected.indexes().last();
    RecordingEntry* entry = m_model->entryAt(index.row());
    if (!entry)
        return;
    // Brought into view without a sideways jump: the row's cell in the leftmost column shown.
    QTreeView* tree = m_layout.list();
    const int shownColumn = tree->header()->logicalIndexAt(0);
    tree->scrollTo(index.siblingAtColumn(shownColumn >= 0 ? shownColumn : 0));
    showRecording(entry);
}

void RecordingListView::showRecording(RecordingEntry* entry)
{
    m_current = entry;
    SkinButton* noteDisplay = m_layout.button(ControlId::NoteDisplay);
    if (entry) {
        setEditTexts(entry->name, entry->notes);
        m_layout.dateField()->setText(QLocale::c().toString(
            OleDate::toDateTime(entry->startTime), QStringLiteral("ddd dd MMM yyyy HH:mm")));
        m_layout.durationField()->setText(StringTable::text(172) + QLatin1Char(' ') +
                                          OleDate::durationText(entry->duration));
    } else {
        setEditTexts(QString(), QString());
        m_layout.dateField()->clear();
        m_layout.durationField()->clear();
    }
    if (noteDisplay)
        noteDisplay->setVisible(entry != nullptr);
    setButtonEnabled(ControlId::SaveInfo, false);
}

void RecordingListView::setEditTexts(const QString& name, const QString& notes)
{
    m_layout.nameEdit()->setText(name);
    m_layout.notesEdit()->setPlainText(editNotes(notes));
    m_layout.nameEdit()->setModified(false);
    m_layout.notesEdit()->document()->setModified(false);
}

QString RecordingListView::notesText() const
{
    return m_layout.notesEdit()->toPlainText();
}

void RecordingListView::onNameChanged()
{
    if (!m_current || m_filtering)
        return;
    QLineEdit* edit = m_layout.nameEdit();
    const QString text = edit->text();
    const auto bad = std::find_if(text.begin(), text.end(),
                                  [](QChar c) { return RecordingNames::isForbidden(c); });
    if (bad != text.end()) {
        // The name is cut back to what stands before the first character a file name
        // cannot hold.
        m_filtering = true;
        edit->setText(text.left(static_cast<int>(bad - text.begin())));
        edit->setCursorPosition(edit->text().size());
        m_filtering = false;
    }
    updateSaveButton();
}

void RecordingListView::onNotesChanged()
{
    if (m_current)
        updateSaveButton();
}

void RecordingListView::updateSaveButton()
{
    const bool changed = m_layout.nameEdit()->text() != m_current->name ||
                         notesText() != editNotes(m_current->notes);
    setButtonEnabled(ControlId::SaveInfo, changed);
}

void RecordingListView::restoreName()
{
    m_layout.nameEdit()->setText(m_current->name);
    m_layout.nameEdit()->setModified(false);
    m_layout.nameEdit()->setFocus();
}

bool RecordingListView::mayChangeFolder()
{
    if (m_list.holdsFolder())
        return true;
    const bool busy = m_list.folderAccess() == FolderLock::Result::Busy;
    m_messages.showMessage(m_window, StringTable::text(busy ? FolderBusy : FolderReadOnly),
                           StringTable::caption(), MessagePresenter::Icon::Warning);
    return false;
}

void RecordingListView::SaveRecordingInfo()
{
    if (!m_current) {
        setEditTexts(QString(), QString());
        return;
    }
    commitInfo(*m_current, m_layout.nameEdit()->text(), notesText());
}

void RecordingListView::commitInfo(RecordingEntry& entry, const QString& name, const QString& notes)
{
    if (name == entry.name && notes == editNotes(entry.notes))
        return;
    // Only the fields of the recording they show are put back or marked saved.
    const bool shown = &entry == m_current;
    const auto restore = [&] {
        if (shown)
            restoreName();
    };
    // A recording still being made has no file yet: its new name waits in memory.
    if (!entry.inUse() && !mayChangeFolder())
        return;
    const QString folder = entry.folder.isEmpty() ? m_list.folder() : entry.folder;
    const QString caption = StringTable::caption();

    const int fit =
        RecordingNames::check(name, folder, RecordingNames::NotEmpty | RecordingNames::FitsPath);
    if (fit != RecordingNames::Accepted) {
        m_messages.showMessage(m_window, StringTable::text(fit), caption,
                               MessagePresenter::Icon::Warning);
        restore();
        return;
    }
    if (name != entry.name) {
        int row = m_model->findName(name);
        while (row >= 0 && m_model->entryAt(row) == &entry)
            row = m_model->findName(name, row + 1);
        if (row >= 0) {
            restore();
            m_messages.showMessage(m_window, StringTable::text(RecordingNames::Taken), caption,
                                   MessagePresenter::Icon::Warning);
            return;
        }
        if (RecordingNames::isReserved(name)) {
            m_messages.showMessage(m_window, StringTable::text(RecordingNames::Reserved), caption,
                                   MessagePresenter::Icon::Error);
            return;
        }
        // The player holds the file open, and a rename needs it closed.
        if (&entry == m_playing)
            Q_EMIT stopPlaybackRequested();
    }

    const QString oldName = entry.name;
    const int result = RecordingNames::RenameRecording(m_list, entry, name, notes);
    if (result != RecordingNames::Accepted) {
        m_messages.showMessage(m_window, StringTable::text(result), caption,
                               MessagePresenter::Icon::Error);
        return;
    }
    UpdateListRow(oldName, entry, ByRule);
    if (!shown)
        return;
    m_layout.nameEdit()->setModified(false);
    m_layout.notesEdit()->document()->setModified(false);
    setButtonEnabled(ControlId::SaveInfo, false);
}

void RecordingListView::Modify()
{
    if (!m_current)
        return;
    RecordingEntry* const opened = m_current;
    const QString openedName = m_current->name;
    const QString folder = m_current->folder.isEmpty() ? m_list.folder() : m_current->folder;
    PropertiesDialog dialog(openedName, editNotes(m_current->notes), folder, m_messages, m_window);
    if (dialog.exec() != QDialog::Accepted)
        return;
    // While the dialog was open a call may have started and taken the selection, or the
    // recording may have gone: the result belongs to the recording the dialog was opened for.
    const auto& entries = m_list.entries();
    const bool stillThere = std::any_of(entries.begin(), entries.end(), [&](const auto& owned) {
        return owned.get() == opened && owned->name == openedName;
    });
    RecordingEntry* entry = stillThere ? opened : m_list.FindByName(openedName);
    if (!entry) {
        m_messages.showMessage(m_window, StringTable::text(RemovedMeanwhile),
                               StringTable::caption(), MessagePresenter::Icon::Warning);
        return;
    }
    if (entry == m_current) {
        // Shown in the fields, the result can be saved again from there after a refusal.
        m_layout.nameEdit()->setText(dialog.name());
        m_layout.notesEdit()->setPlainText(dialog.notes());
    }
    commitInfo(*entry, dialog.name(), dialog.notes());
}

void RecordingListView::DeleteSelected()
{
    QStringList names;
    bool stopPlayback = false;
    for (RecordingEntry* entry : selectedRecordings()) {
        if (entry->inUse()) {
            m_messages.showMessage(m_window, StringTable::text(299), StringTable::caption(),
                                   MessagePresenter::Icon::Error);
            continue;
        }
        if (entry == m_playing)
            stopPlayback = true;
        names << entry->name;
    }
    if (names.isEmpty() || !mayChangeFolder())
        return;

    const QString question =
        names.size() == 1 ? StringTable::text(146) + names.first() + StringTable::text(147)
                          : QString::asprintf("%s%i%s", qUtf8Printable(StringTable::text(144)),
                                              static_cast<int>(names.size()),
                                              qUtf8Printable(StringTable::text(145)));
    if (!m_confirm || !m_confirm(question))
        return;

    bool trashed = false;
    {
        const WaitCursor wait;
        if (stopPlayback) {
            Q_EMIT stopPlaybackRequested();
            m_playing = nullptr;
        }
        trashed = m_list.DeleteRecordings(names, RecordingList::Removal::ToTrash);
    }
    // With every name listed and the folder held only the trash can have refused (network and
    // removable drives often have none), and deleting for good needs a Yes of its own.
    if (!trashed && m_confirm(StringTable::text(TrashRefused))) {
        bool deleted = false;
        {
            const WaitCursor wait;
            deleted = m_list.DeleteRecordings(names, RecordingList::Removal::ForGood);
        }
        if (!deleted)
            m_messages.showMessage(m_window, StringTable::text(NotAllDeleted),
                                   StringTable::caption(), MessagePresenter::Icon::Error);
    }
    if (m_list.Count() != m_model->rowCount())
        removeRowsWhere([](const RecordingEntry&) { return false; });
}

void RecordingListView::RemoveRows(const QStringList& names)
{
    const QSet<QString> doomed(names.begin(), names.end());
    removeRowsWhere([&](const RecordingEntry& entry) { return doomed.contains(entry.name); });
}

void RecordingListView::removeRowsWhere(const std::function<bool(const RecordingEntry&)>& doomed)
{
    // Only pointers the list still holds are followed: the others are gone.
    QSet<const RecordingEntry*> live;
    live.reserve(m_list.Count());
    for (const auto& entry : m_list.entries())
        live.insert(entry.get());
    QSet<const RecordingEntry*> removed;
    for (int row = 0; row < m_model->rowCount(); ++row) {
        const RecordingEntry* entry = m_model->entryAt(row);
        if (!live.contains(entry) || doomed(*entry))
            removed.insert(entry);
    }
    m_current = nullptr;
    if (removed.contains(m_playing)) {
        m_playing = nullptr;
        m_model->setPlayingRecording(nullptr);
    }
    const int firstRemoved = m_model->removeEntries(removed);
    const int count = m_model->rowCount();
    if (count > 0) {
        DeselectAll();
        selectRow(std::clamp(firstRemoved, 0, count - 1));
    } else {
        showRecording(nullptr);
    }
    UpdateRecordingControls();
    updateCount();
}

void RecordingListView::updateCount()
{
    m_layout.countLabel()->setText(QStringLiteral("%1 Rec").arg(m_model->rowCount()));
}

void RecordingListView::showContextMenu(const QPoint& position)
{
    QTreeView* tree = m_layout.list();
    const bool hasRows = m_model->rowCount() > 0;
    QMenu menu(tree);
    QAction* modify = menu.addAction(StringTable::text(434), this, &RecordingListView::Modify);
    modify->setEnabled(m_current != nullptr);
    menu.addSeparator();
    QAction* send = menu.addAction(StringTable::text(315), this, &RecordingListView::sendRequested);
    send->setEnabled(hasRows && !m_sendDisabled &&
                     isSignalConnected(QMetaMethod::fromSignal(&RecordingListView::sendRequested)));
    QAction* protect =
        menu.addAction(StringTable::text(316), this, &RecordingListView::protectRequested);
    protect->setEnabled(hasRows && isSignalConnected(QMetaMethod::fromSignal(
                                       &RecordingListView::protectRequested)));
    QAction* join = menu.addAction(StringTable::text(317), this, &RecordingListView::joinRequested);
    join->setEnabled(hasRows &&
                     isSignalConnected(QMetaMethod::fromSignal(&RecordingListView::joinRequested)));
    menu.addSeparator();
    QAction* remove =
        menu.addAction(StringTable::text(319), this, &RecordingListView::DeleteSelected);
    remove->setEnabled(hasRows);
    menu.exec(tree->viewport()->mapToGlobal(position));
}

bool RecordingListView::eventFilter(QObject* watched, QEvent* event)
{
    QTreeView* tree = m_layout.list();
    if (watched == tree && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Delete) {
            DeleteSelected();
            return true;
        }
    }
    if (watched == tree->viewport() && (event->type() == QEvent::MouseButtonPress ||
                                        event->type() == QEvent::MouseButtonDblClick)) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const int count = m_model->rowCount();
        // A click below the last row picks the last row rather than clearing the selection.
        if (mouse->button() == Qt::LeftButton && count > 0 &&
            !tree->indexAt(mouse->position().toPoint()).isValid()) {
            DeselectAll();
            selectRow(count - 1);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void RecordingListView::measureDurationsLater()
{
    if (std::exchange(m_measureScheduled, true))
        return;
    // Once the event loop runs: the window shows first.
    QTimer::singleShot(0, this, &RecordingListView::startMeasuring);
}

void RecordingListView::startMeasuring()
{
    m_measureScheduled = false;
    if (m_measurer->isRunning()) {
        m_measureAgain = true;
        return;
    }
    std::vector<DurationMeasurer::Job> jobs;
    for (const auto& entry : m_list.entries()) {
        if (DurationMeasurer::needsMeasuring(*entry))
            jobs.push_back({entry.get(), entry->filePath(), entry->tagSize});
    }
    if (jobs.empty())
        return;
    WriteLog(QStringLiteral("Durate da misurare: %1").arg(jobs.size()));
    m_measurer->start(std::move(jobs));
}

void RecordingListView::onDurationsMeasured(const QList<DurationMeasurer::Result>& results)
{
    QHash<const RecordingEntry*, const DurationMeasurer::Result*> byEntry;
    for (const DurationMeasurer::Result& result : results)
        byEntry.insert(result.entry, &result);
    // Only entries the list still holds, under the name they were measured by, take a result.
    QSet<const RecordingEntry*> changed;
    for (const auto& owned : m_list.entries()) {
        RecordingEntry& entry = *owned;
        const DurationMeasurer::Result* result = byEntry.value(&entry);
        if (!result || entry.filePath() != result->path ||
            !DurationMeasurer::accepts(entry, result->duration))
            continue;
        entry.duration = result->duration;
        entry.state = RecordingEntry::Modified;
        changed.insert(&entry);
    }
    m_model->updateColumn(changed, DurationColumn);
    if (m_current && changed.contains(m_current))
        m_layout.durationField()->setText(StringTable::text(172) + QLatin1Char(' ') +
                                          OleDate::durationText(m_current->duration));
}

void RecordingListView::onMeasuringFinished()
{
    // One save for the whole run: tags and index records.
    if (m_list.holdsFolder())
        m_list.SaveModified();
    if (std::exchange(m_measureAgain, false))
        startMeasuring();
}
