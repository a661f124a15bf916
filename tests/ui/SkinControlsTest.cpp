#include "tests/support/TestEnvironment.h"
#include "ui/LevelMeter.h"
#include "ui/PositionBar.h"
#include "ui/SkinButton.h"

#include <QApplication>
#include <QCursor>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>

#include <gtest/gtest.h>

#include <tuple>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

const QColor Backdrop(0x20, 0x40, 0x60);

// Straight to the widget, as a widget holding the mouse grab receives it wherever the
// pointer is; moves carry the held button.
void mouse(QWidget* widget, QEvent::Type type, QPoint pos, Qt::MouseButton button = Qt::LeftButton)
{
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, QPointF(pos), widget->mapToGlobal(QPointF(pos)),
                      type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void click(QWidget* widget, QPoint pos)
{
    mouse(widget, QEvent::MouseButtonPress, pos);
    mouse(widget, QEvent::MouseButtonRelease, pos);
}

// A window and a child render to different formats; the backdrop makes every pixel opaque.
QImage look(QWidget* widget)
{
    return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Steps the repeat timer through a hold instead of waiting for the clock.
class SteppedButton : public SkinButton {
public:
    using SkinButton::pendingRepeatDelay;
    using SkinButton::repeatTimerFired;
    using SkinButton::SkinButton;
};

// When, in milliseconds after the press, each repeat of a hold of `heldMs` goes out.
std::vector<int> repeatTimes(SteppedButton& button, int heldMs)
{
    int now = 0;
    std::vector<int> times;
    const auto connection = QObject::connect(&button, &SkinButton::repeated, &button,
                                             [&](int) { times.push_back(now); });
    mouse(&button, QEvent::MouseButtonPress, QPoint(5, 5));
    while (button.pendingRepeatDelay() >= 0 && now + button.pendingRepeatDelay() <= heldMs) {
        now += button.pendingRepeatDelay();
        button.repeatTimerFired();
    }
    mouse(&button, QEvent::MouseButtonRelease, QPoint(5, 5));
    QObject::disconnect(connection);
    return times;
}

TEST(SkinControlsButtonTest, HoldRepeatsAtThePressAfterOneAndAHalfSecondsThenEveryTenth)
{
    SteppedButton button(1031);
    button.resize(20, 20);
    button.setRepeat(true);
    QSignalSpy clicks(&button, &SkinButton::clicked);

    EXPECT_EQ(repeatTimes(button, 1950), std::vector<int>({0, 1500, 1600, 1700, 1800, 1900}));
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(repeatTimes(button, 1499), std::vector<int>({0}));
    EXPECT_EQ(repeatTimes(button, 1500), std::vector<int>({0, 1500}));

    // Released: nothing is pending, and a late tick of the timer sends nothing.
    QSignalSpy repeats(&button, &SkinButton::repeated);
    EXPECT_EQ(button.pendingRepeatDelay(), -1);
    button.repeatTimerFired();
    EXPECT_EQ(repeats.count(), 0);
}

TEST(SkinControlsButtonTest, RepeatsOnlyWhenOnAndOnlyForTheLeftButtonAndDoubleClicks)
{
    SteppedButton button(1032);
    button.resize(20, 20);
    QSignalSpy repeats(&button, &SkinButton::repeated);
    click(&button, QPoint(5, 5));
    EXPECT_EQ(repeats.count(), 0);
    EXPECT_EQ(button.pendingRepeatDelay(), -1);

    button.setRepeat(true);
    mouse(&button, QEvent::MouseButtonPress, QPoint(5, 5), Qt::RightButton);
    EXPECT_EQ(repeats.count(), 0);
    EXPECT_EQ(button.pendingRepeatDelay(), -1);
    mouse(&button, QEvent::MouseButtonRelease, QPoint(5, 5), Qt::RightButton);

    // The second press of a double-click arrives as a double-click event.
    click(&button, QPoint(5, 5));
    mouse(&button, QEvent::MouseButtonDblClick, QPoint(5, 5));
    mouse(&button, QEvent::MouseButtonRelease, QPoint(5, 5));
    ASSERT_EQ(repeats.count(), 2);
    EXPECT_EQ(repeats.at(1).at(0).toInt(), 1032);
}

TEST(SkinControlsButtonTest, DisablingOrTurningRepeatOffEndsTheHold)
{
    SteppedButton button(1031);
    button.resize(20, 20);
    button.setRepeat(true);
    mouse(&button, QEvent::MouseButtonPress, QPoint(5, 5));
    EXPECT_EQ(button.pendingRepeatDelay(), SkinButton::repeatDelay(1));
    button.setRepeat(false);
    EXPECT_EQ(button.pendingRepeatDelay(), -1);
    mouse(&button, QEvent::MouseButtonRelease, QPoint(5, 5));

    // A receiver that disables the button at a repeat gets no release afterwards, so the
    // hold must end there.
    button.setRepeat(true);
    QObject::connect(&button, &SkinButton::repeated, &button,
                     [&button] { button.setEnabled(false); });
    mouse(&button, QEvent::MouseButtonPress, QPoint(5, 5));
    EXPECT_FALSE(button.isEnabled());
    EXPECT_EQ(button.pendingRepeatDelay(), -1);
}

// Skinned buttons in a window, made of the PLAYREC pictures with some states left out.
class SkinControlsButtonLookTest : public ::testing::Test {
protected:
    SkinButton* makeButton(const QString& up, const QString& down, const QString& focus,
                           const QString& disabled)
    {
        auto* button = new SkinButton(1022, &window);
        EXPECT_TRUE(button->loadBitmaps(up, down, focus, disabled));
        button->setBackgroundColor(Backdrop);
        button->fit();
        return button;
    }

    // What a button of the same size shows when `name` is its only picture.
    static QImage lookOf(const SkinButton& like, const QString& name)
    {
        SkinButton reference(0);
        reference.loadBitmaps(name, name, name, name);
        reference.setBackgroundColor(Backdrop);
        reference.setBorder(like.border());
        reference.resize(like.size());
        return look(&reference);
    }

    static bool shows(SkinButton* button, const QString& name)
    {
        return look(button) == lookOf(*button, name);
    }

    static void enter(SkinButton* button)
    {
        QEnterEvent event(QPointF(1, 1), QPointF(1, 1), button->mapToGlobal(QPointF(1, 1)));
        QApplication::sendEvent(button, &event);
    }

    static void leave(SkinButton* button)
    {
        QEvent event(QEvent::Leave);
        QApplication::sendEvent(button, &event);
    }

    const QString upPicture = u"PLAYRECU"_s;
    const QString downPicture = u"PLAYRECD"_s;
    const QString focusPicture = u"PLAYRECF"_s;
    const QString disabledPicture = u"PLAYRECX"_s;
    QWidget window;
};

TEST_F(SkinControlsButtonLookTest, PressedOrHoveredShowsTheDownPictureOrTheUpOneWithoutIt)
{
    SkinButton* full = makeButton(upPicture, downPicture, focusPicture, disabledPicture);
    SkinButton* noDown = makeButton(upPicture, QString(), focusPicture, disabledPicture);
    const QImage upLook = lookOf(*full, upPicture);
    ASSERT_NE(upLook, lookOf(*full, downPicture));
    ASSERT_NE(upLook, lookOf(*full, focusPicture));
    ASSERT_NE(upLook, lookOf(*full, disabledPicture));

    EXPECT_TRUE(shows(full, upPicture));
    enter(full);
    EXPECT_TRUE(full->isHovering());
    EXPECT_TRUE(shows(full, downPicture));
    leave(full);
    EXPECT_TRUE(shows(full, upPicture));
    full->setDown(true);
    EXPECT_TRUE(shows(full, downPicture));

    enter(noDown);
    EXPECT_TRUE(shows(noDown, upPicture));
    leave(noDown);
    noDown->setDown(true);
    EXPECT_TRUE(shows(noDown, upPicture));
}

TEST_F(SkinControlsButtonLookTest, FocusComesAfterDownAndDisabledAfterFocus)
{
    SkinButton* full = makeButton(upPicture, downPicture, focusPicture, disabledPicture);
    SkinButton* noFocus = makeButton(upPicture, downPicture, QString(), disabledPicture);
    SkinButton* noDisabled = makeButton(upPicture, downPicture, focusPicture, QString());
    noFocus->move(0, 60);
    noDisabled->move(0, 120);
    // Away from the mouse, which would otherwise hover a button.
    window.move(QCursor::pos() + QPoint(100, 100));
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    ASSERT_FALSE(full->isHovering());

    full->setFocus();
    ASSERT_TRUE(full->hasFocus());
    EXPECT_TRUE(shows(full, focusPicture));
    full->setDown(true);
    EXPECT_TRUE(shows(full, downPicture));
    full->setDown(false);
    noFocus->setFocus();
    ASSERT_TRUE(noFocus->hasFocus());
    EXPECT_TRUE(shows(noFocus, upPicture));

    full->setEnabled(false);
    EXPECT_TRUE(shows(full, disabledPicture));
    // A disabled button does not take the hover look.
    enter(full);
    EXPECT_TRUE(shows(full, disabledPicture));
    noDisabled->setEnabled(false);
    EXPECT_TRUE(shows(noDisabled, upPicture));
}

TEST_F(SkinControlsButtonLookTest, FitSizesToPicturePlusBorderWhichIsTwoWhenNegative)
{
    SkinButton* button = makeButton(upPicture, downPicture, focusPicture, disabledPicture);
    const QSize picture = SkinButton::loadImage(upPicture).deviceIndependentSize().toSize();
    ASSERT_FALSE(picture.isEmpty());
    EXPECT_EQ(button->size(), picture + QSize(2, 2));

    button->move(30, 40);
    button->setBorder(8);
    button->fit();
    EXPECT_EQ(button->geometry(), QRect(QPoint(30, 40), picture + QSize(8, 8)));
    button->setBorder(0);
    button->fit();
    EXPECT_EQ(button->size(), picture);
    button->setBorder(-5);
    EXPECT_EQ(button->border(), 2);
    button->fit();
    EXPECT_EQ(button->geometry(), QRect(QPoint(30, 40), picture + QSize(2, 2)));
}

TEST_F(SkinControlsButtonLookTest, MaskColourPixelsShowTheBackgroundAroundAPictureHalfABorderIn)
{
    // The first opaque colour of the picture serves as the mask; another one stays visible.
    const QImage picture = SkinButton::loadImage(upPicture).convertToFormat(QImage::Format_ARGB32);
    QPoint masked(-1, -1);
    QPoint ink(-1, -1);
    for (int y = 0; y < picture.height() && ink.x() < 0; ++y) {
        for (int x = 0; x < picture.width() && ink.x() < 0; ++x) {
            const QRgb pixel = picture.pixel(x, y);
            if (qAlpha(pixel) != 255)
                continue;
            if (masked.x() < 0)
                masked = QPoint(x, y);
            else if (pixel != picture.pixel(masked))
                ink = QPoint(x, y);
        }
    }
    ASSERT_GE(ink.x(), 0) << "the picture needs two opaque colours";

    SkinButton* button = makeButton(upPicture, downPicture, focusPicture, disabledPicture);
    button->setMaskColor(QColor::fromRgba(picture.pixel(masked)));
    EXPECT_TRUE(button->isTransparent());
    button->setBorder(8);
    button->fit();
    const QImage shown = look(button);
    EXPECT_EQ(shown.pixel(masked + QPoint(4, 4)), Backdrop.rgb());
    EXPECT_EQ(shown.pixel(ink + QPoint(4, 4)), picture.pixel(ink));
}

// A 200-pixel bar over a range of 0 to 1000, enabled as while a recording plays.
class SkinControlsPositionBarTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        bar.resize(200, 10);
        bar.setRange(0, 1000);
        bar.setEnabledBar(true);
    }

    PositionBar bar;
    QSignalSpy seeks{&bar, &PositionBar::seekRequested};
};

// The seek must go to the release point in range units, rounded, clamped to the bar (x 2 on
// the left); moves and the right button seek nothing.
TEST_F(SkinControlsPositionBarTest, ReleaseReportsThePositionUnderTheMouseInRangeUnits)
{
    struct Case {
        int maximum;
        QPoint release;
        int seek;
    };
    for (const Case& c :
         {Case{1000, {51, 5}, 255}, Case{1000, {200, 5}, 1000}, Case{10, {29, 5}, 1},
          Case{10, {30, 5}, 2}, Case{1000, {-30, 5}, 10}, Case{1000, {260, 12}, 1000}}) {
        bar.setRange(0, c.maximum);
        seeks.clear();
        mouse(&bar, QEvent::MouseButtonPress, QPoint(100, 5));
        mouse(&bar, QEvent::MouseMove, c.release);
        EXPECT_EQ(seeks.count(), 0);
        mouse(&bar, QEvent::MouseButtonRelease, c.release);
        EXPECT_FALSE(bar.isDragging());
        ASSERT_EQ(seeks.count(), 1);
        EXPECT_EQ(seeks.at(0).at(0).toInt(), c.seek) << c.release.x();
    }
    seeks.clear();
    mouse(&bar, QEvent::MouseButtonPress, QPoint(80, 5), Qt::RightButton);
    mouse(&bar, QEvent::MouseButtonRelease, QPoint(80, 5), Qt::RightButton);
    EXPECT_EQ(seeks.count(), 0);
}

TEST_F(SkinControlsPositionBarTest, OnlyAnEnabledBarDragsAndShowsTheTimeUnderTheMouse)
{
    EXPECT_EQ(bar.cursor().shape(), Qt::PointingHandCursor);
    bar.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar));
    mouse(&bar, QEvent::MouseButtonPress, QPoint(51, 5));
    EXPECT_TRUE(bar.isDragging());
    // 1000 x 51 / 200 = 255 seconds.
    EXPECT_TRUE(waitFor([] { return QToolTip::text() == u"04:15"_s; }));
    mouse(&bar, QEvent::MouseButtonRelease, QPoint(51, 5));
    EXPECT_TRUE(waitFor([] { return !QToolTip::isVisible(); }));

    // Disabled, the bar neither drags nor shows the time or a hand.
    bar.setEnabledBar(false);
    EXPECT_EQ(bar.cursor().shape(), Qt::ArrowCursor);
    mouse(&bar, QEvent::MouseButtonPress, QPoint(51, 5));
    EXPECT_FALSE(bar.isDragging());
    EXPECT_FALSE(QToolTip::isVisible());
    mouse(&bar, QEvent::MouseButtonRelease, QPoint(51, 5));
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// The meter at its size in the Recorder window.
class SkinControlsLevelMeterTest : public ::testing::Test {
protected:
    void SetUp() override { meter.resize(201, 17); }

    LevelMeter meter;
    QSignalSpy thresholds{&meter, &LevelMeter::thresholdChanged};
};

TEST_F(SkinControlsLevelMeterTest, LevelShowsTheNearestOfTwentySegments)
{
    const std::vector<std::pair<int, int>> cases = {{0, 0},      {819, 0}, {820, 1},   {16384, 10},
                                                    {32767, 20}, {-5, 0},  {40000, 20}};
    for (const auto& [value, segments] : cases) {
        meter.setLevel(value);
        EXPECT_EQ(meter.level(), segments) << "value " << value;
    }
}

TEST_F(SkinControlsLevelMeterTest, RedrawsOnlyWhenTheSegmentCountChanges)
{
    // The sentinel is repainted in the same pass as any pending update of the meter, so its
    // paint marks the moment by which the meter would have been painted too.
    QWidget window;
    auto* shown = new LevelMeter(&window);
    shown->resize(201, 17);
    auto* sentinel = new QWidget(&window);
    sentinel->setGeometry(0, 30, 10, 10);
    window.resize(210, 50);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    PaintCounter meterPaints(shown);
    PaintCounter sentinelPaints(sentinel);
    const auto settle = [&] {
        const int before = sentinelPaints.paints;
        sentinel->update();
        return waitFor([&] { return sentinelPaints.paints > before; });
    };
    ASSERT_TRUE(settle());
    meterPaints.paints = 0;

    shown->setLevel(300);
    ASSERT_TRUE(settle());
    EXPECT_EQ(meterPaints.paints, 0);
    shown->setLevel(16384);
    ASSERT_TRUE(settle());
    EXPECT_EQ(meterPaints.paints, 1);
    shown->setLevel(16000);
    ASSERT_TRUE(settle());
    EXPECT_EQ(meterPaints.paints, 1);
}

TEST_F(SkinControlsLevelMeterTest, MarkerSitsAtTheThresholdsShareOfTheWidthInsideTheBox)
{
    for (const auto& [threshold, low, high] :
         {std::tuple(16384, 101, 101), std::tuple(8192, 51, 51), std::tuple(0, 1, 2),
          std::tuple(32767, 198, 199)}) {
        meter.setThreshold(threshold);
        EXPECT_GE(meter.markerX(), low) << threshold;
        EXPECT_LE(meter.markerX(), high) << threshold;
    }
    meter.setThreshold(40000);
    EXPECT_EQ(meter.threshold(), 32767);
}

TEST_F(SkinControlsLevelMeterTest, DraggingTheMarkerReportsTheThresholdOnceOnRelease)
{
    meter.setThreshold(16384);
    mouse(&meter, QEvent::MouseButtonPress, QPoint(105, 8));
    ASSERT_TRUE(meter.isDragging());
    mouse(&meter, QEvent::MouseMove, QPoint(150, 8));
    // 32767 - (51 x 1000 / 201) x 32767 / 1000, in whole numbers.
    EXPECT_EQ(meter.threshold(), 24477);
    EXPECT_EQ(thresholds.count(), 0);
    mouse(&meter, QEvent::MouseButtonRelease, QPoint(51, 8));
    EXPECT_FALSE(meter.isDragging());
    mouse(&meter, QEvent::MouseButtonRelease, QPoint(60, 8));
    ASSERT_EQ(thresholds.count(), 1);
    EXPECT_EQ(thresholds.at(0).at(0).toInt(), 8323);
    EXPECT_EQ(meter.threshold(), 8323);

    // Released beyond the ends of the box: no threshold, or the full scale.
    mouse(&meter, QEvent::MouseButtonPress, QPoint(meter.markerX(), 8));
    mouse(&meter, QEvent::MouseButtonRelease, QPoint(-20, 8));
    mouse(&meter, QEvent::MouseButtonPress, QPoint(meter.markerX(), 8));
    mouse(&meter, QEvent::MouseButtonRelease, QPoint(400, 8));
    ASSERT_EQ(thresholds.count(), 3);
    EXPECT_EQ(thresholds.at(1).at(0).toInt(), 0);
    EXPECT_EQ(thresholds.at(2).at(0).toInt(), 32767);
}

TEST_F(SkinControlsLevelMeterTest, OnlyAPressNearTheMarkerGrabsItAndTheCursorShowsIt)
{
    meter.setThreshold(16384);
    mouse(&meter, QEvent::MouseMove, QPoint(104, 8), Qt::NoButton);
    EXPECT_EQ(meter.cursor().shape(), Qt::PointingHandCursor);
    mouse(&meter, QEvent::MouseMove, QPoint(130, 8), Qt::NoButton);
    EXPECT_EQ(meter.cursor().shape(), Qt::ArrowCursor);

    for (const QPoint& away : {QPoint(112, 8), QPoint(90, 8), QPoint(101, 20)}) {
        mouse(&meter, QEvent::MouseButtonPress, away);
        EXPECT_FALSE(meter.isDragging()) << away.x() << "," << away.y();
        mouse(&meter, QEvent::MouseButtonRelease, away);
    }
    EXPECT_EQ(thresholds.count(), 0);
    EXPECT_EQ(meter.threshold(), 16384);
}

} // namespace
