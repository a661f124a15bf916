#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

/// A text label that draws itself: its own font, text and background colours, an optional
/// white rounded box or a transparent background, and either word-wrapped text or one line
/// centred vertically.
class SkinStatic : public QWidget {
    Q_OBJECT
public:
    /// Horizontal placement of the text.
    enum Alignment { Left = 0, Centre = 1, Right = 2 };

    /// A label with "Tahoma" 12 points, window-text colour on the button-face colour.
    explicit SkinStatic(QWidget* parent = nullptr);
    /// A label showing `text`.
    SkinStatic(const QString& text, QWidget* parent);

    QString text() const { return m_text; }
    /// Sets the text and redraws.
    void setText(const QString& text);

    QColor textColor() const { return m_textColor; }
    /// Sets the text colour and redraws.
    void setTextColor(const QColor& color);

    QColor backgroundColor() const { return m_backgroundColor; }
    /// Sets the fill used when the label is neither transparent nor rounded.
    void setBackgroundColor(const QColor& color);

    using QWidget::setFont;
    /// Sets the font; a point size of 0 or below keeps the current size.
    void setFont(const QString& face, int pointSize, bool bold = false, bool italic = false);

    Alignment alignment() const { return m_alignment; }
    void setAlignment(Alignment alignment);

    bool singleLine() const { return m_singleLine; }
    /// True: one line centred vertically; false: word-wrapped from the top.
    void setSingleLine(bool singleLine);

    bool isTransparent() const { return m_transparent; }
    /// A transparent label draws its text only; the parent shows through. Redraws.
    void setTransparent(bool transparent);

    bool isRounded() const { return m_rounded; }
    /// A rounded label paints a white rounded box behind its text.
    void setRounded(bool rounded);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    QColor m_textColor;
    QColor m_backgroundColor;
    Alignment m_alignment = Left;
    bool m_singleLine = false;
    bool m_transparent = false;
    bool m_rounded = false;
};
