#include "ui/FindDialog.h"

#include "res/StringTable.h"
#include "ui/MessagePresenter.h"
#include "ui/RecordingListView.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace {

constexpr int NotFound = 153;
constexpr int Title = 157;

} // namespace

FindDialog::FindDialog(RecordingListView& list, MessagePresenter& messages, QWidget* parent)
    : QDialog(parent), m_list(list), m_messages(messages)
{
    setObjectName(QStringLiteral("FindDialog"));
    setWindowTitle(StringTable::text(Title));
    setWindowIcon(QIcon(QStringLiteral(":/images/128.svg")));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    setModal(false);

    auto* label = new QLabel(StringTable::text(161), this);
    label->setObjectName(QStringLiteral("1139"));
    m_textEdit = new QLineEdit(this);
    m_textEdit->setObjectName(QStringLiteral("1084"));
    m_textEdit->setMinimumWidth(220);
    label->setBuddy(m_textEdit);
    m_notesBox = new QCheckBox(StringTable::text(158), this);
    m_notesBox->setObjectName(QStringLiteral("1086"));
    m_notesBox->setChecked(true);
    m_findButton = new QPushButton(StringTable::text(159), this);
    m_findButton->setObjectName(QStringLiteral("1087"));
    m_findButton->setDefault(true);
    m_findButton->setEnabled(false);
    m_cancelButton = new QPushButton(StringTable::text(160), this);
    m_cancelButton->setObjectName(QStringLiteral("1107"));
    m_cancelButton->setAutoDefault(false);

    auto* grid = new QGridLayout(this);
    grid->addWidget(label, 0, 0);
    grid->addWidget(m_textEdit, 0, 1);
    grid->addWidget(m_findButton, 0, 2);
    grid->addWidget(m_notesBox, 1, 1);
    grid->addWidget(m_cancelButton, 1, 2);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_textEdit, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_findButton->setEnabled(!text.isEmpty()); });
    connect(m_findButton, &QPushButton::clicked, this, &FindDialog::Find);
    connect(m_cancelButton, &QPushButton::clicked, this, &FindDialog::hide);
}

void FindDialog::Find()
{
    const QString text = m_textEdit->text().toUpper();
    if (text.isEmpty())
        return;
    const int count = m_list.model()->rowCount();
    for (int row = std::max(m_nextRow, 0); row < count; ++row) {
        if (!matches(row, text))
            continue;
        m_list.DeselectAll();
        m_list.selectRow(row);
        m_nextRow = row + 1;
        // Only the first hit ever wraps: a lone hit in the last row would otherwise be
        // followed by the "not found" message before it could be found again.
        if (m_nextRow >= count && !m_foundBefore)
            m_nextRow = 0;
        m_foundBefore = true;
        return;
    }
    m_messages.showMessage(this, StringTable::text(NotFound), StringTable::text(Title),
                           MessagePresenter::Icon::Information);
    m_nextRow = 0;
}

bool FindDialog::matches(int row, const QString& text) const
{
    const RecordingTableModel* model = m_list.model();
    const auto cell = [&](int column) {
        return model->index(row, column).data().toString().toUpper();
    };
    return cell(RecordingTableModel::NameColumn).contains(text) ||
           (m_notesBox->isChecked() && cell(RecordingTableModel::NotesColumn).contains(text));
}

void FindDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    m_shown = true;
    m_textEdit->setFocus();
    m_textEdit->selectAll();
}
