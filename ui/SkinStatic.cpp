#include "ui/SkinStatic.h"

#include <QFontMetrics>
#include <QPainter>

SkinStatic::SkinStatic(QWidget* parent) : SkinStatic(QString(), parent) {}

SkinStatic::SkinStatic(const QString& text, QWidget* parent)
    : QWidget(parent), m_text(text), m_textColor(palette().color(QPalette::WindowText)),
      m_backgroundColor(palette().color(QPalette::Button))
{
    setFont(QStringLiteral("Tahoma"), 12);
    // Painted text is invisible to screen readers unless it is the widget's name too.
    setAccessibleName(m_text);
}

void SkinStatic::setText(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    setAccessibleName(m_text);
    update();
}

void SkinStatic::setTextColor(const QColor& color)
{
    m_textColor = color;
    update();
}

void SkinStatic::setBackgroundColor(const QColor& color)
{
    m_backgroundColor = color;
    update();
}

void SkinStatic::setFont(const QString& face, int pointSize, bool bold, bool italic)
{
    QFont f(face);
    f.setPointSize(pointSize > 0 ? pointSize : font().pointSize());
    f.setBold(bold);
    f.setItalic(italic);
    QWidget::setFont(f);
    update();
}

void SkinStatic::setAlignment(Alignment alignment)
{
    m_alignment = alignment;
    update();
}

void SkinStatic::setSingleLine(bool singleLine)
{
    m_singleLine = singleLine;
    update();
}

void SkinStatic::setTransparent(bool transparent)
{
    m_transparent = transparent;
    update();
}

void SkinStatic::setRounded(bool rounded)
{
    m_rounded = rounded;
    update();
}

QSize SkinStatic::sizeHint() const
{
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(m_text) + 4, metrics.height() + 2};
}

void SkinStatic::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (!m_transparent) {
        if (m_rounded) {
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(Qt::NoPen);
            painter.setBrush(Qt::white);
            painter.drawRoundedRect(QRectF(rect()), 10, 10);
        } else {
            painter.fillRect(rect(), m_backgroundColor);
        }
    }
    int flags = 0;
    switch (m_alignment) {
    case Left:
        flags |= Qt::AlignLeft;
        break;
    case Centre:
        flags |= Qt::AlignHCenter;
        break;
    case Right:
        flags |= Qt::AlignRight;
        break;
    }
    flags |=
        m_singleLine ? (Qt::AlignVCenter | Qt::TextSingleLine) : (Qt::AlignTop | Qt::TextWordWrap);
    painter.setPen(m_textColor);
    painter.drawText(rect(), flags, m_text);
}
