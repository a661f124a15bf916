#include "ui/PropertiesDialog.h"

#include "res/StringTable.h"
#include "store/RecordingNames.h"
#include "ui/MessagePresenter.h"
#include "ui/RecorderLayout.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

PropertiesDialog::PropertiesDialog(const QString& name, const QString& notes, const QString& folder,
                                   MessagePresenter& messages, QWidget* parent)
    : QDialog(parent), m_openingName(name), m_folder(folder), m_messages(messages)
{
    setWindowTitle(StringTable::text(207));
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    setModal(true);

    m_nameEdit = new QLineEdit(name, this);
    m_nameEdit->setObjectName(QStringLiteral("PropertiesName"));
    m_nameEdit->setMaxLength(RecorderLayout::MaxTextLength);
    m_notesEdit = new QPlainTextEdit(this);
    m_notesEdit->setObjectName(QStringLiteral("PropertiesNotes"));
    m_notesEdit->setPlainText(notes);
    m_notesEdit->setTabChangesFocus(true);
    m_notesEdit->setMinimumSize(320, 90);

    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    form->setLabelAlignment(Qt::AlignLeft | Qt::AlignTop);
    form->addRow(StringTable::text(208), m_nameEdit);
    form->addRow(StringTable::text(209), m_notesEdit);

    auto* buttons = new QDialogButtonBox(this);
    m_saveButton = buttons->addButton(StringTable::text(210), QDialogButtonBox::AcceptRole);
    m_cancelButton = buttons->addButton(StringTable::text(211), QDialogButtonBox::RejectRole);
    m_saveButton->setObjectName(QStringLiteral("PropertiesSave"));
    m_cancelButton->setObjectName(QStringLiteral("PropertiesCancel"));
    m_saveButton->setDefault(true);
    // Save validates first: the box's accepted signal would close the dialog unchecked.
    connect(m_saveButton, &QPushButton::clicked, this, &PropertiesDialog::save);
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    connect(m_nameEdit, &QLineEdit::textChanged, this, &PropertiesDialog::filterName);
    m_shownNotes = m_notesEdit->toPlainText();
    m_notesLimit = std::max<qsizetype>(MaxNotesLength, m_shownNotes.size());
    connect(m_notesEdit, &QPlainTextEdit::textChanged, this, &PropertiesDialog::limitNotes);
    m_nameEdit->selectAll();
    m_nameEdit->setFocus();
}

QString PropertiesDialog::name() const
{
    return m_nameEdit->text();
}

QString PropertiesDialog::notes() const
{
    return m_notesEdit->toPlainText();
}

void PropertiesDialog::save()
{
    const QString newName = name();
    const int fit = RecordingNames::check(newName, m_folder,
                                          RecordingNames::NotEmpty | RecordingNames::FitsPath);
    if (fit != RecordingNames::Accepted)
        return refuse(fit, false);
    if (newName == m_openingName)
        return accept();
    // The recording's own file does not count, so its name may change letter case.
    if (RecordingNames::fileExistsIgnoringCase(m_folder, newName,
                                               m_openingName + QStringLiteral(".mp3")))
        return refuse(RecordingNames::Taken, false);
    if (RecordingNames::isReserved(newName))
        return refuse(RecordingNames::Reserved, true);
    accept();
}

void PropertiesDialog::refuse(int message, bool stop)
{
    m_messages.showMessage(this, StringTable::text(message), StringTable::caption(),
                           stop ? MessagePresenter::Icon::Error : MessagePresenter::Icon::Warning);
    m_nameEdit->setFocus();
}

void PropertiesDialog::filterName()
{
    const QString text = m_nameEdit->text();
    if (!RecordingNames::hasForbidden(text))
        return;
    // A character a file name cannot hold disappears as it is typed.
    QString kept;
    for (QChar c : text) {
        if (!RecordingNames::isForbidden(c))
            kept.append(c);
    }
    const int caret = m_nameEdit->cursorPosition() - (text.size() - kept.size());
    m_nameEdit->setText(kept);
    m_nameEdit->setCursorPosition(qMax(0, caret));
}

void PropertiesDialog::limitNotes()
{
    const QString text = m_notesEdit->toPlainText();
    const QString before = std::exchange(m_shownNotes, text);
    if (text.size() <= m_notesLimit)
        return;
    // What was typed or pasted lies between the beginning and the end both texts share, and
    // only as much of it stays as fits.
    const qsizetype common = std::min(before.size(), text.size());
    qsizetype head = 0;
    while (head < common && before[head] == text[head])
        ++head;
    qsizetype tail = 0;
    while (tail < common - head && before[before.size() - 1 - tail] == text[text.size() - 1 - tail])
        ++tail;
    const qsizetype inserted = text.size() - head - tail;
    const qsizetype kept = std::max<qsizetype>(0, m_notesLimit - (text.size() - inserted));
    QTextCursor cursor(m_notesEdit->document());
    cursor.setPosition(static_cast<int>(head + kept));
    cursor.setPosition(static_cast<int>(head + inserted), QTextCursor::KeepAnchor);
    cursor.removeSelectedText(); // emits textChanged again, with the text that fits
    m_notesEdit->setTextCursor(cursor);
}
