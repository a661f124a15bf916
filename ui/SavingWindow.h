#pragma once

#include "store/RecordingList.h"

#include <QDialog>

class QLabel;
class QProgressBar;

/// The "Saving..." window (288, title 234, text 235): shows how far a long save of the
/// recording list has come (RecordingList::SaveModified writing many tags, e.g. after an import
/// or at exit). Modeless; its top-left corner sits at the middle of the window's client area.
///
/// Lifecycle: make one on the stack around a save and pass progress() to it; the window shows
/// at the first report of a save and hides after the last. UI thread only.
class SavingWindow : public QDialog {
    Q_OBJECT

public:
    /// `window` (may be null) is the Recorder window, which places and owns it.
    explicit SavingWindow(QWidget* window);

    /// Reports for RecordingList::SaveModified that drive this window.
    RecordingList::Progress progress();
    /// `done` of `total` tags written: shows the window on the first report, advances the bar,
    /// paints it at once (the save holds the event loop) and hides it once all are done.
    void report(int done, int total);

    QProgressBar* bar() const { return m_bar; }
    QLabel* textLabel() const { return m_text; }
    /// True once a report has shown the window.
    bool wasShown() const { return m_shown; }

private:
    QWidget* m_window;
    QLabel* m_text;
    QProgressBar* m_bar;
    bool m_shown = false;
};
