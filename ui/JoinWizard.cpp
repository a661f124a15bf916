#include "ui/JoinWizard.h"

#include "res/StringTable.h"
#include "store/Joiner.h"
#include "store/OleDate.h"
#include "store/Protection.h"
#include "store/RecordingEntry.h"
#include "store/RecordingList.h"
#include "store/RecordingNames.h"
#include "ui/KeyWordDialog.h"
#include "ui/MessagePresenter.h"
#include "ui/ProtectionCommands.h"
#include "ui/RecordingTableModel.h"
#include "ui/WaitCursor.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QFile>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTimeEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Message ids.
constexpr int JoinFailed = 95;
constexpr int InUse = 302;
constexpr int NoProperties = 87;
constexpr int NoPropertiesHint = 88;
constexpr int WrongKeyWord = 68;
constexpr int OverwriteQuestion = 128;

constexpr int EntryRole = Qt::UserRole;

RecordingEntry* entryOf(const QTreeWidgetItem* item)
{
    return item == nullptr ? nullptr
                           : reinterpret_cast<RecordingEntry*>(
                                 item->data(JoinWizard::NameColumn, EntryRole).value<quintptr>());
}

std::vector<RecordingEntry*> entriesOf(const QTreeWidget* tree, bool tickedOnly)
{
    std::vector<RecordingEntry*> entries;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = tree->topLevelItem(i);
        if (!tickedOnly || item->checkState(JoinWizard::NameColumn) == Qt::Checked)
            entries.push_back(entryOf(item));
    }
    return entries;
}

// Whole seconds of the recordings' lengths; one not measured yet counts as nothing.
qint64 totalSeconds(const std::vector<RecordingEntry*>& entries)
{
    qint64 seconds = 0;
    for (const RecordingEntry* entry : entries)
        seconds += std::max<qint64>(0, OleDate::toSeconds(entry->duration));
    return seconds;
}

qint64 totalBytes(const std::vector<RecordingEntry*>& entries)
{
    qint64 bytes = 0;
    for (const RecordingEntry* entry : entries)
        bytes += entry->fileSize;
    return bytes;
}

// String 93 ("%H:%M:%S") filled with a span that may pass a day.
QString spanText(qint64 seconds)
{
    QString text = StringTable::text(93);
    text.replace(u"%H"_s, QString::asprintf("%02lld", seconds / 3600));
    text.replace(u"%M"_s, QString::asprintf("%02lld", seconds / 60 % 60));
    text.replace(u"%S"_s, QString::asprintf("%02lld", seconds % 60));
    return text;
}

QLabel* headerLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text.trimmed(), parent);
    label->setWordWrap(true);
    return label;
}

QTreeWidget* makeList(QWidget* parent, const QString& objectName)
{
    auto* tree = new QTreeWidget(parent);
    tree->setObjectName(objectName);
    tree->setRootIsDecorated(false);
    tree->setUniformRowHeights(true);
    tree->setAllColumnsShowFocus(true);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setHeaderLabels({StringTable::text(99), StringTable::text(100), StringTable::text(102),
                           StringTable::text(103), StringTable::text(104), StringTable::text(179),
                           StringTable::text(105)});
    tree->header()->setStretchLastSection(false);
    tree->setMinimumSize(560, 220);
    return tree;
}

} // namespace

JoinWizard::JoinWizard(RecordingList& list, RecordingTableModel& rows,
                       const RecordingEntry* current, MessagePresenter& messages, QWidget* parent,
                       DialogRunner runDialog)
    : QDialog(parent), m_list(list), m_rows(rows), m_current(current), m_messages(messages),
      m_runDialog(std::move(runDialog))
{
    if (!m_runDialog)
        m_runDialog = [](QDialog& dialog) { return dialog.exec(); };
    setObjectName(u"JoinWizard"_s);
    setWindowTitle(StringTable::text(206));
    setFont(QFont(u"Tahoma"_s, 8));
    setModal(true);

    m_pages = new QStackedWidget(this);
    m_pages->addWidget(buildSelectPage());
    m_pages->addWidget(buildOrderPage());
    m_pages->addWidget(buildDescribePage());

    auto makeButton = [this](int text, const QString& name) {
        auto* button = new QPushButton(StringTable::text(text), this);
        button->setObjectName(name);
        button->setAutoDefault(false);
        return button;
    };
    m_back = makeButton(108, u"JoinBack"_s);
    m_next = makeButton(107, u"JoinNext"_s);
    m_join = makeButton(109, u"JoinJoin"_s);
    m_cancel = makeButton(106, u"JoinCancel"_s);
    connect(m_back, &QPushButton::clicked, this, &JoinWizard::goBack);
    connect(m_next, &QPushButton::clicked, this, &JoinWizard::goNext);
    connect(m_join, &QPushButton::clicked, this, &JoinWizard::join);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_back);
    buttons->addWidget(m_next);
    buttons->addWidget(m_join);
    buttons->addSpacing(12);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pages);
    layout->addLayout(buttons);

    fillSelection();
    showPage(SelectPage);
}

QWidget* JoinWizard::buildSelectPage()
{
    auto* page = new QWidget(this);
    page->setObjectName(u"272"_s);
    auto* title = headerLabel(StringTable::text(115), page);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);

    m_selectList = makeList(page, u"JoinSelectList"_s);
    m_selectAll = new QCheckBox(StringTable::text(111), page);
    m_selectAll->setObjectName(u"JoinSelectAll"_s);
    m_followers = new QCheckBox(
        StringTable::text(110, {m_current != nullptr ? m_current->name : QString()}), page);
    m_followers->setObjectName(u"JoinFollowers"_s);
    m_followers->setEnabled(m_current != nullptr);
    m_totalDuration = new QLabel(page);
    m_totalDuration->setObjectName(u"JoinTotalDuration"_s);
    m_spaceUsed = new QLabel(page);
    m_spaceUsed->setObjectName(u"JoinSpaceUsed"_s);

    auto* totals = new QHBoxLayout;
    totals->addWidget(new QLabel(StringTable::text(113), page));
    totals->addWidget(m_totalDuration);
    totals->addSpacing(24);
    totals->addWidget(new QLabel(StringTable::text(112), page));
    totals->addWidget(m_spaceUsed);
    totals->addStretch();

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(title);
    layout->addWidget(headerLabel(StringTable::text(114), page));
    layout->addWidget(m_selectList);
    layout->addWidget(m_selectAll);
    layout->addWidget(m_followers);
    layout->addLayout(totals);

    connect(m_selectAll, &QCheckBox::toggled, this, &JoinWizard::onSelectAllToggled);
    connect(m_followers, &QCheckBox::toggled, this, &JoinWizard::onFollowersToggled);
    connect(m_selectList, &QTreeWidget::itemChanged, this, &JoinWizard::onItemChanged);
    connect(m_selectList, &QTreeWidget::itemPressed, this, [this] { m_toggledByClick = nullptr; });
    connect(m_selectList, &QTreeWidget::itemClicked, this, &JoinWizard::onItemClicked);
    return page;
}

QWidget* JoinWizard::buildOrderPage()
{
    auto* page = new QWidget(this);
    page->setObjectName(u"277"_s);
    m_orderList = makeList(page, u"JoinOrderList"_s);
    m_up = new QPushButton(StringTable::text(122), page);
    m_up->setObjectName(u"JoinUp"_s);
    m_down = new QPushButton(StringTable::text(123), page);
    m_down->setObjectName(u"JoinDown"_s);
    m_up->setAutoDefault(false);
    m_down->setAutoDefault(false);
    connect(m_up, &QPushButton::clicked, this, [this] { moveSelected(-1); });
    connect(m_down, &QPushButton::clicked, this, [this] { moveSelected(1); });

    auto* moves = new QVBoxLayout;
    moves->addWidget(m_up);
    moves->addWidget(m_down);
    moves->addStretch();
    auto* body = new QHBoxLayout;
    body->addWidget(m_orderList);
    body->addLayout(moves);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(headerLabel(StringTable::text(121), page));
    layout->addLayout(body);
    return page;
}

QWidget* JoinWizard::buildDescribePage()
{
    auto* page = new QWidget(this);
    page->setObjectName(u"278"_s);
    m_name = new QLineEdit(page);
    m_name->setObjectName(u"JoinName"_s);
    m_date = new QDateEdit(page);
    m_date->setObjectName(u"JoinDate"_s);
    m_date->setCalendarPopup(true);
    m_time = new QTimeEdit(page);
    m_time->setObjectName(u"JoinTime"_s);
    m_time->setDisplayFormat(u"HH:mm:ss"_s);
    m_notes = new QPlainTextEdit(page);
    m_notes->setObjectName(u"JoinNotes"_s);
    m_notes->setTabChangesFocus(true);
    m_notes->setMinimumHeight(80);
    m_duration = new QLabel(page);
    m_duration->setObjectName(u"JoinDuration"_s);
    m_size = new QLabel(page);
    m_size->setObjectName(u"JoinSize"_s);
    m_protected = new QLabel(page);
    m_protected->setObjectName(u"JoinProtected"_s);
    connect(m_name, &QLineEdit::textChanged, this, &JoinWizard::filterName);

    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    form->addRow(StringTable::text(99), m_name);
    form->addRow(StringTable::text(100), m_date);
    form->addRow(StringTable::text(102), m_time);
    form->addRow(StringTable::text(103), m_notes);
    form->addRow(StringTable::text(104), m_duration);
    form->addRow(StringTable::text(179), m_size);
    form->addRow(StringTable::text(105), m_protected);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(headerLabel(StringTable::text(124), page));
    layout->addLayout(form);
    return page;
}

int JoinWizard::page() const
{
    return m_pages->currentIndex();
}

std::vector<RecordingEntry*> JoinWizard::listedRecordings() const
{
    return entriesOf(m_selectList, false);
}

std::vector<RecordingEntry*> JoinWizard::tickedRecordings() const
{
    return entriesOf(m_selectList, true);
}

std::vector<RecordingEntry*> JoinWizard::joiningOrder() const
{
    return entriesOf(m_orderList, false);
}

QTreeWidgetItem* JoinWizard::rowOf(const RecordingEntry* entry) const
{
    for (int i = 0; i < m_selectList->topLevelItemCount(); ++i) {
        if (entryOf(m_selectList->topLevelItem(i)) == entry)
            return m_selectList->topLevelItem(i);
    }
    return nullptr;
}

QTreeWidgetItem* JoinWizard::makeRow(RecordingEntry* entry, int modelRow, bool checkable) const
{
    auto* item = new QTreeWidgetItem;
    // The window's own texts, so that both lists read alike.
    for (int column = NameColumn; column < ColumnCount; ++column)
        item->setText(column, m_rows.index(modelRow, column + 1).data().toString());
    item->setData(NameColumn, EntryRole, QVariant::fromValue(reinterpret_cast<quintptr>(entry)));
    if (checkable)
        item->setCheckState(NameColumn, Qt::Unchecked);
    return item;
}

void JoinWizard::fillSelection()
{
    std::vector<const RecordingEntry*> all;
    for (int row = 0; row < m_rows.rowCount(); ++row)
        all.push_back(m_rows.entryAt(row));
    std::vector<const RecordingEntry*> shown;
    if (m_followers->isChecked()) {
        shown = Joiner::followers(all, m_current);
    } else {
        std::copy_if(all.begin(), all.end(), std::back_inserter(shown),
                     [](const RecordingEntry* entry) { return !entry->inUse(); });
    }

    m_filling = true;
    m_selectList->clear();
    for (const RecordingEntry* entry : shown) {
        m_selectList->addTopLevelItem(
            makeRow(const_cast<RecordingEntry*>(entry), m_rows.rowOf(entry), true));
    }
    for (int column = 0; column < ColumnCount; ++column)
        m_selectList->resizeColumnToContents(column);
    {
        const QSignalBlocker block(m_selectAll);
        m_selectAll->setChecked(false);
    }
    m_filling = false;
    updateTotals();
}

void JoinWizard::onFollowersToggled(bool on)
{
    if (on && m_current != nullptr && m_current->inUse()) {
        showMessage(StringTable::text(InUse), MessagePresenter::Icon::Error);
        reject();
        return;
    }
    fillSelection();
}

void JoinWizard::onSelectAllToggled(bool on)
{
    m_filling = true;
    for (int i = 0; i < m_selectList->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_selectList->topLevelItem(i);
        const bool tickable = on && !entryOf(item)->isProtected;
        item->setCheckState(NameColumn, tickable ? Qt::Checked : Qt::Unchecked);
    }
    m_filling = false;
    updateTotals();
}

void JoinWizard::onItemChanged(QTreeWidgetItem* item, int column)
{
    if (m_filling || column != NameColumn)
        return;
    m_toggledByClick = item;
    if (item->checkState(NameColumn) == Qt::Checked && entryOf(item)->isProtected) {
        m_filling = true;
        item->setCheckState(NameColumn, Qt::Unchecked);
        m_filling = false;
    }
    updateTotals();
}

void JoinWizard::onItemClicked(QTreeWidgetItem* item, int column)
{
    const bool toggled = m_toggledByClick == item;
    m_toggledByClick = nullptr;
    if (entryOf(item)->isProtected) {
        offerUnprotection(item);
        return;
    }
    if (column == NameColumn && !toggled) {
        item->setCheckState(NameColumn, item->checkState(NameColumn) == Qt::Checked ? Qt::Unchecked
                                                                                    : Qt::Checked);
    }
}

void JoinWizard::offerUnprotection(QTreeWidgetItem* item)
{
    RecordingEntry* entry = entryOf(item);
    // The file must be ours to rewrite before its key word is asked for.
    QFile file(entry->filePath());
    if (!file.open(QIODevice::ReadWrite)) {
        showMessage(StringTable::text(NoProperties) + StringTable::text(NoPropertiesHint),
                    MessagePresenter::Icon::Error);
        return;
    }
    file.close();

    entry->keyWord = ProtectionCommands::dialogMarker();
    QString typed;
    {
        KeyWordDialog dialog(entry->name, this);
        if (m_runDialog(dialog) == QDialog::Accepted)
            typed = dialog.keyWord();
    }
    if (typed.isEmpty())
        return;
    entry->keyWord = typed;
    if (m_list.holdsFolder())
        m_list.RefreshEntry(*entry);
    bool unprotected = false;
    {
        WaitCursor wait;
        unprotected = Protection::Unprotect(*entry, false);
    }
    if (!unprotected) {
        showMessage(StringTable::text(WrongKeyWord), MessagePresenter::Icon::Warning);
        return;
    }
    // Unprotect wrote the new tag with the clear audio: only the index record is behind.
    m_list.UpdateRecord(*entry);
    m_list.SaveModified();
    m_rows.updateEntry(entry);
    const int modelRow = m_rows.rowOf(entry);
    for (int column = NameColumn; column < ColumnCount; ++column)
        item->setText(column, m_rows.index(modelRow, column + 1).data().toString());
}

void JoinWizard::updateTotals()
{
    const std::vector<RecordingEntry*> ticked = tickedRecordings();
    m_totalDuration->setText(spanText(totalSeconds(ticked)));
    m_spaceUsed->setText(RecordingNames::SizeText(totalBytes(ticked)));
    if (page() == SelectPage)
        m_next->setEnabled(ticked.size() >= 2);
}

void JoinWizard::goNext()
{
    if (page() == SelectPage) {
        const std::vector<RecordingEntry*> ticked = tickedRecordings();
        if (ticked.size() < 2)
            return;
        m_orderList->clear();
        for (RecordingEntry* entry : ticked)
            m_orderList->addTopLevelItem(makeRow(entry, m_rows.rowOf(entry), false));
        for (int column = 0; column < ColumnCount; ++column)
            m_orderList->resizeColumnToContents(column);
        m_orderList->setCurrentItem(m_orderList->topLevelItem(0));
        showPage(OrderPage);
    } else if (page() == OrderPage) {
        prefillDescription();
        showPage(DescribePage);
    }
}

void JoinWizard::goBack()
{
    if (page() > SelectPage)
        showPage(page() - 1);
}

void JoinWizard::moveSelected(int step)
{
    QTreeWidgetItem* item = m_orderList->currentItem();
    if (item == nullptr)
        return;
    const int row = m_orderList->indexOfTopLevelItem(item);
    const int target = row + step;
    if (target < 0 || target >= m_orderList->topLevelItemCount())
        return;
    m_orderList->takeTopLevelItem(row);
    m_orderList->insertTopLevelItem(target, item);
    m_orderList->setCurrentItem(item);
}

void JoinWizard::prefillDescription()
{
    const std::vector<RecordingEntry*> order = joiningOrder();
    QString name;
    QString notes;
    for (const RecordingEntry* entry : order) {
        name += entry->name + u' ';
        notes += entry->notes + u' ';
    }
    m_name->setText(name);
    m_notes->setPlainText(notes);
    const QDateTime now = QDateTime::currentDateTime();
    m_date->setDate(now.date());
    m_time->setTime(now.time());
    m_duration->setText(OleDate::clockText(totalSeconds(order)));
    m_size->setText(m_spaceUsed->text());
    m_protected->setText(m_orderList->topLevelItem(0)->text(ProtectedColumn));
}

void JoinWizard::filterName()
{
    const QString typed = m_name->text();
    QString name = typed;
    while (name.startsWith(u' '))
        name.remove(0, 1);
    name.removeIf([](QChar c) { return RecordingNames::isForbidden(c); });
    const std::vector<RecordingEntry*> order = joiningOrder();
    const QString folder = order.empty() ? m_list.folder() : order.front()->folder;
    while (!name.isEmpty() && RecordingNames::check(name, folder, RecordingNames::FitsPath) !=
                                  RecordingNames::Accepted)
        name.chop(1);
    if (name != typed) {
        const QSignalBlocker block(m_name);
        m_name->setText(name);
    }
    m_join->setEnabled(!name.isEmpty());
}

void JoinWizard::join()
{
    const std::vector<RecordingEntry*> sources = joiningOrder();
    const QString name = RecordingNames::cleanedName(m_name->text());
    if (sources.size() < 2 || name.isEmpty())
        return;
    if (RecordingNames::isReserved(name)) {
        showMessage(StringTable::text(RecordingNames::Reserved), MessagePresenter::Icon::Warning);
        return;
    }
    const RecordingEntry& first = *sources.front();
    const bool namesSource = std::any_of(sources.begin(), sources.end(), [&](auto* entry) {
        return entry->name.compare(name, Qt::CaseInsensitive) == 0;
    });
    QString overwritten;
    if (!namesSource) {
        const RecordingEntry* existing = m_list.FindByNameIgnoringCase(name);
        if (existing != nullptr && existing->inUse()) {
            showMessage(StringTable::text(RecordingNames::Taken), MessagePresenter::Icon::Warning);
            return;
        }
        if (existing != nullptr || RecordingNames::fileExistsIgnoringCase(first.folder, name)) {
            if (!m_messages.askYesNo(this, StringTable::text(OverwriteQuestion),
                                     StringTable::caption()))
                return;
            overwritten = existing != nullptr ? existing->name : name;
        }
    }

    auto joined = std::make_unique<RecordingEntry>();
    joined->name = name;
    joined->notes = RecordingNames::cleanedNotes(m_notes->toPlainText());
    joined->startTime = OleDate::fromDateTime(QDateTime(m_date->date(), m_time->time()));
    // The parts' lengths add up; when one is not known the joined audio is measured instead,
    // so that no length of 0 is ever written.
    const bool allKnown = std::all_of(sources.begin(), sources.end(),
                                      [](auto* entry) { return entry->duration > 0; });
    joined->duration =
        allKnown ? OleDate::fromSeconds(totalSeconds(sources)) : OleDate::kNoDuration;
    joined->isProtected = false;
    joined->state = RecordingEntry::Modified;
    joined->folder = first.folder;
    joined->artist = first.artist;
    joined->genre = first.genre;
    joined->operatorName = first.operatorName;

    const std::vector<const RecordingEntry*> parts(sources.begin(), sources.end());
    bool done = false;
    {
        WaitCursor wait;
        // The progress window lets events through: no second Join, Back or Cancel meanwhile.
        setEnabled(false);
        done = Joiner::Join(parts, *joined, overwritten,
                            [this](qint64 copied, qint64 total) { showProgress(copied, total); });
        setEnabled(true);
    }
    if (m_progress != nullptr)
        m_progress->hide();
    if (!done) {
        showMessage(StringTable::text(JoinFailed), MessagePresenter::Icon::Error);
        return;
    }

    QStringList removed;
    for (const RecordingEntry* entry : sources)
        removed << entry->name;
    if (!overwritten.isEmpty() && m_list.FindByName(overwritten) != nullptr &&
        !removed.contains(overwritten))
        removed << overwritten;
    m_list.DeleteRecordings(removed, RecordingList::Removal::KeepFiles);
    m_joinedName = joined->name;
    m_list.AddEntry(std::move(joined));
    Q_EMIT recordingsJoined(removed, m_joinedName);
    accept();
}

void JoinWizard::showProgress(qint64 copied, qint64 total)
{
    if (total <= kLongJoinBytes)
        return;
    if (m_progress == nullptr) {
        m_progress = new QProgressDialog(StringTable::text(630), QString(), 0, 1000, this);
        m_progress->setObjectName(u"JoinProgress"_s);
        m_progress->setWindowTitle(StringTable::text(206));
        m_progress->setCancelButton(nullptr);
        m_progress->setWindowModality(Qt::WindowModal);
        m_progress->setAutoReset(false);
        m_progress->setAutoClose(false);
        m_progress->setMinimumDuration(0);
    }
    // A modal progress window lets the event loop run at each step: the windows repaint.
    m_progress->setValue(int(copied * 1000 / total));
}

void JoinWizard::showPage(int index)
{
    m_pages->setCurrentIndex(index);
    m_back->setEnabled(index > SelectPage);
    m_next->setVisible(index != DescribePage);
    m_join->setVisible(index == DescribePage);
    if (index == SelectPage)
        updateTotals();
    else
        m_next->setEnabled(true);
    if (index == DescribePage) {
        m_join->setDefault(true);
        m_name->setFocus();
    }
}

void JoinWizard::showMessage(const QString& text, MessagePresenter::Icon icon)
{
    m_messages.showMessage(this, text, StringTable::caption(), icon);
}
