// The breaker setup, power-on defaults, wigwag interval and waiting dialogs, driven as the
// user drives them, with a fake port recording what goes out.
#include "dialogs/Unit2.h"
#include "dialogs/Unit3.h"
#include "dialogs/Unit4.h"
#include "dialogs/Unit5.h"
#include "tests/gui/dialogs/DialogTestSupport.h"
#include "widgets/FindComponent.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QWheelEvent>

#include <memory>

using namespace orvik;
using namespace orvik::test;

namespace {

// Another window of the program, to take the focus from a dialog and give it back.
struct OtherWindow {
    QWidget window;
    OtherWindow() { window.resize(100, 50); }
    void TakeFocus() { EXPECT_TRUE(ShowActive(&window)); }
};

// Pretends the user went to another application and came back to `w`.
void ReturnFromOtherApplication(QWidget* w) {
    QEvent leave(QEvent::WindowDeactivate);
    QApplication::sendEvent(w, &leave);
    emit qGuiApp->focusWindowChanged(nullptr);
    emit qGuiApp->focusWindowChanged(w->windowHandle());
    QEvent back(QEvent::WindowActivate);
    QApplication::sendEvent(w, &back);
}

QComboBox* Box(QWidget* form, int n) {
    return FindComponent<QComboBox>(form, QStringLiteral("combobox%1").arg(n));
}

class BreakerSetupDialog : public ::testing::Test {
protected:
    Bench bench;
    std::unique_ptr<TForm4> form = std::make_unique<TForm4>(bench.link);
    void TearDown() override { form->hide(); }
};

TEST_F(BreakerSetupDialog, ShowsTheRecordAsComposedTextsAndSendsNothing) {
    auto& record = bench.link.BreakerSetupRecord;
    record.TripTime = {100, 150, 200, 5, 1, 11, 0, 255};
    record.TripCurrent = {0, 1000, 15, 11, 100, 65535, 1, 10};
    ASSERT_TRUE(ShowActive(form.get()));
    SavePicture(form.get(), "Form4");

    const char* times[] = {"10.0 seconds", "15.0 seconds", "20.0 seconds", "0.5 seconds",
                           "0.1 seconds",  "1.1 seconds",  "0.0 seconds",  "25.5 seconds"};
    const char* currents[] = {"0.0A", "100.0A", "1.5A", "1.1A", "10.0A", "6553.5A", "0.1A", "1.0A"};
    for (int row = 0; row < 8; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(Box(form.get(), 2 * row + 1)->currentText(), currents[row]);
        EXPECT_EQ(Box(form.get(), 2 * row + 2)->currentText(), times[row]);
        EXPECT_EQ(Box(form.get(), 2 * row + 1)->property("Tag").toInt(), row);
        EXPECT_EQ(Box(form.get(), 2 * row + 2)->property("Tag").toInt(), row);
    }
    // A text that names a list item selects it; any other selects none.
    EXPECT_EQ(Box(form.get(), 5)->currentIndex(), 11); // 1.5A
    EXPECT_EQ(Box(form.get(), 9)->currentIndex(), 22); // 10.0A
    EXPECT_EQ(Box(form.get(), 7)->currentIndex(), -1); // 1.1A
    EXPECT_EQ(Box(form.get(), 2)->currentIndex(), -1); // "10.0 seconds" is not "10 seconds"
    EXPECT_EQ(Box(form.get(), 8)->currentIndex(), 4);  // 0.5 seconds
    EXPECT_EQ(Box(form.get(), 1)->count(), 23);
    EXPECT_EQ(Box(form.get(), 2)->count(), 21);
    EXPECT_TRUE(bench.port.written.empty());
}

TEST_F(BreakerSetupDialog, ChoosingAnItemSendsItsCodeToTheSelectedNode) {
    bench.selected = 2;
    ASSERT_TRUE(ShowActive(form.get()));

    ChooseItem(Box(form.get(), 5), 22); // "10.0A", breaker 3
    ASSERT_EQ(bench.port.written.size(), 1u);
    Sent sent = Decode(bench.port.written[0]);
    EXPECT_EQ(sent.command, CMD_TRIP_CURRENT);
    EXPECT_EQ(sent.node, 1);
    EXPECT_EQ(sent.payload, (Bytes{2, 100, 0}));
    EXPECT_EQ(Box(form.get(), 5)->currentText(), "10.0A");

    bench.selected = 1;
    ChooseItem(Box(form.get(), 16), 20); // "20 seconds", breaker 8
    ASSERT_EQ(bench.port.written.size(), 2u);
    sent = Decode(bench.port.written[1]);
    EXPECT_EQ(sent.command, CMD_TRIP_TIME);
    EXPECT_EQ(sent.node, 0);
    EXPECT_EQ(sent.payload, (Bytes{7, 200}));
    // The record keeps the module's values: the choice lives only in the box.
    EXPECT_EQ(bench.link.BreakerSetupRecord.TripTime[7], 0);
}

TEST_F(BreakerSetupDialog, TypedTextThatChoosesNoItemSendsNothing) {
    bench.link.BreakerSetupRecord.TripCurrent[0] = 15;
    ASSERT_TRUE(ShowActive(form.get()));
    QComboBox* box = Box(form.get(), 1);
    ASSERT_EQ(box->currentIndex(), 11);
    box->setFocus();
    box->lineEdit()->selectAll();
    QTest::keyClicks(box->lineEdit(), "3.3A");
    QTest::keyClick(box->lineEdit(), Qt::Key_Return);
    box->lineEdit()->selectAll();
    QTest::keyClicks(box->lineEdit(), "fast");
    QTest::keyClick(box->lineEdit(), Qt::Key_Return);
    EXPECT_TRUE(bench.port.written.empty());
    EXPECT_EQ(box->count(), 23); // nothing typed becomes an item
}

TEST_F(BreakerSetupDialog, TheWheelChangesOnlyABoxThatHasTheFocus) {
    bench.link.BreakerSetupRecord.TripCurrent[2] = 25;
    ASSERT_TRUE(ShowActive(form.get()));
    auto wheel = [](QComboBox* box) { // one step towards the user, over the box
        const QPointF at(box->width() / 2.0, box->height() / 2.0);
        QWheelEvent e(at, box->mapToGlobal(at), {}, QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(box, &e);
    };
    Box(form.get(), 1)->setFocus();
    wheel(Box(form.get(), 5));
    wheel(Box(form.get(), 6));
    EXPECT_EQ(Box(form.get(), 5)->currentText(), "2.5A");
    EXPECT_TRUE(bench.port.written.empty());
    Box(form.get(), 5)->setFocus();
    wheel(Box(form.get(), 5));
    EXPECT_EQ(Box(form.get(), 5)->currentText(), "3.0A");
    ASSERT_EQ(bench.port.written.size(), 1u);
    EXPECT_EQ(Decode(bench.port.written[0]).payload, (Bytes{2, 30, 0}));
}

TEST_F(BreakerSetupDialog, RefillsWhenTheFocusComesBackFromTheProgramOnly) {
    bench.link.BreakerSetupRecord.TripCurrent[1] = 20;
    ASSERT_TRUE(ShowActive(form.get()));
    ChooseItem(Box(form.get(), 3), 0); // the user picks 0.1A
    ASSERT_EQ(Box(form.get(), 3)->currentText(), "0.1A");

    ReturnFromOtherApplication(form.get());
    EXPECT_EQ(Box(form.get(), 3)->currentText(), "0.1A");

    OtherWindow other;
    other.TakeFocus();
    ASSERT_TRUE(ShowActive(form.get()));
    EXPECT_EQ(Box(form.get(), 3)->currentText(), "2.0A");
    EXPECT_EQ(bench.port.written.size(), 1u); // the pick only
}

TEST_F(BreakerSetupDialog, TabGoesThroughTheBoxesInNumberOrderThenOk) {
    ASSERT_TRUE(ShowActive(form.get()));
    Box(form.get(), 1)->setFocus();
    for (int n = 2; n <= 16; ++n) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* focus = QApplication::focusWidget();
        ASSERT_TRUE(focus == Box(form.get(), n) || focus == Box(form.get(), n)->lineEdit())
            << n << " has " << (focus ? qPrintable(focus->objectName()) : "none");
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    auto* ok = qobject_cast<QPushButton*>(QApplication::focusWidget());
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), "OK");
}

class PowerOnDialog : public ::testing::Test {
protected:
    Bench bench;
    std::unique_ptr<TForm2> form = std::make_unique<TForm2>(bench.link);
    void TearDown() override { form->hide(); }
    QCheckBox* Check(int n) {
        return FindComponent<QCheckBox>(form.get(), QStringLiteral("CheckBox%1").arg(n));
    }
    void Click(int n) { QTest::mouseClick(Check(n), Qt::LeftButton, {}, QPoint(6, 8)); }
};

TEST_F(PowerOnDialog, OpeningShowsTheMaskAndSendsNothing) {
    bench.link.CurPowerOnMask = 5;
    ASSERT_TRUE(ShowActive(form.get()));
    SavePicture(form.get(), "Form2");
    for (int n = 1; n <= 8; ++n) {
        SCOPED_TRACE(n);
        const bool on = n == 1 || n == 3;
        EXPECT_EQ(Check(n)->text(),
                  QStringLiteral("Breaker %1 is %2").arg(n).arg(on ? "ON" : "OFF"));
        EXPECT_EQ(Check(n)->isChecked(), on);
        EXPECT_EQ(Check(n)->property("Tag").toInt(), n - 1);
    }
    form->hide();
    bench.link.CurPowerOnMask = 0x82; // a status frame changed it meanwhile
    ASSERT_TRUE(ShowActive(form.get()));
    EXPECT_TRUE(Check(2)->isChecked());
    EXPECT_TRUE(Check(8)->isChecked());
    EXPECT_FALSE(Check(1)->isChecked());
    EXPECT_EQ(Check(1)->text(), "Breaker 1 is OFF");
    EXPECT_TRUE(bench.port.written.empty());
    EXPECT_EQ(bench.link.CurPowerOnMask, 0x82);
}

TEST_F(PowerOnDialog, AClickSendsTheWholeMaskAndRenamesTheBox) {
    bench.selected = 4;
    bench.link.CurPowerOnMask = 5;
    ASSERT_TRUE(ShowActive(form.get()));
    Click(2);
    ASSERT_EQ(bench.port.written.size(), 1u);
    Sent sent = Decode(bench.port.written[0]);
    EXPECT_EQ(sent.command, CMD_POWER_ON_DEFAULTS);
    EXPECT_EQ(sent.node, 3);
    EXPECT_EQ(sent.payload, Bytes{7});
    EXPECT_EQ(bench.link.CurPowerOnMask, 7);
    EXPECT_EQ(Check(2)->text(), "Breaker 2 is ON");
    EXPECT_TRUE(Check(2)->isChecked());

    // Only breaker 3 on; clearing it sends an empty mask.
    bench.link.CurPowerOnMask = 4;
    OtherWindow other;
    other.TakeFocus();
    ASSERT_TRUE(ShowActive(form.get())); // back from the main window: refilled
    ASSERT_EQ(bench.port.written.size(), 1u);
    Click(3);
    ASSERT_EQ(bench.port.written.size(), 2u);
    EXPECT_EQ(Decode(bench.port.written[1]).payload, Bytes{0});
    EXPECT_EQ(Check(3)->text(), "Breaker 3 is OFF");
}

class WigwagDialog : public ::testing::Test {
protected:
    Bench bench;
    std::unique_ptr<TForm3> form = std::make_unique<TForm3>(bench.link);
    void TearDown() override { form->hide(); }
    QString Edit1() {
        return FindComponent<QLineEdit>(form.get(), QStringLiteral("Edit1"))->text();
    }
    QList<QRadioButton*> Items() {
        return FindComponent<QGroupBox>(form.get(), QStringLiteral("RadioGroup1"))
            ->findChildren<QRadioButton*>();
    }
    void Click(int item) {
        QRadioButton* b = Items().at(item);
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
    }
};

TEST_F(WigwagDialog, OpeningShowsTheIntervalAndSendsNothing) {
    bench.link.CurWigwagInterval = 25;
    ASSERT_TRUE(ShowActive(form.get()));
    SavePicture(form.get(), "Form3");
    EXPECT_EQ(Edit1(), "Current interval 2.5");
    ASSERT_EQ(Items().size(), 17);
    EXPECT_EQ(Items().front()->text(), "Never flash");
    EXPECT_EQ(Items().back()->text(), "5.0 seconds");
    for (QRadioButton* b : Items())
        EXPECT_FALSE(b->isChecked());
    EXPECT_TRUE(bench.port.written.empty());
}

TEST_F(WigwagDialog, AChoiceSendsItsCodeAndShowsIt) {
    bench.selected = 8;
    bench.link.CurWigwagInterval = 7;
    ASSERT_TRUE(ShowActive(form.get()));
    const struct {
        int item;
        std::uint8_t code;
        const char* text;
    } cases[] = {{0, 0, "Current interval 0.0"},
                 {11, 12, "Current interval 1.2"},
                 {16, 50, "Current interval 5.0"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.item);
        const std::size_t before = bench.port.written.size();
        Click(c.item);
        ASSERT_EQ(bench.port.written.size(), before + 1);
        const Sent sent = Decode(bench.port.written.back());
        EXPECT_EQ(sent.command, CMD_WIGWAG_INTERVAL);
        EXPECT_EQ(sent.node, 7);
        EXPECT_EQ(sent.payload, Bytes{c.code});
        EXPECT_EQ(bench.link.CurWigwagInterval, c.code);
        EXPECT_EQ(Edit1(), c.text);
    }
    Click(16); // already selected
    EXPECT_EQ(bench.port.written.size(), 3u);

    // The selection survives a closing; the text follows the state.
    form->hide();
    bench.link.CurWigwagInterval = 3;
    ASSERT_TRUE(ShowActive(form.get()));
    EXPECT_EQ(Edit1(), "Current interval 0.3");
    EXPECT_TRUE(Items().at(16)->isChecked());
    EXPECT_EQ(bench.port.written.size(), 3u);
}

class WaitingDialog : public ::testing::Test {
protected:
    Bench bench;
    std::unique_ptr<TForm5> form = std::make_unique<TForm5>(bench.link);
    std::unique_ptr<QSignalSpy> cancelled =
        std::make_unique<QSignalSpy>(form.get(), &TForm5::Cancelled);
    void TearDown() override { form->hide(); }
};

TEST_F(WaitingDialog, CancelAndEscGiveUpTheWaitAndLeaveTheDialogUp) {
    ASSERT_TRUE(ShowActive(form.get()));
    SavePicture(form.get(), "Form5");
    auto* cancel = FindComponent<QPushButton>(form.get(), QStringLiteral("BitBtn1"));
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), "Cancel");
    QTest::mouseClick(cancel, Qt::LeftButton);
    EXPECT_TRUE(bench.link.WaitCancelled);
    EXPECT_EQ(cancelled->count(), 1);
    EXPECT_TRUE(form->isVisible());

    bench.link.WaitCancelled = false;
    QTest::keyClick(form.get(), Qt::Key_Escape);
    EXPECT_TRUE(bench.link.WaitCancelled);
    EXPECT_EQ(cancelled->count(), 2);
    EXPECT_TRUE(bench.port.written.empty());
}

TEST_F(WaitingDialog, ClosingByTheFrameActsAsCancel) {
    ASSERT_TRUE(ShowActive(form.get()));
    form->close();
    EXPECT_TRUE(bench.link.WaitCancelled);
    EXPECT_EQ(cancelled->count(), 1);
    EXPECT_FALSE(form->isVisible());
}

} // namespace
