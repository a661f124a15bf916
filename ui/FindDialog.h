#pragma once

#include <QDialog>

class MessagePresenter;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class RecordingListView;

/// The Find window (108): a modeless window in which the user types a text and searches the
/// recording list for the next row whose Name, and with "Search in notes" ticked whose Notes
/// column (as shown, line breaks as two spaces), contains it, ignoring case.
///
/// A search starts at nextRow() and runs to the last row; it never wraps by itself. A hit
/// deselects every row and selects the found one through the RecordingListView (whose selection
/// handling shows the recording's properties); the next search starts after it. When the very
/// first hit ever is in the last row, the next search starts at row 0. When nothing is found
/// message 153 tells so (information icon, caption 157) and the next search starts at row 0.
/// Changing the text does not move the start row.
///
/// Find (1087, the default button) is enabled only while the text (1084) is not empty;
/// Cancel (1107), Esc and the close box hide the window. Each show puts the focus in the text
/// with its whole text selected.
///
/// Lifecycle: created by the Recorder window at the first Find command and kept, hidden and
/// shown again, until the window ends; the start row and the flags survive hiding. The
/// RecordingListView and the MessagePresenter must outlive it. UI thread only.
class FindDialog : public QDialog {
    Q_OBJECT

public:
    FindDialog(RecordingListView& list, MessagePresenter& messages, QWidget* parent);

    /// True once the window has been shown.
    bool wasShown() const { return m_shown; }
    /// The row where the next search starts.
    int nextRow() const { return m_nextRow; }

    /// The Find button: searches from nextRow() for the text typed.
    void Find();

    QLineEdit* textEdit() const { return m_textEdit; }
    QCheckBox* notesBox() const { return m_notesBox; }
    QPushButton* findButton() const { return m_findButton; }
    QPushButton* cancelButton() const { return m_cancelButton; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool matches(int row, const QString& text) const;

    RecordingListView& m_list;
    MessagePresenter& m_messages;
    QLineEdit* m_textEdit = nullptr;
    QCheckBox* m_notesBox = nullptr;
    QPushButton* m_findButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
    bool m_shown = false;
    bool m_foundBefore = false;
    int m_nextRow = 0;
};
