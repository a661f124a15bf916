#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>

#include <memory>

class CPlaySound;
class MessagePresenter;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class SkinButton;

/// The "Save recording" dialog (176): asks for the name and notes of a finished recording and
/// can play its temporary file. It checks the name as it is typed and refuses reserved names,
/// but renames nothing: on Accepted the caller reads name() and notes() and renames the
/// temporary file itself (asking again on a file error). Rejected (Cancel, Escape, closing the
/// window) means the recording is to be discarded.
///
/// Lifecycle: created by the recording controller for one recording, run with exec(), then
/// read and destroyed. Its preview player lives and stops with it; Save and Cancel stop it.
/// Calling thread: the UI thread only.
class SaveRecordingDialog : public QDialog {
    Q_OBJECT
public:
    /// Period of the check that notices the end of the preview.
    static constexpr int PollPeriodMs = 1000;

    /// `folder` ends with "/"; an empty `temporaryFile` means folder + "tmp_nome_reg.dtm".
    /// `alternative` chooses the player's alternative method for the preview. Messages go
    /// through `messages`.
    SaveRecordingDialog(const QString& name, const QString& notes, const QString& folder,
                        const QString& temporaryFile, MessagePresenter& messages, bool alternative,
                        QWidget* parent = nullptr);
    ~SaveRecordingDialog() override;

    /// After Accepted: the name (trailing white space and every CR and LF removed) and the
    /// notes (leading white space removed).
    QString name() const { return m_name; }
    QString notes() const { return m_notes; }
    /// What the fields hold now, cleaned the same way, whatever ended the dialog.
    QString typedName() const;
    QString typedNotes() const;
    /// The file the preview plays.
    QString temporaryFile() const { return m_temporaryFile; }
    /// True while the preview plays or is starting.
    bool isPreviewPlaying() const;

    QLineEdit* nameEdit() const { return m_nameEdit; }
    QPlainTextEdit* notesEdit() const { return m_notesEdit; }
    QPushButton* saveButton() const { return m_saveButton; }
    QPushButton* cancelButton() const { return m_cancelButton; }
    SkinButton* playButton() const { return m_playButton; }

    /// Stops the preview and ends the dialog with Rejected.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void onNameChanged();
    void onSave();
    void togglePreview();
    void stopPreview();
    void pollPreview();
    void showPreviewLook(bool playing);
    bool nameFits(const QString& name) const;

    QString m_folder;
    QString m_temporaryFile;
    MessagePresenter& m_messages;
    bool m_alternative;
    std::unique_ptr<CPlaySound> m_player;
    QTimer m_poll;
    bool m_previewStarting = false; ///< Play() accepted, not heard yet
    QLineEdit* m_nameEdit = nullptr;
    QPlainTextEdit* m_notesEdit = nullptr;
    QPushButton* m_saveButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
    SkinButton* m_playButton = nullptr;
    bool m_correcting = false;
    QString m_name;
    QString m_notes;
};
