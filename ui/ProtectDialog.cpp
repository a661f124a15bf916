#include "ui/ProtectDialog.h"

#include "res/StringTable.h"
#include "store/Protection.h"
#include "ui/MessagePresenter.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// Every style draws its own dot for hidden text; the key fields show "*" as they always have.
void maskWithStars(QLineEdit* edit)
{
    edit->setEchoMode(QLineEdit::Password);
    edit->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
}

} // namespace

ProtectDialog::ProtectDialog(const QString& recordingName, MessagePresenter& messages,
                             QWidget* parent)
    : QDialog(parent), m_messages(messages)
{
    setObjectName(QStringLiteral("ProtectDialog"));
    setWindowTitle(StringTable::text(177));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    setModal(true);

    m_recordingLabel = new QLabel(StringTable::text(130) + recordingName, this);
    m_recordingLabel->setObjectName(QStringLiteral("ProtectRecording"));
    m_recordingLabel->setTextFormat(Qt::PlainText);
    auto* keyLabel = new QLabel(StringTable::text(131), this);
    m_keyEdit = new QLineEdit(this);
    m_keyEdit->setObjectName(QStringLiteral("ProtectKey"));
    maskWithStars(m_keyEdit);
    auto* retypeLabel = new QLabel(StringTable::text(132), this);
    m_retypeEdit = new QLineEdit(this);
    m_retypeEdit->setObjectName(QStringLiteral("ProtectRetype"));
    maskWithStars(m_retypeEdit);
    m_showKeyBox = new QCheckBox(StringTable::text(180), this);
    m_showKeyBox->setObjectName(QStringLiteral("ProtectShowKey"));

    auto* buttons = new QDialogButtonBox(this);
    m_okButton = buttons->addButton(StringTable::text(181), QDialogButtonBox::AcceptRole);
    m_cancelButton = buttons->addButton(StringTable::text(182), QDialogButtonBox::RejectRole);
    m_okButton->setObjectName(QStringLiteral("ProtectOk"));
    m_cancelButton->setObjectName(QStringLiteral("ProtectCancel"));
    m_okButton->setDefault(true);
    connect(m_okButton, &QPushButton::clicked, this, &ProtectDialog::accept);
    connect(m_cancelButton, &QPushButton::clicked, this, &ProtectDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_recordingLabel);
    layout->addSpacing(6);
    layout->addWidget(keyLabel);
    layout->addWidget(m_keyEdit);
    layout->addWidget(retypeLabel);
    layout->addWidget(m_retypeEdit);
    layout->addWidget(m_showKeyBox);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    m_keyEdit->setMinimumWidth(260);

    connect(m_keyEdit, &QLineEdit::textChanged, this, &ProtectDialog::updateOk);
    connect(m_retypeEdit, &QLineEdit::textChanged, this, &ProtectDialog::updateOk);
    connect(m_showKeyBox, &QCheckBox::toggled, this, &ProtectDialog::onShowKeyToggled);
    m_keyEdit->setFocus();
    updateOk();
}

void ProtectDialog::onShowKeyToggled(bool shown)
{
    if (shown) {
        m_keyEdit->setEchoMode(QLineEdit::Normal);
        m_retypeEdit->setEnabled(false);
    } else {
        m_keyEdit->setEchoMode(QLineEdit::Password);
        m_retypeEdit->setEnabled(true);
        // The word was just seen in clear, so it counts as re-typed.
        m_retypeEdit->setText(m_keyEdit->text());
    }
    updateOk();
}

void ProtectDialog::updateOk()
{
    const QString key = m_keyEdit->text();
    m_okButton->setEnabled(key.size() >= Protection::kMinKeyCharacters &&
                           (m_showKeyBox->isChecked() || key == m_retypeEdit->text()));
}

void ProtectDialog::accept()
{
    const QString key = m_keyEdit->text();
    const Protection::KeyProblem problem =
        Protection::checkNewKeyWord(key, m_retypeEdit->text(), !m_showKeyBox->isChecked());
    if (problem != Protection::KeyAccepted) {
        m_messages.showMessage(this, StringTable::text(problem), StringTable::caption(),
                               MessagePresenter::Icon::Warning);
        m_keyEdit->setFocus();
        return;
    }
    m_keyWord = key;
    QDialog::accept();
}
