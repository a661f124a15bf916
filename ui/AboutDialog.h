#pragma once

#include <QDialog>

class QPushButton;
class SkinStatic;

/// The About box: the product picture with the product's name, version and copyright in white
/// over it, and a Close button (also Esc). Modal over its parent.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    /// The picture's size, which is the dialog's.
    static constexpr int kWidth = 380;
    static constexpr int kHeight = 240;
    /// The build number of this program's version; no build counter feeds it yet.
    static constexpr int kBuildNumber = 0;

    explicit AboutDialog(QWidget* parent = nullptr);

    /// String 419 and the four version numbers as "%s %d.%d.%d.%d", with every ":" removed,
    /// e.g. "Version 1.2.3.4".
    static QString versionText(int major, int minor, int patch, int build);

    QPushButton* closeButton() const { return m_close; }
    SkinStatic* versionLabel() const { return m_version; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    SkinStatic* addLabel(const QString& text, int y, bool bold = false);

    QPushButton* m_close = nullptr;
    SkinStatic* m_version = nullptr;
};
