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
#include <QTextDocument>
#include <QTreeWidget>

#include <algorithm>

namespace {

constexpr int ImageRole = Qt::UserRole;

// Message ids.
constexpr int FolderBusy = 602;
constexpr int FolderReadOnly = 603;
constexpr int TrashRefused = 605;
constexpr int NotAllDeleted = 606;
constexpr int RemovedMeanwhile = 607;

QString noteColumnText(const QString& notes)
{
    QString text = notes;
    // CR LF first, so that it stands for one line break and not for two.
    text.replace(QStringLiteral("\r\n"), QStringLiteral("  "));
    text.replace(u'\n', QStringLiteral("  "));
    return text.replace(u'\r', QStringLiteral("  "));
}

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
    : QObject(parent), m_layout(layout), m_list(list), m_messages(messages),
      m_confirm(std::move(confirm)), m_window(window)
{
    QTreeWidget* tree = m_layout.list();
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
    connect(tree, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) {
        if (RecordingEntry* entry = m_list.FindByName(item->text(NameColumn)))
            Q_EMIT playRequested(entry);
    });
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

QString RecordingListView::listSizeText(qint64 bytes)
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

int RecordingListView::imageFor(const RecordingEntry& entry) const
{
    if (&entry == m_playing)
        return Playing;
    if (entry.inUse())
        return InProgress;
    return entry.isProtected ? Protected : Ordinary;
}

void RecordingListView::writeRow(QTreeWidgetItem* item, const RecordingEntry& entry, int image)
{
    const QDateTime start = OleDate::toDateTime(entry.startTime);
    item->setIcon(ImageColumn, QIcon(RecorderLayout::rowImage(image)));
    item->setData(ImageColumn, ImageRole, image);
    item->setText(NameColumn, entry.name);
    item->setText(DateColumn, start.toString(QStringLiteral("dd/MM/yyyy")));
    item->setText(TimeColumn, start.toString(QStringLiteral("HH:mm:ss")));
    item->setText(NotesColumn, noteColumnText(entry.notes));
    item->setText(DurationColumn, OleDate::durationText(entry.duration));
    item->setText(SizeColumn, listSizeText(entry.fileSize));
    item->setText(ProtectedColumn, entry.isProtected ? QStringLiteral("Si") : QStringLiteral("No"));
    item->setText(OperatorColumn, entry.operatorName);
}

void RecordingListView::FillRecordingList(const QString& nameToSelect, int indexToSelect)
{
    QTreeWidget* tree = m_layout.list();
    tree->setUpdatesEnabled(false);
    tree->clear();
    m_list.Sort(m_sortColumn, m_sortAscending);
    m_list.MeasureUnknownDurations();

    int remembered = -1;
    int row = 0;
    for (const auto& owned : m_list.entries()) {
        RecordingEntry& entry = *owned;
        auto* item = new QTreeWidgetItem;
        writeRow(item, entry, imageFor(entry));
        tree->addTopLevelItem(item);
        if (!nameToSelect.isEmpty() && entry.name == nameToSelect && remembered < 0)
            remembered = row;
        ++row;
    }

    int chosen = remembered >= 0 ? remembered : 0;
    if (indexToSelect >= 0)
        chosen = std::min(indexToSelect, tree->topLevelItemCount() - 1);
    if (tree->topLevelItemCount() > 0) {
        DeselectAll();
        selectRow(chosen);
        tree->scrollToItem(tree->topLevelItem(chosen), QAbstractItemView::PositionAtCenter);
    } else {
        showRecording(nullptr);
    }
    tree->setUpdatesEnabled(true);
    UpdateRecordingControls();
    updateCount();
}

void RecordingListView::UpdateListRow(const QString& oldName, const RecordingEntry& entry,
                                      int image)
{
    const int row = FindRowByName(oldName, 0);
    if (row < 0)
        return;
    writeRow(m_layout.list()->topLevelItem(row), entry, image == ByRule ? imageFor(entry) : image);
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
    QTreeWidget* tree = m_layout.list();
    auto* item = new QTreeWidgetItem;
    writeRow(item, entry, image);
    tree->insertTopLevelItem(std::clamp(row, 0, tree->topLevelItemCount()), item);
    DeselectAll();
    tree->setCurrentItem(item, 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    // The new row may share its name with none other, so the selection handler found it.
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
    const bool hasRows = m_layout.list()->topLevelItemCount() > 0;
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
    const QTreeWidget* tree = m_layout.list();
    for (int row = std::max(startRow, 0); row < tree->topLevelItemCount(); ++row) {
        if (tree->topLevelItem(row)->text(NameColumn).compare(text, Qt::CaseInsensitive) == 0)
            return row;
    }
    return -1;
}

QList<RecordingEntry*> RecordingListView::selectedRecordings() const
{
    const QTreeWidget* tree = m_layout.list();
    QList<RecordingEntry*> entries;
    for (int row = 0; row < tree->topLevelItemCount(); ++row) {
        const QTreeWidgetItem* item = tree->topLevelItem(row);
        if (!item->isSelected())
            continue;
        if (RecordingEntry* entry = m_list.FindByName(item->text(NameColumn)))
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
    QTreeWidget* tree = m_layout.list();
    if (QTreeWidgetItem* item = tree->topLevelItem(row))
        tree->setCurrentItem(item, 0,
                             QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void RecordingListView::setRowImage(RecordingEntry* entry)
{
    if (!entry)
        return;
    const int row = FindRowByName(entry->name, 0);
    if (row < 0)
        return;
    QTreeWidgetItem* item = m_layout.list()->topLevelItem(row);
    const int image = imageFor(*entry);
    item->setIcon(ImageColumn, QIcon(RecorderLayout::rowImage(image)));
    item->setData(ImageColumn, ImageRole, image);
}

void RecordingListView::setPlayingRecording(RecordingEntry* entry)
{
    RecordingEntry* previous = m_playing;
    m_playing = entry;
    setRowImage(previous);
    setRowImage(entry);
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
    const QList<QTreeWidgetItem*> selected = m_layout.list()->selectedItems();
    // The first selected row in list order keeps its selection.
    QString name;
    int first = -1;
    for (QTreeWidgetItem* item : selected) {
        const int row = m_layout.list()->indexOfTopLevelItem(item);
        if (first < 0 || row < first) {
            first = row;
            name = item->text(NameColumn);
        }
    }
    m_sortColumn = column;
    m_sortAscending = !m_sortAscending;
    FillRecordingList(name, -1);
}

void RecordingListView::onSelectionChanged(const QItemSelection& selected)
{
    if (selected.isEmpty())
        return;
    QTreeWidget* tree = m_layout.list();
    const QModelIndex index = selected.indexes().last();
    QTreeWidgetItem* item = tree->topLevelItem(index.row());
    if (!item)
        return;
    tree->scrollToItem(item);
    showRecording(m_list.FindByName(item->text(NameColumn)));
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
        const int row = FindRowByName(name, 0);
        const int own = FindRowByName(entry.name, 0);
        if (row >= 0 && row != own) {
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
    QTreeWidget* tree = m_layout.list();
    QList<int> rows;
    for (QTreeWidgetItem* item : tree->selectedItems())
        rows << tree->indexOfTopLevelItem(item);
    std::sort(rows.begin(), rows.end());

    QStringList names;
    bool stopPlayback = false;
    for (int row : rows) {
        const QString name = tree->topLevelItem(row)->text(NameColumn);
        RecordingEntry* entry = m_list.FindByName(name);
        if (!entry)
            continue;
        if (entry->inUse()) {
            m_messages.showMessage(m_window, StringTable::text(299), StringTable::caption(),
                                   MessagePresenter::Icon::Error);
            continue;
        }
        if (entry == m_playing)
            stopPlayback = true;
        names << name;
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
    QStringList gone;
    for (const QString& name : names) {
        if (!m_list.FindByName(name))
            gone << name;
    }
    if (!gone.isEmpty())
        RemoveRows(gone);
}

void RecordingListView::RemoveRows(const QStringList& names)
{
    QTreeWidget* tree = m_layout.list();
    // The entries are gone: no pointer may still lead to them.
    m_current = nullptr;
    for (const QString& name : names) {
        if (m_playing != nullptr && m_playing->name == name)
            m_playing = nullptr;
    }
    int firstRemoved = tree->topLevelItemCount();
    for (const QString& name : names) {
        const int row = FindRowByName(name, 0);
        if (row < 0)
            continue;
        firstRemoved = std::min(firstRemoved, row);
        delete tree->takeTopLevelItem(row);
    }
    const int count = tree->topLevelItemCount();
    if (count > 0) {
        DeselectAll();
        selectRow(std::min(firstRemoved, count - 1));
    } else {
        showRecording(nullptr);
    }
    UpdateRecordingControls();
    updateCount();
}

void RecordingListView::updateCount()
{
    m_layout.countLabel()->setText(
        QStringLiteral("%1 Rec").arg(m_layout.list()->topLevelItemCount()));
}

void RecordingListView::showContextMenu(const QPoint& position)
{
    QTreeWidget* tree = m_layout.list();
    const bool hasRows = tree->topLevelItemCount() > 0;
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
    QTreeWidget* tree = m_layout.list();
    if (watched == tree && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Delete) {
            DeleteSelected();
            return true;
        }
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (m_current)
                Q_EMIT playRequested(m_current);
            return true;
        }
    }
    if (watched == tree->viewport() && (event->type() == QEvent::MouseButtonPress ||
                                        event->type() == QEvent::MouseButtonDblClick)) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const int count = tree->topLevelItemCount();
        // A click below the last row picks the last row rather than clearing the selection.
        if (mouse->button() == Qt::LeftButton && count > 0 &&
            !tree->itemAt(mouse->position().toPoint())) {
            DeselectAll();
            selectRow(count - 1);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
