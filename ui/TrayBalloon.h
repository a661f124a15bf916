#pragma once

#include <QImage>
#include <QRect>
#include <QString>
#include <QTimer>
#include <QWidget>

class SkinButton;

/// The hint shown above the notification icon when the window hides: a frameless window with
/// the outline of the balloon picture ("Fumetto"; its pure red pixels are left out of the
/// window), the text drawn on it and a close button. It never takes the focus, and closes by
/// itself after kShowMs, at its close button, or when the owner closes it (a click on the icon).
///
/// Lifecycle: one per window, shown any number of times. UI thread only.
class TrayBalloon : public QWidget {
    Q_OBJECT

public:
    static constexpr int kShowMs = 3000;
    /// Where the balloon's tail points, from its left edge, and its height above the icon.
    static constexpr int kTailX = 243;
    static constexpr int kHeightAbove = 70;

    explicit TrayBalloon(QWidget* parent = nullptr);

    /// Shows `text` just above `icon` (the notification icon's rectangle on the screen), or,
    /// when it is unknown (empty), at the bottom right of `screen`; kept inside `screen`.
    void showNear(const QRect& icon, const QRect& screen, const QString& text);
    /// Where showNear() puts the balloon's top-left corner.
    static QPoint placement(const QRect& icon, const QRect& screen, const QSize& size);
    /// The balloon's size, that of its picture.
    QSize pictureSize() const { return m_picture.size(); }
    QString text() const { return m_text; }
    SkinButton* closeButton() const { return m_close; }
    /// Test seam: how long the balloon stays.
    void setShowMs(int ms) { m_timer.setInterval(ms); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_picture;
    QString m_text;
    SkinButton* m_close = nullptr;
    QTimer m_timer;
};
