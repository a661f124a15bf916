#pragma once

#include <QObject>

class QWidget;
class RecorderLayout;
class SkinButton;

/// The Recorder window's Reduce button (1100): each click collapses the window to its upper
/// part or expands it again. Collapsed, the window ends 10 pixels below the Record button and
/// the button shows the "DOWN" picture with tooltip 446; expanded, the window takes back the
/// height it had before collapsing and the button shows "UP" with tooltip 445. The state lasts
/// for the run only. UI thread; a child of the window, which with the layout and the button
/// outlives it.
class WindowCollapse : public QObject {
    Q_OBJECT
public:
    /// Connects to the button's clicks; the window starts expanded.
    WindowCollapse(QWidget* window, const RecorderLayout& layout, SkinButton* button);

    bool isCollapsed() const { return m_collapsed; }
    /// Collapses an expanded window, expands a collapsed one.
    void toggle();

private:
    QWidget* m_window;
    const RecorderLayout& m_layout;
    SkinButton* m_button;
    bool m_collapsed = false;
    int m_expandedHeight = 0;
};
