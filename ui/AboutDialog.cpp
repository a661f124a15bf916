#include "ui/AboutDialog.h"

#include "res/StringTable.h"
#include "ui/SkinStatic.h"

#include <QIcon>
#include <QPainter>
#include <QPushButton>
#include <QSvgRenderer>

namespace {

constexpr int kTextLeft = 26;
constexpr int kTextWidth = 330;
constexpr int kTextTop = 138;
constexpr int kLineHeight = 18;

} // namespace

AboutDialog::AboutDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("AboutDialog"));
    setModal(true);
    setFixedSize(kWidth, kHeight);
    setWindowTitle(StringTable::text(367));
    setWindowIcon(QIcon(QStringLiteral(":/images/128.svg")));

    addLabel(StringTable::text(354), kTextTop, true);
    m_version = addLabel(versionText(PARLUNE_VERSION_MAJOR, PARLUNE_VERSION_MINOR,
                                     PARLUNE_VERSION_PATCH, kBuildNumber),
                         kTextTop + kLineHeight);
    m_version->setObjectName(QStringLiteral("1192"));
    addLabel(StringTable::text(620), kTextTop + 2 * kLineHeight);

    m_close = new QPushButton(StringTable::text(175), this);
    m_close->setObjectName(QStringLiteral("1"));
    m_close->setDefault(true);
    m_close->setAutoDefault(true);
    m_close->setCursor(Qt::PointingHandCursor);
    // A light button of its own, so that it reads on the dark picture in every desktop style.
    m_close->setStyleSheet(QStringLiteral(
        "QPushButton { color: #1d5fb3; background: #fdfeff; border: 1px solid #cfe2f8;"
        " border-radius: 13px; padding: 0 14px; font-family: Tahoma; font-size: 9pt;"
        " font-weight: bold; }"
        "QPushButton:hover { background: #e3effc; }"
        "QPushButton:pressed { background: #c4dffb; }"
        "QPushButton:focus { border: 2px solid #8db9ea; }"));
    m_close->setGeometry(kWidth - 26 - 92, kHeight - 16 - 26, 92, 26);
    connect(m_close, &QPushButton::clicked, this, &QDialog::accept);
    m_close->setFocus();
}

QString AboutDialog::versionText(int major, int minor, int patch, int build)
{
    QString text = QString::asprintf("%s %d.%d.%d.%d", StringTable::text(419).toUtf8().constData(),
                                     major, minor, patch, build);
    return text.remove(QLatin1Char(':'));
}

void AboutDialog::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QSvgRenderer picture(QStringLiteral(":/images/293.svg"));
    if (picture.isValid())
        picture.render(&painter, QRectF(rect()));
    else
        painter.fillRect(rect(), QColor(0x1d, 0x5f, 0xb3));
}

SkinStatic* AboutDialog::addLabel(const QString& text, int y, bool bold)
{
    auto* label = new SkinStatic(text, this);
    label->setFont(QStringLiteral("Tahoma"), 9, bold);
    label->setTextColor(Qt::white);
    label->setTransparent(true);
    label->setAlignment(SkinStatic::Left);
    label->setSingleLine(true);
    label->setGeometry(kTextLeft, y, kTextWidth, kLineHeight);
    return label;
}
