#include "ui/TrayBalloon.h"

#include "ui/SkinButton.h"

#include <QBitmap>
#include <QPainter>
#include <QRegion>

#include <algorithm>

namespace {

constexpr QSize kPictureSize(258, 68);
constexpr QRgb kCutColour = qRgb(255, 0, 0);
constexpr QRgb kTextBackground = qRgb(0xE7, 0xFF, 0xFF);

QImage balloonPicture()
{
    QImage picture(QStringLiteral(":/images/Fumetto.svg"));
    if (picture.isNull()) {
        // Without its picture the balloon is a plain rounded box, still readable.
        picture = QImage(kPictureSize, QImage::Format_RGB32);
        picture.fill(kCutColour);
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setBrush(QColor(kTextBackground));
        painter.setPen(QColor(0x34, 0x49, 0x5e));
        painter.drawRect(QRect(QPoint(0, 0), kPictureSize).adjusted(0, 0, -1, -1));
    }
    return picture.convertToFormat(QImage::Format_RGB32);
}

// Every pixel but pure red belongs to the window, collected as one rectangle per run.
QRegion shapeOf(const QImage& picture)
{
    QRegion region;
    for (int y = 0; y < picture.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
        int x = 0;
        while (x < picture.width()) {
            while (x < picture.width() && (row[x] & RGB_MASK) == (kCutColour & RGB_MASK))
                ++x;
            const int start = x;
            while (x < picture.width() && (row[x] & RGB_MASK) != (kCutColour & RGB_MASK))
                ++x;
            if (x > start)
                region += QRect(start, y, x - start, 1);
        }
    }
    return region;
}

} // namespace

TrayBalloon::TrayBalloon(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::WindowDoesNotAcceptFocus),
      m_picture(balloonPicture())
{
    setObjectName(QStringLiteral("TrayBalloon"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    setFixedSize(m_picture.size());
    setMask(shapeOf(m_picture));
    m_close = new SkinButton(2, this);
    m_close->setObjectName(QStringLiteral("BalloonClose"));
    m_close->loadBitmaps(QStringLiteral("267"), QStringLiteral("266"), QStringLiteral("266"),
                         QStringLiteral("267"));
    m_close->setFocusPolicy(Qt::NoFocus);
    m_close->setGeometry(width() - 25, 5, 17, 17);
    connect(m_close, &SkinButton::clicked, this, &TrayBalloon::close);
    m_timer.setSingleShot(true);
    m_timer.setInterval(kShowMs);
    connect(&m_timer, &QTimer::timeout, this, &TrayBalloon::close);
}

QPoint TrayBalloon::placement(const QRect& icon, const QRect& screen, const QSize& size)
{
    QPoint at;
    if (icon.isEmpty()) {
        at = QPoint(screen.right() + 1 - 330, screen.bottom() + 1 - kHeightAbove);
    } else {
        at = QPoint(icon.center().x() - kTailX, icon.top() - kHeightAbove);
        // A tray at the top of the screen has no room above its icons.
        if (at.y() < screen.top())
            at.setY(icon.bottom() + 1);
    }
    at.setX(std::clamp(at.x(), screen.left(),
                       std::max(screen.left(), screen.right() + 1 - size.width())));
    at.setY(std::clamp(at.y(), screen.top(),
                       std::max(screen.top(), screen.bottom() + 1 - size.height())));
    return at;
}

void TrayBalloon::showNear(const QRect& icon, const QRect& screen, const QString& text)
{
    m_text = text;
    move(placement(icon, screen, size()));
    show();
    raise();
    update();
    m_timer.start();
}

void TrayBalloon::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(0, 0, m_picture);
    painter.setPen(Qt::black);
    painter.drawText(QRect(QPoint(40, 10), QPoint(width() - 15, height())),
                     Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, m_text);
}
