#include "ui/WindowCollapse.h"

#include "res/StringTable.h"
#include "ui/RecorderLayout.h"
#include "ui/SkinButton.h"

#include <QWidget>

WindowCollapse::WindowCollapse(QWidget* window, const RecorderLayout& layout, SkinButton* button)
    : QObject(window), m_window(window), m_layout(layout), m_button(button)
{
    connect(m_button, &QAbstractButton::clicked, this, &WindowCollapse::toggle);
}

void WindowCollapse::toggle()
{
    m_collapsed = !m_collapsed;
    int height = m_expandedHeight;
    if (m_collapsed) {
        m_expandedHeight = m_window->height();
        height = m_layout.collapsedHeight();
    }
    // The picture stands for what the next click does, in every state of the button.
    const QString picture = m_collapsed ? QStringLiteral("DOWN") : QStringLiteral("UP");
    m_button->loadBitmaps(picture, picture, picture, picture);
    m_button->setTip(StringTable::text(m_collapsed ? 446 : 445));
    // The window's size is fixed by design; only this button changes it.
    m_window->setFixedSize(m_window->width(), height);
    // Keys must not go on acting on a control now out of sight, such as the list.
    if (QWidget* focus = m_window->focusWidget();
        m_collapsed && focus && focus->mapTo(m_window, QPoint(0, 0)).y() >= height)
        m_button->setFocus();
    m_window->update();
}
