#include "ui/LevelMeter.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cstdlib>

namespace {

const QColor Green(94, 219, 94);
const QColor Yellow(255, 255, 0);
const QColor Orange(255, 51, 0);
const QColor Red(255, 0, 0);
const QColor Grey(100, 100, 100);
const QColor Unlit(0xee, 0xf2, 0xf6);
const QColor BoxLine(0xbc, 0xd6, 0xf1);
constexpr int GrabDistance = 5;
constexpr int DiscSize = 5;

} // namespace

LevelMeter::LevelMeter(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
}

void LevelMeter::setLevel(int value)
{
    value = std::clamp(value, 0, MaxValue);
    const int segments = static_cast<int>(value * double(Segments) / MaxValue + 0.5);
    if (segments == m_segments)
        return;
    m_segments = segments;
    update();
}

void LevelMeter::setThreshold(int threshold)
{
    m_threshold = std::clamp(threshold, 0, MaxValue);
    update();
}

int LevelMeter::markerX() const
{
    const int w = width();
    const int fromRight = int(qint64(w) * (1000LL * (MaxValue - m_threshold) / MaxValue) / 1000);
    // Kept one pixel inside the box so that the marker never sits on its outline.
    return std::clamp(w - std::min(w, fromRight), 1, std::max(1, w - 2));
}

int LevelMeter::thresholdAt(int x) const
{
    const int w = std::max(1, width());
    const int fromRight = w - std::clamp(x, 0, w);
    const qint64 permille = qint64(fromRight) * 1000 / w;
    return std::clamp(int(MaxValue - permille * MaxValue / 1000), 0, MaxValue);
}

bool LevelMeter::overMarker(const QPoint& pos) const
{
    return std::abs(pos.x() - markerX()) <= GrabDistance && pos.y() >= 0 && pos.y() < height();
}

void LevelMeter::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(BoxLine);
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(box, 4, 4);

    const int segmentWidth = (width() - 1) / Segments;
    const int top = 3;
    const int barHeight = std::max(1, height() - 6);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);
    for (int i = 1; i <= Segments; ++i) {
        QColor color = Unlit;
        if (i <= m_segments)
            color = i <= 12 ? Green : i <= 16 ? Yellow : Orange;
        const int x = 1 + (i - 1) * segmentWidth;
        painter.fillRect(QRect(x + 1, top, std::max(1, segmentWidth - 2), barHeight), color);
    }

    const int x = markerX();
    painter.setPen(Red);
    painter.drawLine(x, 1, x, height() - 2);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Grey);
    painter.setBrush(Red);
    const qreal r = DiscSize / 2.0;
    painter.drawEllipse(QPointF(x + 0.5, height() / 2.0), r, r);
}

void LevelMeter::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && overMarker(event->position().toPoint()))
        m_dragging = true;
    QWidget::mousePressEvent(event);
}

void LevelMeter::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (m_dragging) {
        m_threshold = thresholdAt(pos.x());
        update();
        return;
    }
    const bool over = overMarker(pos);
    if (over != m_overMarker) {
        m_overMarker = over;
        if (over)
            setCursor(Qt::PointingHandCursor);
        else
            unsetCursor();
    }
}

void LevelMeter::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_dragging) {
        m_dragging = false;
        m_threshold = thresholdAt(event->position().toPoint().x());
        update();
        Q_EMIT thresholdChanged(m_threshold);
    }
    QWidget::mouseReleaseEvent(event);
}
