#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

/// The "Remove protection" dialog (106): asks for the key word of a protected recording, to
/// remove its protection or to play it. The field is masked with "*"; OK is enabled only while
/// it holds at least 6 characters. The typed text is not checked here: the caller verifies it
/// against the recording's check block.
///
/// Lifecycle: construct, exec(); after Accepted read keyWord(). UI thread only.
class KeyWordDialog : public QDialog {
    Q_OBJECT

public:
    explicit KeyWordDialog(const QString& recordingName, QWidget* parent = nullptr);

    /// After Accepted: the typed key word; empty before.
    QString keyWord() const { return m_keyWord; }

    QLabel* promptLabel() const { return m_promptLabel; }
    QLabel* recordingLabel() const { return m_recordingLabel; }
    QLineEdit* keyEdit() const { return m_keyEdit; }
    QPushButton* okButton() const { return m_okButton; }
    QPushButton* cancelButton() const { return m_cancelButton; }

    /// Closes with Accepted only while OK would be enabled.
    void accept() override;

private:
    bool keyLongEnough() const;

    QLabel* m_promptLabel = nullptr;
    QLabel* m_recordingLabel = nullptr;
    QLineEdit* m_keyEdit = nullptr;
    QPushButton* m_okButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QString m_keyWord;
};
