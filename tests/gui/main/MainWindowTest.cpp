// The main window's display and commands, driven through its handlers and real controls.
#include "app/Shape.h"
#include "tests/gui/main/MainWindowSupport.h"
#include "widgets/Switch.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace orvik;
using namespace orvik::test;

namespace {

const QColor Green(0, 255, 0), Red(255, 0, 0), White(255, 255, 255);

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath("Orvik.INI").toStdString();
        // COM1 goes nowhere, so the window runs without a port; commands go to `port`.
        WriteFile(path, "[Ports]\nCOM1=" + dir.filePath("no-such-device").toStdString() + "\n");
        form = std::make_unique<TForm1>(path);
        form->Link().SetPort(&port);
        form->SetDialogs({nullptr, nullptr, nullptr, &form4, &form5});
        ASSERT_EQ(recorder.messages.size(), 1); // COM1 is not there
        recorder.messages.clear();
    }

    void Feed(const StatusRecord& record) {
        const Bytes frame = StatusFrame(record);
        form->Link().FeedBytes(frame.data(), frame.size());
    }
    void FeedReply(std::uint8_t nodeIndex) {
        const Bytes frame = Frame(FRAME_BREAKER_SETUP, SetupReplyData(nodeIndex));
        form->Link().FeedBytes(frame.data(), frame.size());
    }
    QString Text(int edit) const {
        return form->findChild<QLineEdit*>(QString("Edit%1").arg(edit))->text();
    }
    QColor Colour(int shape) const {
        return form->findChild<Shape*>(QString("Shape%1").arg(shape))->BrushColor();
    }
    TSwitchArray* Switches() const { return form->findChild<TSwitchArray*>("SwitchArray1"); }
    QSpinBox* Selector() const { return form->findChild<QSpinBox*>("SpinEdit1"); }
    void Click(const char* button) {
        QTest::mouseClick(form->findChild<QPushButton*>(button), Qt::LeftButton);
    }
    // Payload bytes (after the node byte) of every frame sent, and the node bytes.
    std::vector<Bytes> Payloads(std::uint8_t command) const {
        std::vector<Bytes> out;
        for (const auto& f : port.written)
            if (f.size() >= 7 && f[2] == command)
                out.emplace_back(f.begin() + 5, f.end() - 2);
        return out;
    }

    MessageRecorder recorder;
    QTemporaryDir dir;
    std::string path;
    FakePort port;
    CountingDialog form4;
    QWidget form5;
    std::unique_ptr<TForm1> form;
};

StatusRecord NodeOneRecord() {
    StatusRecord r;
    r.SetNodePresent(0x05); // nodes 1 and 3
    r.SetBreakerOn(0, 0x05);
    r.SetBreakerFault(0, 0x02);
    for (std::size_t b = 0; b < 8; ++b)
        r.SetCurrent(0, b, static_cast<std::uint16_t>(b == 7 ? 65535 : b * 61));
    r.SetInputVoltage(0, 138);
    r.SetDoublingOption(0, 5);
    r.SetPowerOnMask(0, 0x81);
    r.SetOptionFlags(0, 0x2E);
    r.SetWigwagInterval(0, 5);
    return r;
}

} // namespace

TEST_F(MainWindow, StartsWhiteAndEmptyWithTheWindowLayout) {
    EXPECT_EQ(form->windowTitle(), "Tarnwell Orvik interface version 1.1");
    for (int n = 1; n <= 16; ++n)
        EXPECT_EQ(Colour(n), White) << n;
    for (int n = 1; n <= 16; ++n)
        EXPECT_TRUE(Text(n).isEmpty()) << n;
    EXPECT_EQ(Selector()->value(), 1);
    EXPECT_EQ(Selector()->minimum(), 1);
    EXPECT_EQ(Selector()->maximum(), 8);
    EXPECT_TRUE(form->findChild<QLineEdit*>("Edit9")->isReadOnly());
    EXPECT_EQ(Switches()->GetNumberOfSwitches(), 8);
}

// The currents and the input voltage skip shaping, yet keep the window's face and size, also
// when the window's font changes.
TEST_F(MainWindow, TheFiguresSkipShapingAndFollowTheWindowFont) {
    auto* edit10 = form->findChild<QLineEdit*>("Edit10");
    for (int round = 0; round < 2; ++round) {
        for (int n = 1; n <= 9; ++n) {
            const QFont f = form->findChild<QLineEdit*>(QString("Edit%1").arg(n))->font();
            EXPECT_TRUE(f.styleStrategy() & QFont::PreferNoShaping) << n;
            EXPECT_EQ(f.family().toStdString(), edit10->font().family().toStdString()) << n;
            EXPECT_EQ(f.pointSizeF(), edit10->font().pointSizeF()) << n;
        }
        QFont bigger = form->font();
        bigger.setPointSizeF(bigger.pointSizeF() * 2);
        bigger.setFamily(bigger.family() == "DejaVu Serif" ? "DejaVu Sans" : "DejaVu Serif");
        form->setFont(bigger);
        ASSERT_EQ(edit10->font().pointSizeF(), bigger.pointSizeF());
    }
    EXPECT_FALSE(edit10->font().styleStrategy() & QFont::PreferNoShaping);
}

TEST_F(MainWindow, ShowsTheSelectedNode) {
    Feed(NodeOneRecord());
    const QColor strip[8] = {Green, Red, Green, Red, Red, Red, Red, Red};
    for (int n = 1; n <= 8; ++n)
        EXPECT_EQ(Colour(n), strip[n - 1]) << n;
    EXPECT_EQ(Switches()->GetSwitch(0), 2);
    EXPECT_EQ(Switches()->GetSwitch(1), 1);
    EXPECT_EQ(Switches()->GetSwitch(2), 2);
    EXPECT_EQ(Colour(9), Green);
    EXPECT_EQ(Colour(10), Red);
    EXPECT_EQ(Text(1), "0.0");
    EXPECT_EQ(Text(3), "12.2");
    EXPECT_EQ(Text(8), "6553.5");
    EXPECT_EQ(Text(9), "13.8");
    EXPECT_EQ(Text(10), "Unknown option");
    EXPECT_EQ(Text(11), "On Off Off Off Off Off Off On ");
    EXPECT_EQ(Text(12), "Programmable");
    EXPECT_EQ(Text(13), "Wigwag is steady");
    EXPECT_EQ(Text(14), "Flasher on breaker 5");
    EXPECT_EQ(Text(15), "0.5 seconds");
    EXPECT_EQ(Text(16), "Yes");
}

TEST_F(MainWindow, FixedProfileAndFlasherThreeKeepsItsText) {
    StatusRecord r = NodeOneRecord();
    Feed(r);
    r.SetOptionFlags(0, 0x18); // flasher 3, no wigwag, fixed profile
    r.SetFixedProfile(0, 2);
    Feed(r);
    EXPECT_EQ(Text(12), "Fixed 3");
    EXPECT_EQ(Text(13), "No wigwag enabled");
    EXPECT_EQ(Text(14), "Flasher on breaker 5"); // left as it was
    EXPECT_EQ(Text(16), "No");
    EXPECT_FALSE(form->Link().ProfileProgrammable);
}

TEST_F(MainWindow, AnAbsentSelectedNodeKeepsTheOldValuesUntilTheTimeout) {
    Feed(NodeOneRecord());
    Selector()->setValue(2);
    Feed(NodeOneRecord()); // node 2 is not on the bus
    EXPECT_EQ(Text(9), "13.8");
    for (int tick = 0; tick < 9; ++tick)
        form->Timer1Timer();
    EXPECT_EQ(Text(9), "13.8");
    form->Timer1Timer();
    EXPECT_TRUE(Text(9).isEmpty());
}

TEST_F(MainWindow, TenSilentTicksBlankTheStripAndTheNodeButKeepCurrents) {
    Feed(NodeOneRecord());
    for (int tick = 0; tick < 9; ++tick)
        form->Timer1Timer();
    EXPECT_EQ(Colour(1), Green);
    form->Timer1Timer();
    for (int n = 1; n <= 16; ++n)
        EXPECT_EQ(Colour(n), White) << n;
    for (quint16 b = 0; b < 8; ++b)
        EXPECT_EQ(Switches()->GetSwitch(b), 1) << b;
    for (int n = 9; n <= 16; ++n)
        EXPECT_TRUE(Text(n).isEmpty()) << n;
    EXPECT_EQ(Text(3), "12.2");
    EXPECT_EQ(form->Link().CurPowerOnMask, 0x81); // cached values stay
}

TEST_F(MainWindow, ClickingANodeIndicatorSelectsItAndSendsNothing) {
    QTest::mouseClick(form->findChild<Shape*>("Shape5"), Qt::RightButton);
    EXPECT_EQ(Selector()->value(), 5);
    EXPECT_TRUE(port.written.empty());
}

TEST_F(MainWindow, BreakerSwitchAsksForTheOtherState) {
    Switches()->Switch(2, true);
    form->SwitchArray1Switch(2);
    Switches()->Switch(2, false);
    form->SwitchArray1Switch(2);
    ASSERT_EQ(port.written.size(), 2u);
    EXPECT_EQ(Payloads(CMD_SWITCH_BREAKER), (std::vector<Bytes>{{2, 0}, {2, 1}}));
    EXPECT_EQ(port.written[0][4], 0); // node 1
}

TEST_F(MainWindow, SteppingButtonsSendTheirCycles) {
    StatusRecord r = NodeOneRecord();
    r.SetOptionFlags(0, 0x04 | 0x03 | (2 << 3)); // programmable, wigwag 3, flasher 2
    r.SetDoublingOption(0, 4);
    Feed(r);
    Click("Button1");
    r.SetDoublingOption(0, 7);
    Feed(r);
    Click("Button1");
    Click("Button6");
    Click("Button6");
    Click("Button6");
    Click("Button5");
    EXPECT_EQ(Payloads(CMD_DOUBLING), (std::vector<Bytes>{{0}, {0}}));
    EXPECT_EQ(Payloads(CMD_WIGWAG_MODE), (std::vector<Bytes>{{0}, {1}, {2}}));
    EXPECT_EQ(Payloads(CMD_FLASHER), (std::vector<Bytes>{{0}}));
    EXPECT_TRUE(recorder.messages.isEmpty());
}

TEST_F(MainWindow, DoublingNeedsTheProgrammableProfile) {
    StatusRecord r = NodeOneRecord();
    r.SetOptionFlags(0, 0);
    Feed(r);
    Click("Button1");
    EXPECT_TRUE(port.written.empty());
    ASSERT_EQ(recorder.messages.size(), 1);
    EXPECT_EQ(recorder.messages[0],
              "This can only be set if you have the programmable profile selected on the Orvik "
              "module");
}

TEST_F(MainWindow, FactoryDefaultsOnlyAfterYes) {
    Selector()->setValue(4);
    recorder.answer = false;
    Click("Button8");
    EXPECT_TRUE(port.written.empty());
    recorder.answer = true;
    Click("Button8");
    ASSERT_EQ(recorder.questions.size(), 2);
    EXPECT_EQ(recorder.questions[0], "Set Orvik node 4 to factory default ?");
    ASSERT_EQ(port.written.size(), 1u);
    EXPECT_EQ(port.written[0], (Bytes{0xD5, 0x82, 12, 2, 3, 0, 17, 13}));
}

TEST_F(MainWindow, BreakerSetupWaitsForTheSelectedNodesReply) {
    Selector()->setValue(2);
    bool visibleWhileWaiting = false;
    QTimer::singleShot(20, [&] {
        visibleWhileWaiting = form5.isVisible();
        FeedReply(0); // another node: the wait goes on
        // A second click while waiting does nothing.
        form->Button9Click();
    });
    QTimer::singleShot(60, [&] {
        EXPECT_TRUE(form->Waiting());
        FeedReply(1);
        form->Comm1RxChar(0); // the receive handler wakes the wait
    });
    QTimer::singleShot(5000, [&] { form->CancelWait(); }); // bound, should not be needed
    form->Button9Click();
    EXPECT_TRUE(visibleWhileWaiting);
    EXPECT_FALSE(form5.isVisible());
    EXPECT_TRUE(form->Link().SetupReceived);
    EXPECT_EQ(form4.shown, 1);
    EXPECT_EQ(Payloads(CMD_REQUEST_BREAKER_SETUP).size(), 1u);
    EXPECT_EQ(port.written[0], (Bytes{0xD5, 0x82, 0x0D, 0x02, 0x01, 0x00, 0x10, 0x0E}));
    EXPECT_EQ(form->Link().BreakerSetupRecord.TripTime[1], 11);
}

TEST_F(MainWindow, CancelEndsTheWaitAndALateReplyOpensNothing) {
    QTimer::singleShot(20, [&] { form->CancelWait(); });
    form->Button9Click();
    EXPECT_FALSE(form->Waiting());
    EXPECT_EQ(form4.shown, 0);
    FeedReply(0);
    EXPECT_TRUE(form->Link().SetupReceived);
    EXPECT_EQ(form4.shown, 0);
}

TEST_F(MainWindow, TwoSecondsWithoutAReplyEndTheWaitWithAMessage) {
    form->show();
    const auto* button = form->findChild<QPushButton*>("Button9");
    const QRect buttonOnScreen(button->mapToGlobal(QPoint(0, 0)), button->size());
    form5.setGeometry(QRect(buttonOnScreen.topLeft(), QSize(281, 148))); // where it was last
    Selector()->setValue(2);
    QTimer::singleShot(0, [&] {
        EXPECT_FALSE(form5.frameGeometry().intersects(buttonOnScreen)); // "Breaker setup" shows
        for (int tick = 1; tick < 20; ++tick)
            form->Timer1Timer();
        EXPECT_TRUE(form->Waiting());
        form->Timer1Timer(); // 2 s of the 100 ms timer
    });
    QTimer::singleShot(5000, [&] { form->CancelWait(); }); // bound, should not be needed
    form->Button9Click();
    EXPECT_FALSE(form->Waiting());
    EXPECT_FALSE(form5.isVisible());
    EXPECT_EQ(form4.shown, 0);
    EXPECT_EQ(recorder.messages, QStringList{"No breaker setup reply from Orvik node 2."});
}

TEST_F(MainWindow, ClosingTheMainWindowEndsTheWait) {
    form->show();
    QTimer::singleShot(20, [&] { form->close(); });
    form->Button9Click();
    EXPECT_FALSE(form->Waiting());
    EXPECT_TRUE(form->Link().WaitCancelled);
    EXPECT_EQ(form4.shown, 0);
}

TEST_F(MainWindow, AboutNamesTheVersionTheSettingsFileAndThePort) {
    form->findChild<QAction*>("About1")->trigger();
    ASSERT_EQ(recorder.messages.size(), 1);
    const QString about = recorder.messages[0];
    EXPECT_TRUE(about.startsWith("Tarnwell Orvik interface version 1.1\n")) << about.toStdString();
    EXPECT_TRUE(about.contains("Settings file: " + QString::fromStdString(path)))
        << about.toStdString();
#ifdef _WIN32
    EXPECT_TRUE(about.contains("Port: COM1\n")) << about.toStdString(); // Windows's own COM1
#else
    EXPECT_TRUE(about.contains("Port: COM1 - " + dir.filePath("no-such-device")))
        << about.toStdString();
#endif
    EXPECT_TRUE(about.contains("MIT licence"));
}

// A recording that cannot be written stays marked beside the line's state until one runs.
TEST_F(MainWindow, ARecordingThatCannotBeWrittenStaysMarkedUntilOneRuns) {
    QLabel* mark = form->findChild<QLabel*>("RecordingMark");
    ASSERT_TRUE(mark);
    WriteFile(dir.filePath("plain").toStdString(), "not a folder");
    form->SetRecordingsFolder(dir.filePath("plain/recordings").toStdString());
    EXPECT_FALSE(form->Record(true));
    EXPECT_FALSE(mark->isHidden());
    EXPECT_TRUE(mark->toolTip().contains("plain/recordings cannot be made"))
        << mark->toolTip().toStdString();
    form->SetRecordingsFolder(dir.filePath("recordings").toStdString());
    EXPECT_TRUE(form->Record(true));
    EXPECT_TRUE(mark->isHidden());
    form->Record(false);
}
