#include "ui/SkinButton.h"

#include "ui/SkinStatic.h"

#include <QEnterEvent>
#include <QFile>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QSvgRenderer>

// Outside any namespace: the resource initialiser is declared at file scope.
static void initImageResource()
{
    Q_INIT_RESOURCE(parlune_images);
}

namespace {

constexpr int CaptionBand = 12;
const QColor CaptionText(0, 0, 0);
const QColor CaptionTextDisabled(0x8a, 0x93, 0x9c);
const QColor FrameLight(0xfd, 0xfe, 0xff);
const QColor FrameShadow(0xa3, 0xb8, 0xcf);

// Pictures are drawn for the screen's pixel ratio so that they stay sharp on dense screens.
qreal pixelRatio()
{
    return qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
}

} // namespace

QImage SkinButton::loadImage(const QString& name)
{
    static const bool initialised = (initImageResource(), true);
    Q_UNUSED(initialised);
    if (name.isEmpty())
        return {};
    const QString svgPath = QStringLiteral(":/images/%1.svg").arg(name);
    if (QFile::exists(svgPath)) {
        QSvgRenderer renderer(svgPath);
        if (!renderer.isValid())
            return {};
        const qreal ratio = pixelRatio();
        const QSize size = renderer.defaultSize();
        QImage image(size * ratio, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size) * ratio));
        painter.end();
        image.setDevicePixelRatio(ratio);
        return image;
    }
    QImage png(QStringLiteral(":/images/%1.png").arg(name));
    if (png.isNull())
        return {};
    return png.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

SkinButton::SkinButton(int controlId, QWidget* parent)
    : QAbstractButton(parent), m_controlId(controlId)
{
    setCursor(Qt::PointingHandCursor);
    connect(&m_repeatTimer, &QTimer::timeout, this, &SkinButton::repeatTimerFired);
}

SkinButton::~SkinButton() = default;

bool SkinButton::loadBitmaps(const QString& caption)
{
    return loadBitmaps(caption + u'U', caption + u'D', caption + u'F', caption + u'X');
}

bool SkinButton::loadBitmaps(const QString& up, const QString& down, const QString& focus,
                             const QString& disabled)
{
    m_names = {up, down, focus, disabled};
    for (std::size_t i = 0; i < m_names.size(); ++i) {
        // A name given more than once is rendered once.
        std::size_t same = 0;
        while (same < i && m_names[same] != m_names[i])
            ++same;
        m_images[i] = same < i ? m_images[same] : loadImage(m_names[i]);
        if (m_images[i].isNull())
            m_names[i].clear();
    }
    rebuildPixmaps();
    update();
    return !m_images[0].isNull();
}

bool SkinButton::hasBitmap(int state) const
{
    return state >= 0 && state < 4 && !m_pixmaps[std::size_t(state)].isNull();
}

QString SkinButton::bitmapName(int state) const
{
    return state >= 0 && state < 4 ? m_names[std::size_t(state)] : QString();
}

void SkinButton::setMaskColor(const QColor& color)
{
    m_maskColor = color;
    m_transparent = true;
    rebuildPixmaps();
    update();
}

void SkinButton::rebuildPixmaps()
{
    const QRgb mask = m_maskColor.rgba();
    for (std::size_t i = 0; i < m_images.size(); ++i) {
        if (m_images[i].isNull()) {
            m_pixmaps[i] = QPixmap();
            continue;
        }
        if (!m_transparent) {
            m_pixmaps[i] = QPixmap::fromImage(m_images[i]);
            continue;
        }
        // Pixels of exactly the mask colour leave the background visible.
        QImage image = m_images[i].convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                if (line[x] == mask)
                    line[x] = 0;
            }
        }
        m_pixmaps[i] = QPixmap::fromImage(image);
    }
}

void SkinButton::setBorder(int border)
{
    m_border = border < 0 ? 2 : border;
    update();
}

void SkinButton::fit()
{
    resize(sizeHint());
    setAttribute(Qt::WA_Hover);
}

QSize SkinButton::sizeHint() const
{
    QSize size;
    for (const QPixmap& pixmap : m_pixmaps)
        size = size.expandedTo(pixmap.deviceIndependentSize().toSize());
    return size + QSize(m_border, m_border);
}

void SkinButton::setBackgroundColor(const QColor& color)
{
    m_background = color;
    update();
}

void SkinButton::setFrame(bool frame)
{
    m_frame = frame;
    update();
}

void SkinButton::setRepeat(bool repeat)
{
    m_repeat = repeat;
    if (!repeat)
        stopRepeat();
}

void SkinButton::setTip(const QString& text, bool active)
{
    m_tip = text;
    setToolTip(active ? text : QString());
    // A picture says nothing to a screen reader: the tip says what the button does.
    if (!text.isEmpty())
        setAccessibleName(text);
}

SkinStatic* SkinButton::createCaptionLabel(const QString& text, Placement placement, int offset)
{
    delete m_caption;
    m_caption = new SkinStatic(text, this);
    m_caption->setObjectName(objectName() + QStringLiteral("Caption"));
    if (accessibleName().isEmpty())
        setAccessibleName(text);
    m_caption->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_caption->setFont(QStringLiteral("Tahoma"), 8);
    m_caption->setTransparent(true);
    m_caption->setSingleLine(true);
    m_caption->setTextColor(isEnabled() ? CaptionText : CaptionTextDisabled);
    m_placement = placement;
    m_captionOffset = offset;
    switch (placement) {
    case Placement::RightOf:
    case Placement::LeftOf:
        m_caption->setAlignment(SkinStatic::Left);
        break;
    default:
        m_caption->setAlignment(SkinStatic::Centre);
        break;
    }
    placeCaption();
    m_caption->show();
    return m_caption;
}

void SkinButton::setCaptionFont(const QString& face, int pointSize, bool bold, bool italic)
{
    if (m_caption)
        m_caption->setFont(face, pointSize, bold, italic);
}

void SkinButton::placeCaption()
{
    if (!m_caption)
        return;
    const int w = width();
    const int h = height();
    const int o = m_captionOffset;
    QRect r;
    switch (m_placement) {
    case Placement::Above:
        r = QRect(QPoint(2, -2), QPoint(w - 3, h - o - 1));
        break;
    case Placement::RightOf:
        r = QRect(o, (h - CaptionBand) / 2, w - 2 - o, CaptionBand);
        break;
    case Placement::Below:
        r = QRect(QPoint(2, o), QPoint(w - 3, h - 3));
        break;
    case Placement::LeftOf:
        r = QRect(QPoint(2, -2), QPoint(w - o - 1, h - 3));
        break;
    case Placement::BottomBand:
        r = QRect(2, h - 2 - CaptionBand, w - 4, CaptionBand);
        break;
    }
    m_caption->setGeometry(r);
}

const QPixmap* SkinButton::pickPixmap() const
{
    if ((isDown() || m_hovering) && !m_pixmaps[1].isNull())
        return &m_pixmaps[1];
    if (hasFocus() && !m_pixmaps[2].isNull())
        return &m_pixmaps[2];
    if (!isEnabled() && !m_pixmaps[3].isNull())
        return &m_pixmaps[3];
    return &m_pixmaps[0];
}

void SkinButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_background.isValid())
        painter.fillRect(rect(), m_background);
    const QPixmap* pixmap = pickPixmap();
    if (!pixmap->isNull()) {
        if (m_transparent)
            painter.drawPixmap(QPointF(m_border / 2, m_border / 2), *pixmap);
        else
            painter.drawPixmap(QRect(0, 0, width() - m_border, height() - m_border), *pixmap);
    }
    if (m_frame && (m_hovering || isDown())) {
        const bool sunken = isDown();
        const QRect r = rect().adjusted(0, 0, -1, -1);
        painter.setPen(sunken ? FrameShadow : FrameLight);
        painter.drawLine(r.topLeft(), r.topRight());
        painter.drawLine(r.topLeft(), r.bottomLeft());
        painter.setPen(sunken ? FrameLight : FrameShadow);
        painter.drawLine(r.bottomLeft(), r.bottomRight());
        painter.drawLine(r.topRight(), r.bottomRight());
    }
}

void SkinButton::enterEvent(QEnterEvent* event)
{
    QAbstractButton::enterEvent(event);
    // A disabled button never tracks the mouse, so it keeps its disabled look.
    if (isEnabled() && !m_hovering) {
        m_hovering = true;
        update();
    }
}

void SkinButton::leaveEvent(QEvent* event)
{
    QAbstractButton::leaveEvent(event);
    if (m_hovering) {
        m_hovering = false;
        update();
    }
}

void SkinButton::mousePressEvent(QMouseEvent* event)
{
    QAbstractButton::mousePressEvent(event);
    if (m_repeat && event->button() == Qt::LeftButton) {
        // Armed before the repeat goes out, so that a receiver that disables the button
        // stops the timer for good.
        m_repeatsSent = 1;
        m_repeatTimer.start(repeatDelay(m_repeatsSent));
        Q_EMIT repeated(m_controlId);
    }
}

void SkinButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        stopRepeat();
    QAbstractButton::mouseReleaseEvent(event);
}

int SkinButton::pendingRepeatDelay() const
{
    return m_repeatTimer.isActive() ? m_repeatTimer.interval() : -1;
}

void SkinButton::repeatTimerFired()
{
    if (!m_repeatTimer.isActive())
        return;
    Q_EMIT repeated(m_controlId);
    // The receiver may have disabled the button, which ends the hold.
    if (!m_repeatTimer.isActive())
        return;
    const int next = repeatDelay(++m_repeatsSent);
    if (m_repeatTimer.interval() != next)
        m_repeatTimer.start(next);
}

void SkinButton::stopRepeat()
{
    m_repeatTimer.stop();
    m_repeatsSent = 0;
}

void SkinButton::changeEvent(QEvent* event)
{
    QAbstractButton::changeEvent(event);
    if (event->type() != QEvent::EnabledChange)
        return;
    if (isEnabled()) {
        setCursor(Qt::PointingHandCursor);
        m_hovering = underMouse();
    } else {
        unsetCursor();
        m_hovering = false;
        stopRepeat();
    }
    if (m_caption)
        m_caption->setTextColor(isEnabled() ? CaptionText : CaptionTextDisabled);
    update();
}

void SkinButton::resizeEvent(QResizeEvent* event)
{
    QAbstractButton::resizeEvent(event);
    placeCaption();
}
