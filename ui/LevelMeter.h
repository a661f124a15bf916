#pragma once

#include <QWidget>

/// The input level in 20 segments (green 1-12, yellow 13-16, orange 17-20) inside a white
/// rounded box, with the auto-recording threshold as a marker (a line and a 5-pixel disc)
/// that the user can drag.
class LevelMeter : public QWidget {
    Q_OBJECT
public:
    static constexpr int MaxValue = 32767;
    static constexpr int Segments = 20;

    explicit LevelMeter(QWidget* parent = nullptr);

    /// Shows `value` (0..32767, clamped) as value x 20 / 32767 + 0.5 segments; redraws only
    /// when the segment count changes.
    void setLevel(int value);
    /// Lit segments, 0..20.
    int level() const { return m_segments; }

    /// Sets the threshold (0..32767, clamped) and redraws.
    void setThreshold(int threshold);
    int threshold() const { return m_threshold; }

    /// X of the threshold marker in widget coordinates.
    int markerX() const;

    bool isDragging() const { return m_dragging; }

    QSize sizeHint() const override { return {201, 17}; }

Q_SIGNALS:
    /// The user released the mouse after dragging the marker to `threshold`.
    void thresholdChanged(int threshold);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool overMarker(const QPoint& pos) const;
    int thresholdAt(int x) const;

    bool m_dragging = false;
    bool m_overMarker = false;
    int m_segments = 0;
    int m_threshold = 0;
};
