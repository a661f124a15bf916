#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QString>
#include <QTimer>

#include <array>

class SkinStatic;

/// A button drawn from four pictures (up, down, focus, disabled) named after its caption:
/// caption + "U", "D", "F", "X", loaded from ":/images/<name>.svg" (or ".png").
/// Hovering or pressing shows the down picture when one exists; otherwise the focus picture
/// when focused, the disabled picture when disabled, else the up picture.
/// It can carry a text label, a hover frame, a tooltip and auto-repeat.
class SkinButton : public QAbstractButton {
    Q_OBJECT
public:
    /// Where a caption label sits relative to the button's rectangle (offset o):
    /// Above: from top - 2 to bottom - o, centred; RightOf: a 12-pixel band centred vertically
    /// from left + o to right - 2, left-aligned; Below: from top + o to bottom - 2, centred;
    /// LeftOf: from left + 2 to right - o, left-aligned; BottomBand: a 12-pixel band at the
    /// bottom, inset 2, centred (the offset is not used).
    enum class Placement { Above = 0, RightOf = 1, Below = 2, LeftOf = 3, BottomBand = 4 };

    /// A button with control id `controlId` (reported by `repeated`).
    explicit SkinButton(int controlId, QWidget* parent = nullptr);
    ~SkinButton() override;

    int controlId() const { return m_controlId; }

    /// Loads caption + "U", "D", "F", "X". Returns false when the up picture is missing.
    bool loadBitmaps(const QString& caption);
    /// Loads four pictures by name; an empty or missing name leaves that state without one.
    /// The same name may be given four times. Returns false when the up picture is missing.
    bool loadBitmaps(const QString& up, const QString& down, const QString& focus,
                     const QString& disabled);
    /// True when the state has a picture (0 up, 1 down, 2 focus, 3 disabled).
    bool hasBitmap(int state) const;
    /// Names of the pictures loaded last (empty for a missing state).
    QString bitmapName(int state) const;

    /// Pixels of this colour become transparent; turns the transparent drawing on.
    void setMaskColor(const QColor& color);
    bool isTransparent() const { return m_transparent; }

    /// Pixels added to the picture's size; a negative value means 2. Default 2.
    void setBorder(int border);
    int border() const { return m_border; }

    /// Resizes to picture size + border without moving.
    void fit();

    /// Fill behind the picture; an invalid colour (the default) fills nothing, so the parent
    /// shows through.
    void setBackgroundColor(const QColor& color);
    QColor backgroundColor() const { return m_background; }

    /// Draws a one-pixel raised frame while hovered and a sunken one while pressed.
    void setFrame(bool frame);
    bool hasFrame() const { return m_frame; }

    /// Auto-repeat: `repeated(controlId)` at the press, 1500 ms later, then every 100 ms
    /// while the left button is held.
    void setRepeat(bool repeat);
    bool isRepeating() const { return m_repeat; }

    /// The auto-repeat schedule the repeat timer is armed with: after `sent` repeats of one
    /// hold (the first goes out at the press) the next follows this many milliseconds later,
    /// 1500 after the first and 100 after every later one.
    static constexpr int repeatDelay(int sent) { return sent <= 1 ? 1500 : 100; }

    /// Sets the tooltip text; `active` false keeps the text but shows no tooltip.
    void setTip(const QString& text, bool active = true);
    QString tip() const { return m_tip; }

    /// Creates (or replaces) the caption label: "Tahoma" 8, black, transparent.
    SkinStatic* createCaptionLabel(const QString& text, Placement placement, int offset = 0);
    /// Font of the caption label, when there is one.
    void setCaptionFont(const QString& face, int pointSize, bool bold = false, bool italic = false);
    SkinStatic* captionLabel() const { return m_caption; }

    bool isHovering() const { return m_hovering; }

    QSize sizeHint() const override;

    /// Renders ":/images/<name>.svg" (or loads ".png") at its own size; null when missing.
    static QImage loadImage(const QString& name);

Q_SIGNALS:
    /// Sent while a repeating button is held.
    void repeated(int controlId);

protected:
    /// Milliseconds the repeat timer is armed with, or -1 while no repeat is pending (repeat
    /// off, not held, released or disabled).
    int pendingRepeatDelay() const;
    /// What the repeat timer does when it fires: sends the next repeat and arms the timer with
    /// the delay to the one after; does nothing while no repeat is pending. A test subclass
    /// calls it to step through a hold without waiting for the clock.
    void repeatTimerFired();

    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void stopRepeat();
    void rebuildPixmaps();
    void placeCaption();
    const QPixmap* pickPixmap() const;

    int m_controlId;
    QColor m_background;
    bool m_frame = false;
    bool m_repeat = false;
    QString m_tip;
    bool m_hovering = false;
    SkinStatic* m_caption = nullptr;
    Placement m_placement = Placement::RightOf;
    int m_captionOffset = 0;
    int m_border = 2;
    bool m_transparent = false;
    QColor m_maskColor;
    std::array<QString, 4> m_names;
    std::array<QImage, 4> m_images;
    std::array<QPixmap, 4> m_pixmaps;
    QTimer m_repeatTimer;
    int m_repeatsSent = 0;
};
