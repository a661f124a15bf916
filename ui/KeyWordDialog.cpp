#include "ui/KeyWordDialog.h"

#include "res/StringTable.h"
#include "store/Protection.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

KeyWordDialog::KeyWordDialog(const QString& recordingName, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("KeyWordDialog"));
    setWindowTitle(StringTable::text(202));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    setModal(true);

    m_promptLabel = new QLabel(StringTable::text(133), this);
    m_promptLabel->setObjectName(QStringLiteral("KeyWordPrompt"));
    m_recordingLabel = new QLabel(recordingName, this);
    m_recordingLabel->setObjectName(QStringLiteral("KeyWordRecording"));
    m_recordingLabel->setTextFormat(Qt::PlainText);
    QFont bold = m_recordingLabel->font();
    bold.setBold(true);
    m_recordingLabel->setFont(bold);
    m_keyEdit = new QLineEdit(this);
    m_keyEdit->setObjectName(QStringLiteral("KeyWordEdit"));
    // A key word is never shown in clear where someone may look over the user's shoulder.
    m_keyEdit->setEchoMode(QLineEdit::Password);
    m_keyEdit->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    m_keyEdit->setMinimumWidth(260);

    auto* buttons = new QDialogButtonBox(this);
    m_okButton = buttons->addButton(StringTable::text(204), QDialogButtonBox::AcceptRole);
    m_cancelButton = buttons->addButton(StringTable::text(205), QDialogButtonBox::RejectRole);
    m_okButton->setObjectName(QStringLiteral("KeyWordOk"));
    m_cancelButton->setObjectName(QStringLiteral("KeyWordCancel"));
    m_okButton->setDefault(true);
    connect(m_okButton, &QPushButton::clicked, this, &KeyWordDialog::accept);
    connect(m_cancelButton, &QPushButton::clicked, this, &KeyWordDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_promptLabel);
    layout->addWidget(m_recordingLabel);
    layout->addWidget(m_keyEdit);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_keyEdit, &QLineEdit::textChanged, this,
            [this] { m_okButton->setEnabled(keyLongEnough()); });
    m_okButton->setEnabled(false);
    m_keyEdit->setFocus();
}

bool KeyWordDialog::keyLongEnough() const
{
    return m_keyEdit->text().size() >= Protection::kMinKeyCharacters;
}

void KeyWordDialog::accept()
{
    if (!keyLongEnough())
        return;
    m_keyWord = m_keyEdit->text();
    QDialog::accept();
}
