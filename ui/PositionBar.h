#pragma once

#include <QWidget>

/// The playback position as a green bar in a white rounded frame. A click or drag followed
/// by a release asks to seek to the position under the mouse; while enabled, a tooltip
/// shows that position as "mm:ss" and the cursor is a hand.
class PositionBar : public QWidget {
    Q_OBJECT
public:
    explicit PositionBar(QWidget* parent = nullptr);

    /// Range of positions, in seconds; the maximum defaults to 10.
    void setRange(int minimum, int maximum);
    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }

    /// Sets the position and redraws.
    void setPosition(int position);
    int position() const { return m_position; }

    /// Enabling activates the tooltip and the hand cursor.
    void setEnabledBar(bool enabled);
    bool isBarEnabled() const { return m_enabled; }

    bool isDragging() const { return m_dragging; }

    /// The value a release at widget x reports: maximum x x / width + 0.5, truncated, with x
    /// left of the bar taken as 2 and right of it as the width.
    int valueAt(int x) const;

    QSize sizeHint() const override { return {201, 10}; }

Q_SIGNALS:
    /// The mouse button was released over or after a press on the bar.
    void seekRequested(int position);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void showTime(const QPoint& pos);

    bool m_enabled = false;
    bool m_dragging = false;
    bool m_pressed = false;
    int m_position = 0;
    int m_minimum = 0;
    int m_maximum = 10;
    int m_lastX = 0;
};
