// Start-up and shutdown of the main window on real pseudo-terminals and settings files.
#include "app/Shape.h"
#include "tests/gui/main/MainWindowSupport.h"
#include "tests/support/Pty.h"

#include <QLineEdit>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>

#include <gtest/gtest.h>

using namespace orvik;
using namespace orvik::test;

namespace {

class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath("Orvik.INI").toStdString();
    }
    QColor Colour(TForm1& form, int shape) {
        return form.findChild<Shape*>(QString("Shape%1").arg(shape))->BrushColor();
    }

    MessageRecorder recorder;
    QTemporaryDir dir;
    std::string path;
};

} // namespace

TEST_F(Startup, WithoutASettingsFileItUsesCom1AndClosingCreatesTheFile) {
    {
        TForm1 form(path);
        EXPECT_EQ(form.Comm1().DeviceName(), "COM1");
        EXPECT_EQ(form.Link().ComPortIndex, 0);
        form.show();
        form.close();
    }
    EXPECT_NE(ReadFile(path).find("[Setup]"), std::string::npos);
    EXPECT_NE(ReadFile(path).find("CommsPort=0"), std::string::npos);
}

TEST_F(Startup, CommsPortFourOpensCom5AndFramesReachTheDisplay) {
    PseudoTerminal pty;
    WriteFile(path, "; bench setup\n[Setup]\nCommsPort=4\n[Ports]\nCOM5=" + pty.name + "\n");
    TForm1 form(path);
    EXPECT_TRUE(recorder.messages.isEmpty());
    EXPECT_EQ(form.Comm1().DeviceName(), "COM5");
    ASSERT_TRUE(form.Comm1().IsOpen());

    StatusRecord r;
    r.SetNodePresent(0x01);
    r.SetInputVoltage(0, 137);
    const Bytes frame = StatusFrame(r);
    ASSERT_EQ(pty.Send(frame), frame.size());
    // The monitor thread hands the bytes to the GUI thread; bounded wait.
    QTRY_COMPARE_WITH_TIMEOUT(Colour(form, 1), QColor(0, 255, 0), 5000);
    EXPECT_EQ(form.findChild<QLineEdit*>("Edit9")->text(), "13.7");

    // A command goes out on the line whole.
    form.Link().Button7Click();
    EXPECT_EQ(pty.Receive(8), (Bytes{0xD5, 0x82, 8, 2, 0, 1, 11, 11}));

    form.close();
    const std::string text = ReadFile(path);
    EXPECT_NE(text.find("; bench setup\n"), std::string::npos);
    EXPECT_NE(text.find("CommsPort=4"), std::string::npos);
    EXPECT_NE(text.find("COM5=" + pty.name), std::string::npos);
}

TEST_F(Startup, AnAbsentPortIsReportedAndTheWindowStillOpens) {
    WriteFile(path, "[Setup]\nCommsPort=2\n[Ports]\nCOM3=" +
                        dir.filePath("unplugged").toStdString() + "\n");
    TForm1 form(path);
    ASSERT_EQ(recorder.messages.size(), 1);
    EXPECT_EQ(recorder.messages[0],
              "The selected port COM3 is not available, please choose another if possible or "
              "free this port if it is in use by another application.");
    const std::string device = dir.filePath("unplugged").toStdString();
    EXPECT_EQ(recorder.details, QStringList{QString::fromStdString(device + " is not connected.")});
    EXPECT_EQ(form.StatusLineText().toStdString(),
              "COM3 - " + device + ": not connected, waiting for the adapter");
    EXPECT_FALSE(form.Comm1().IsOpen());
    form.show();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(Colour(form, 1), QColor(255, 255, 255));
    // Commands are lost without a port, and nothing breaks.
    form.Link().Button3Click();
}

TEST_F(Startup, AMalformedNetworkAddressIsNotCalledAPortInUse) {
    WriteFile(path, "[Setup]\nCommsPort=0\n[Ports]\nCOM1=rfc2217://\n");
    TForm1 form(path);
    ASSERT_EQ(recorder.messages.size(), 1);
    EXPECT_EQ(recorder.messages[0].toStdString(),
              "COM1 is set to an address that is not a network port, in " + path + ".");
    ASSERT_EQ(recorder.details.size(), 1);
    EXPECT_NE(recorder.details[0].indexOf("rfc2217://"), -1) << recorder.details[0].toStdString();
}

TEST_F(Startup, AnUnwritableSettingsFileIsReportedAndTheWindowStillCloses) {
    // Beneath a plain file: no folder can be made there.
    WriteFile(dir.filePath("not-a-folder").toStdString(), "");
    const std::string unwritable = dir.filePath("not-a-folder/Orvik.INI").toStdString();
    TForm1 form(unwritable);
    recorder.messages.clear();
    form.show();
    EXPECT_TRUE(form.close());
    EXPECT_FALSE(form.isVisible());
    ASSERT_EQ(recorder.messages.size(), 1);
    EXPECT_EQ(recorder.messages[0],
              QString::fromStdString("Unable to write to " + unwritable +
                                     ": its folder cannot be written: not a directory"));
}

TEST_F(Startup, TheStatusLineFollowsTheLine) {
    PseudoTerminal pty;
    WriteFile(path, "[Ports]\nCOM1=" + pty.name + "\n");
    TForm1 form(path);
    std::int64_t now = SteadyMilliseconds(); // from the open on, the test's own time
    form.SetClock([&now] { return now; });
    ASSERT_TRUE(form.Comm1().IsOpen());
    const std::string prefix = "COM1 - " + pty.name + ": ";
    auto step = [&](int ms, const Bytes& bytes) {
        for (int t = 0; t < ms; t += 100) {
            if (!bytes.empty() && t % 200 == 0)
                form.Link().FeedBytes(bytes.data(), bytes.size());
            now += 100;
            form.ServiceLine();
        }
        return form.StatusLineText().toStdString();
    };
    StatusRecord r;
    r.SetNodePresent(0x01);
    EXPECT_EQ(step(2000, StatusFrame(r)), prefix + "receiving, 5.0 frames/s");
    EXPECT_EQ(step(1500, Bytes(7, 0x55)),
              prefix + "bytes arriving but no valid frame (wrong port or baud rate?)");
    EXPECT_EQ(step(3000, {}), prefix + "open, no valid frame for 4 s");

    // A command to a node the last status did not report: said so, and still sent.
    form.findChild<QSpinBox*>("SpinEdit1")->setValue(2);
    form.Button7Click();
    EXPECT_EQ(form.StatusLineText(), "Orvik node 2 is not on the bus");
    EXPECT_EQ(pty.Receive(8).size(), 8u);

    // The adapter goes: the loss shows without a message box, and the line is closed.
    pty.CloseMaster();
    QTRY_VERIFY_WITH_TIMEOUT(!form.Comm1().IsOpen(), 5000);
    form.statusBar()->clearMessage(); // as the notice does after a few seconds
    EXPECT_EQ(step(100, {}), prefix + "connection lost, waiting for the adapter");
    EXPECT_TRUE(recorder.messages.isEmpty());
}
