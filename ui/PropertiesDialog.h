#pragma once

#include <QDialog>
#include <QString>

class MessagePresenter;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

/// The recording properties dialog (327): edits the name and notes of one recording of a
/// folder. Save accepts the dialog only with a name the folder can take (or the opening name
/// unchanged); its refusals are shown through the MessagePresenter and leave it open.
///
/// Lifecycle: construct, exec(); after Accepted read name() and notes(). Nothing is renamed
/// here: the caller commits the result. UI thread only.
class PropertiesDialog : public QDialog {
    Q_OBJECT

public:
    /// Typing stops notes at this many characters; notes that are longer already show whole
    /// and are kept whole, but cannot grow beyond their opening length.
    static constexpr int MaxNotesLength = 255;

    /// `folder` ends with "/"; `messages` must outlive the dialog.
    PropertiesDialog(const QString& name, const QString& notes, const QString& folder,
                     MessagePresenter& messages, QWidget* parent = nullptr);

    /// The edited texts.
    QString name() const;
    QString notes() const;

    QLineEdit* nameEdit() const { return m_nameEdit; }
    QPlainTextEdit* notesEdit() const { return m_notesEdit; }
    QPushButton* saveButton() const { return m_saveButton; }
    QPushButton* cancelButton() const { return m_cancelButton; }

private:
    void save();
    void refuse(int message, bool stop);
    void filterName();
    void limitNotes();

    QString m_openingName;
    QString m_folder;
    MessagePresenter& m_messages;
    QLineEdit* m_nameEdit = nullptr;
    QPlainTextEdit* m_notesEdit = nullptr;
    QPushButton* m_saveButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QString m_shownNotes;       ///< the notes as they were before the latest change
    qsizetype m_notesLimit = 0; ///< MaxNotesLength, or the opening notes' length when longer
};
