#pragma once

#include <QDialog>
#include <QString>

class MessagePresenter;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

/// The "Add protection" dialog (105): asks for a new key word for one recording, or for
/// several at once (empty recording name). Both key fields are masked with "*". OK is enabled
/// only while the key word has at least 6 characters and either the "show the key word" box is
/// ticked or both fields are equal. Ticking the box shows the key word in clear and disables
/// the re-type field; unticking masks it again, enables the re-type field and copies the key
/// word into it.
///
/// accept() (OK, Enter) checks the key word with Protection::checkNewKeyWord: a "*" (message
/// 62), fewer than 6 characters (63), more than Protection::kMaxKeyBytes bytes (500), or a
/// re-typed word that differs while the re-type field is in use (64) is refused through the
/// MessagePresenter with the exclamation icon and the dialog stays open.
///
/// Lifecycle: construct, exec(); after Accepted read keyWord(). Nothing is protected here: the
/// caller does it. UI thread only.
class ProtectDialog : public QDialog {
    Q_OBJECT

public:
    /// `recordingName` follows "To protect recording " (empty when protecting several);
    /// `messages` must outlive the dialog.
    ProtectDialog(const QString& recordingName, MessagePresenter& messages,
                  QWidget* parent = nullptr);

    /// After Accepted: the accepted key word; empty before.
    QString keyWord() const { return m_keyWord; }

    QLabel* recordingLabel() const { return m_recordingLabel; }
    QLineEdit* keyEdit() const { return m_keyEdit; }
    QLineEdit* retypeEdit() const { return m_retypeEdit; }
    QCheckBox* showKeyBox() const { return m_showKeyBox; }
    QPushButton* okButton() const { return m_okButton; }
    QPushButton* cancelButton() const { return m_cancelButton; }

    /// Closes with Accepted only when the key word passes the checks above.
    void accept() override;

private:
    void onShowKeyToggled(bool shown);
    void updateOk();

    MessagePresenter& m_messages;
    QLabel* m_recordingLabel = nullptr;
    QLineEdit* m_keyEdit = nullptr;
    QLineEdit* m_retypeEdit = nullptr;
    QCheckBox* m_showKeyBox = nullptr;
    QPushButton* m_okButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QString m_keyWord;
};
