// The switch-array widget on the offscreen platform: presses, repaints and what it draws.
#include "widgets/Switch.h"

#include <QAccessible>
#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

// Counts the paint events it receives and keeps the last one's region.
class CountingSwitchArray : public TSwitchArray {
public:
    using TSwitchArray::TSwitchArray;
    int paints = 0;
    QRegion painted;

protected:
    void paintEvent(QPaintEvent* e) override {
        ++paints;
        painted = e->region();
        TSwitchArray::paintEvent(e);
    }
};

QStringList Breakers(int n) {
    QStringList list;
    for (int i = 1; i <= n; ++i)
        list << QStringLiteral("Breaker %1,toggle,%1").arg(i);
    return list;
}

class SwitchArrayTest : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<QWidget>();
        window->resize(600, 320);
        array = new CountingSwitchArray(window.get());
        array->setObjectName("SwitchArray1");
        array->SetReporter([this](const QString& m) { messages << m; });
        array->SetSwitches(Breakers(8));
        array->SetSwitchesPerLine(8);
        array->SetRowFirst(true);
        array->SetDesignationOrientation(TSwitchArray::StVertical);
        array->SetHGap(24);
        array->SetVGap(20);
        array->SetIDSize(20);
        array->SetIDMove(0);
        array->setGeometry(48, 176, 473, 105);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get(), 5000));
        QApplication::processEvents();
    }

    void Press(Qt::MouseButton button, QPoint at, Qt::KeyboardModifiers mods = {}) {
        QTest::mousePress(array, button, mods, at);
        QTest::mouseRelease(array, button, mods, at);
    }

    QImage Render() {
        QImage image(array->size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        array->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        return image;
    }

    std::unique_ptr<QWidget> window;
    CountingSwitchArray* array = nullptr;
    QStringList messages;
};

QImage Picture(const QString& name) {
    return QImage(":/" + name, "BMP").convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// The number of pixels of image in rect that differ from picture.
int Differences(const QImage& image, QPoint at, const QImage& picture) {
    int diff = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            diff += image.pixel(at.x() + x, at.y() + y) != picture.pixel(x, y);
    return diff;
}

// The bounding box of the non-transparent pixels of image within rect.
QRect Inked(const QImage& image, QRect rect) {
    QRect box;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            if (qAlpha(image.pixel(x, y)) != 0)
                box |= QRect(x, y, 1, 1);
    return box;
}

} // namespace

TEST_F(SwitchArrayTest, LeftPressReportsThePositionOnly) {
    QSignalSpy spy(array, &TSwitchArray::OnSwitch);
    Press(Qt::LeftButton, {25 + 3 * 56, 10});
    ASSERT_EQ(spy.size(), 1);
    EXPECT_EQ(spy[0][0].value<quint16>(), 3);
    Press(Qt::LeftButton, {55, 63}, Qt::ShiftModifier | Qt::AltModifier);
    ASSERT_EQ(spy.size(), 2);
    EXPECT_EQ(spy[1][0].value<quint16>(), 0);
    Press(Qt::RightButton, {30, 30});
    Press(Qt::MiddleButton, {30, 30});
    Press(Qt::LeftButton, {24, 30}); // left edge
    Press(Qt::LeftButton, {30, 0});  // top edge
    Press(Qt::LeftButton, {70, 30}); // gap, where switch 1's text stands
    Press(Qt::LeftButton, {30, 90}); // below the cells
    EXPECT_EQ(spy.size(), 2);
    EXPECT_EQ(array->GetSwitch(3), 0); // a press changes no state
}

TEST_F(SwitchArrayTest, CtrlClickNeedsControl) {
    QSignalSpy spy(array, &TSwitchArray::OnSwitch);
    Press(Qt::LeftButton, {30, 30}, Qt::ControlModifier);
    EXPECT_EQ(spy.size(), 1);
    array->SetCtrlClick(true);
    Press(Qt::LeftButton, {30, 30});
    EXPECT_EQ(spy.size(), 1);
    Press(Qt::LeftButton, {90, 30}, Qt::ControlModifier);
    ASSERT_EQ(spy.size(), 2);
    EXPECT_EQ(spy[1][0].value<quint16>(), 1);
    Press(Qt::RightButton, {90, 30}, Qt::ControlModifier);
    EXPECT_EQ(spy.size(), 2);
}

TEST_F(SwitchArrayTest, DoubleClickReportsTwice) {
    QSignalSpy spy(array, &TSwitchArray::OnSwitch);
    array->Switch(2, true);
    // Through the window, so that the platform makes the second press a double click.
    QWindow* handle = window->windowHandle();
    ASSERT_NE(handle, nullptr);
    const QPoint at = array->mapTo(window.get(), QPoint(140, 20));
    QTest::mouseDClick(handle, Qt::LeftButton, {}, at);
    ASSERT_EQ(spy.size(), 2);
    EXPECT_EQ(spy[0][0].value<quint16>(), 2);
    EXPECT_EQ(spy[1][0].value<quint16>(), 2);
    EXPECT_EQ(array->GetSwitch(2), 2);
}

TEST_F(SwitchArrayTest, SwitchRepaintsAtOnceOnlyOnAChangeAndOnlyItsCell) {
    const int before = array->paints;
    array->Switch(0, true);
    EXPECT_EQ(array->paints, before + 1); // painted within the call
    EXPECT_EQ(array->painted, QRegion(array->SwitchRect(0)));
    array->Switch(0, true);
    array->Switch(8, false);
    QApplication::processEvents();
    EXPECT_EQ(array->paints, before + 1);
    array->Switch(0, false);
    EXPECT_EQ(array->paints, before + 2);
    EXPECT_EQ(array->GetSwitch(0), 1);
    array->Switch(7, true);
    EXPECT_EQ(array->painted, QRegion(array->SwitchRect(7)));
    array->Switch(7, false);
    // A press repaints nothing either.
    Press(Qt::LeftButton, {30, 30});
    QApplication::processEvents();
    EXPECT_EQ(array->paints, before + 4);
}

TEST_F(SwitchArrayTest, DrawsThePictureOfEachStateInEachCell) {
    array->Switch(0, true);
    array->Switch(1, false);
    array->Switch(3, true);
    array->Switch(3, false);
    array->Switch(5, true);
    const QImage image = Render();
    const QImage on = Picture("SWITCH1ON"), off = Picture("SWITCH1OFF"),
                 udef = Picture("SWITCH1UDEF");
    const QImage* expected[] = {&on, &off, &udef, &off, &udef, &on, &udef, &udef};
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(Differences(image, {24 + 56 * k, 0}, *expected[k]), 0) << k;
    // No background: the parent shows through outside pictures and texts.
    EXPECT_EQ(qAlpha(image.pixel(2, 100)), 0);
    EXPECT_EQ(qAlpha(image.pixel(460, 30)), 0);
}

TEST_F(SwitchArrayTest, VerticalTextRunsDownLeftOfItsPicture) {
    const QImage image = Render();
    // Switch 2's text stands in the gap between cells 1 and 2: x 56..79.
    const QRect text = Inked(image, QRect(56, 0, 24, 105));
    ASSERT_TRUE(text.isValid());
    EXPECT_LE(text.right(), 79);
    EXPECT_GE(text.top(), 0);
    EXPECT_LT(text.top(), 4);                   // starts level with the picture's top
    EXPECT_GT(text.height(), 3 * text.width()); // runs downward
    EXPECT_GT(text.right(), 79 - text.width()); // hugs the anchor
    // Clockwise: the first letter "B" is at the top. Its stem, the left edge of the upright
    // letter, lies at the top of the text's ink.
    int stemRow = 0;
    for (int x = text.left(); x <= text.right(); ++x)
        stemRow += qAlpha(image.pixel(x, text.top())) != 0;
    EXPECT_GE(stemRow, text.width() / 2);
}

TEST_F(SwitchArrayTest, HorizontalTextStandsBelowItsPicture) {
    array->SetDesignationOrientation(TSwitchArray::StHorizontal);
    array->SetIDMove(5);
    array->resize(473, 105);
    const QImage image = Render();
    EXPECT_FALSE(Inked(image, QRect(0, 64, 473, 5)).isValid()); // IDMove keeps 64..68 free
    const QRect text = Inked(image, QRect(24, 69, 56, 36));
    ASSERT_TRUE(text.isValid());
    EXPECT_GE(text.left(), 24);
    EXPECT_LT(text.left(), 28);
    EXPECT_GT(text.width(), 2 * text.height()); // runs across
    EXPECT_FALSE(Inked(image, QRect(0, 0, 24, 105)).isValid());
}

TEST_F(SwitchArrayTest, SmallSwitchesUseTheSmallPictures) {
    array->SetSwitches({"A,toggle,1", "B,rocker,2", "C,redpush,3", "D,redgreenpush,4"});
    array->SetSmallSwitches(true);
    array->SetSwitchesPerLine(2);
    array->SetRowFirst(false);
    for (quint16 k = 0; k < 4; ++k)
        array->Switch(k, k % 2 == 0);
    const QImage image = Render();
    // Column first: (0,0) (0,1) (1,0) (1,1); cells 16 x 32, left 24 + col * 40, top row * 52.
    EXPECT_EQ(Differences(image, {24, 0}, Picture("SMSW1ON")), 0);
    EXPECT_EQ(Differences(image, {24, 52}, Picture("SMSW2OFF")), 0);
    EXPECT_EQ(Differences(image, {64, 0}, Picture("SMSW3ON")), 0);
    EXPECT_EQ(Differences(image, {64, 52}, Picture("SMSW4OFF")), 0);
    QSignalSpy spy(array, &TSwitchArray::OnSwitch);
    Press(Qt::LeftButton, {65, 53});
    Press(Qt::LeftButton, {40, 53}); // right edge of a small cell
    ASSERT_EQ(spy.size(), 1);
    EXPECT_EQ(spy[0][0].value<quint16>(), 3);
}

TEST_F(SwitchArrayTest, BadDescriptionDrawsNothingButPressesStillCount) {
    array->SetSwitches({"Breaker 1,toggle,1", "Breaker 2, toggle,2", "Breaker 3,toggle,3"});
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0], "Invalid information in SwitchInfoArray: Breaker 2, toggle,2");
    EXPECT_EQ(array->GetNumberOfSwitches(), 3);
    array->Switch(0, true);
    const QImage image = Render();
    EXPECT_FALSE(Inked(image, image.rect()).isValid());
    QSignalSpy spy(array, &TSwitchArray::OnSwitch);
    Press(Qt::LeftButton, {25 + 2 * 56, 5});
    ASSERT_EQ(spy.size(), 1);
    EXPECT_EQ(spy[0][0].value<quint16>(), 2);
    // A good list draws again.
    array->SetSwitches(Breakers(2));
    EXPECT_TRUE(Inked(Render(), QRect(24, 0, 32, 64)).isValid());
}

TEST_F(SwitchArrayTest, EmptyListDrawsNothingAndReportsNothing) {
    array->SetSwitches({});
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(array->GetNumberOfSwitches(), 0);
    EXPECT_FALSE(Inked(Render(), QRect(0, 0, 473, 105)).isValid());
    QSignalSpy spy(array, &TSwitchArray::OnSwitch);
    Press(Qt::LeftButton, {30, 30});
    EXPECT_EQ(spy.size(), 0);
}

TEST_F(SwitchArrayTest, EditingTheListInPlaceRebuilds) {
    array->Switch(0, true);
    array->Model().Switches().Add("Breaker 9,rocker,9");
    EXPECT_EQ(array->GetNumberOfSwitches(), 9);
    EXPECT_EQ(array->GetSwitch(0), 0);
    EXPECT_EQ(array->Switches().last(), "Breaker 9,rocker,9");
    EXPECT_EQ(array->GetStatusDataPointer()[8].Kind, 1);
}

TEST_F(SwitchArrayTest, KeysMoveBetweenSwitchesAndPressAsALeftPressDoes) {
    QSignalSpy spy(array, &TSwitchArray::OnSwitch);
    array->setFocus(Qt::TabFocusReason);
    for (Qt::Key key : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Right, Qt::Key_Up, Qt::Key_Space})
        QTest::keyClick(array, key); // the edges hold; Up finds no row above
    QKeyEvent held(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ", true);
    QApplication::sendEvent(array, &held); // a held key repeats nothing
    QTest::keyClick(array, Qt::Key_Return);
    ASSERT_EQ(spy.size(), 2);
    EXPECT_EQ(spy[0][0].value<quint16>(), 2);
    EXPECT_EQ(spy[1][0].value<quint16>(), 2);
    EXPECT_EQ(array->GetSwitch(2), 0); // a key changes no state either
    const QImage image = Render();     // the mark: a bar under switch 3 only
    EXPECT_TRUE(Inked(image, QRect(136, 65, 32, 3)).isValid());
    EXPECT_FALSE(Inked(image, QRect(24, 65, 32, 3)).isValid());
    array->SetCtrlClick(true);
    QTest::keyClick(array, Qt::Key_End);
    QTest::keyClick(array, Qt::Key_Space);
    QTest::keyClick(array, Qt::Key_Space, Qt::ControlModifier);
    ASSERT_EQ(spy.size(), 3);
    EXPECT_EQ(spy[2][0].value<quint16>(), 7);
}

// Name, press action and "checked" are read end to end through AT-SPI; here what it does not
// reach: an undefined switch, and where each switch lies.
TEST_F(SwitchArrayTest, AScreenReaderFindsACheckBoxPerSwitch) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(array);
    ASSERT_EQ(iface->childCount(), 8);
    QAccessibleInterface* five = iface->child(4);
    EXPECT_EQ(five->role(), QAccessible::CheckBox);
    EXPECT_EQ(iface->indexOfChild(five), 4);
    EXPECT_TRUE(five->state().checkStateMixed && !five->state().checked);
    array->Switch(4, false);
    EXPECT_FALSE(five->state().checkStateMixed);
    EXPECT_EQ(five->rect(), QRect(array->mapToGlobal(QPoint(248, 0)), QSize(32, 64)));
    EXPECT_EQ(iface->childAt(five->rect().center().x(), five->rect().center().y()), five);
}

TEST_F(SwitchArrayTest, AScreenScaledTwiceShowsTheTwiceSizePictures) {
    array->Switch(1, true);
    QImage image(array->size() * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(Qt::transparent);
    array->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    EXPECT_EQ(Differences(image, {2 * 80, 0}, Picture("SWITCH1ON@2x")), 0);
    EXPECT_EQ(Differences(image, {2 * 24, 0}, Picture("SWITCH1UDEF@2x")), 0);
}
