#include "ui/WindowKeys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QWidget>

namespace {

bool takesText(const QObject* widget)
{
    if (const auto* line = qobject_cast<const QLineEdit*>(widget))
        return !line->isReadOnly();
    if (const auto* text = qobject_cast<const QPlainTextEdit*>(widget))
        return !text->isReadOnly();
    return false;
}

} // namespace

WindowKeys::WindowKeys(QWidget& window, Actions actions)
    : QObject(&window), m_window(window), m_actions(std::move(actions))
{
    qApp->installEventFilter(this);
}

WindowKeys::~WindowKeys()
{
    qApp->removeEventFilter(this);
}

bool WindowKeys::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->window() != &m_window || qobject_cast<QMenuBar*>(widget))
        return false;
    // A key a control ignores travels up to the window and would be seen again on the way.
    const QWidget* focus = QApplication::focusWidget();
    if (!focus || focus->window() != &m_window)
        focus = m_window.focusWidget();
    if (widget != (focus ? focus : &m_window))
        return false;

    const auto call = [](const std::function<void()>& action) {
        if (action)
            action();
    };
    switch (static_cast<QKeyEvent*>(event)->key()) {
    case Qt::Key_Escape:
        call(m_actions.escape);
        return true;
    case Qt::Key_F1:
    case Qt::Key_F3:
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // The notes take line breaks: Enter there is the user's text, not a command.
        if (!takesText(widget))
            call(m_actions.play);
        return false;
    case Qt::Key_F5:
        call(m_actions.reload);
        return false;
    default:
        return false;
    }
}
