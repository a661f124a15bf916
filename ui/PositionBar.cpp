#include "ui/PositionBar.h"

#include "store/OleDate.h"

#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>

namespace {

const QColor BarColor(94, 219, 94);
const QColor FrameLine(0xbc, 0xd6, 0xf1);

} // namespace

PositionBar::PositionBar(QWidget* parent) : QWidget(parent) {}

void PositionBar::setRange(int minimum, int maximum)
{
    m_minimum = minimum;
    m_maximum = maximum;
    update();
}

void PositionBar::setPosition(int position)
{
    m_position = position;
    update();
}

void PositionBar::setEnabledBar(bool enabled)
{
    m_enabled = enabled;
    setMouseTracking(enabled);
    if (enabled) {
        setCursor(Qt::PointingHandCursor);
    } else {
        unsetCursor();
        QToolTip::hideText();
    }
}

int PositionBar::valueAt(int x) const
{
    const int w = std::max(1, width());
    if (x < 0)
        x = 2;
    else if (x > w)
        x = w;
    return static_cast<int>(double(m_maximum) * x / w + 0.5);
}

void PositionBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal radius = std::min(5.0, frame.height() / 2);
    painter.setPen(FrameLine);
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(frame, radius, radius);
    if (m_maximum <= 0 || m_position <= 0)
        return;
    const qreal fill = std::min(qreal(width()), qreal(m_position) * width() / m_maximum);
    QRectF bar(frame.left(), frame.top(), std::max(fill - 1.0, 0.0), frame.height());
    painter.setPen(Qt::NoPen);
    painter.setBrush(BarColor);
    painter.setClipRect(bar.adjusted(0, 0, 0.5, 0));
    painter.drawRoundedRect(frame, radius, radius);
}

void PositionBar::showTime(const QPoint& pos)
{
    const int w = std::max(1, width());
    const int x = std::clamp(pos.x(), 0, w);
    const int seconds = int(qint64(m_maximum) * x / w);
    const QString text = OleDate::clockText(seconds);
    QToolTip::showText(mapToGlobal(QPoint(x, height())), text, this, QRect(), 32767);
}

void PositionBar::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_pressed = true;
    m_lastX = event->position().toPoint().x();
    if (m_enabled) {
        m_dragging = true;
        showTime(event->position().toPoint());
    }
}

void PositionBar::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    m_lastX = std::clamp(pos.x(), 0, width());
    if (m_enabled)
        showTime(pos);
}

void PositionBar::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_pressed) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_pressed = false;
    m_dragging = false;
    m_lastX = event->position().toPoint().x();
    const int value = valueAt(m_lastX);
    update();
    QToolTip::hideText();
    Q_EMIT seekRequested(value);
}

void PositionBar::leaveEvent(QEvent* event)
{
    // While dragging the tooltip follows the mouse outside the bar too.
    if (!m_dragging)
        QToolTip::hideText();
    QWidget::leaveEvent(event);
}
