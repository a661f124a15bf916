#include "ui/TrayBalloon.h"

#include "tests/support/TestEnvironment.h"
#include "ui/SkinButton.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(TrayBalloonTest, SitsAboveTheIconWithItsTailOnItOrAtTheScreensCornerWithinTheScreen)
{
    const QRect screen(0, 0, 1024, 768);
    const QSize size(258, 68);
    struct Case {
        QRect icon;
        QPoint expected;
    };
    const Case cases[] = {
        {QRect(600, 744, 24, 24), QPoint(611 - 243, 744 - 70)}, // a tray at the bottom
        {QRect(600, 0, 24, 24), QPoint(611 - 243, 24)},         // at the top: below the icon
        {QRect(), QPoint(1024 - 330, 768 - 70)},                // the host tells nothing
        {QRect(40, 744, 24, 24), QPoint(0, 744 - 70)},          // kept inside on the left
    };
    for (const Case& c : cases)
        EXPECT_EQ(TrayBalloon::placement(c.icon, screen, size), c.expected) << c.icon.x();
}

TEST(TrayBalloonTest, ClosesByItselfAndAtItsButtonAndLeavesOutItsPicturesRed)
{
    TrayBalloon balloon;
    balloon.setShowMs(50);
    balloon.showNear(QRect(600, 744, 24, 24), QRect(0, 0, 1024, 768), QStringLiteral("Hint"));
    EXPECT_TRUE(balloon.isVisible());
    EXPECT_EQ(balloon.text(), QStringLiteral("Hint"));
    // The text area is the window's; the picture's corners outside the outline are not.
    EXPECT_TRUE(balloon.mask().contains(QPoint(60, 20)));
    EXPECT_FALSE(balloon.mask().contains(QPoint(0, balloon.height() - 1)));
    EXPECT_TRUE(waitFor([&] { return !balloon.isVisible(); }, 5000));

    balloon.setShowMs(TrayBalloon::kShowMs);
    balloon.showNear(QRect(), QRect(0, 0, 1024, 768), QStringLiteral("Hint"));
    QTest::mouseClick(balloon.closeButton(), Qt::LeftButton);
    EXPECT_FALSE(balloon.isVisible());
}

} // namespace
