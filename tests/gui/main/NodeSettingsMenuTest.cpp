// The menu's "Apply node settings...": differences first, nothing sent until Apply, then the
// result of each setting as the following frames show it.
#include "app/NodeSettingsDialog.h"
#include "tests/gui/main/MainWindowSupport.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace orvik;
using namespace orvik::test;

namespace {

TEST(NodeSettingsMenu, ApplyShowsTheDifferencesAsksAndShowsEachResult) {
    MessageRecorder recorder;
    QTemporaryDir dir;
    const std::string settings = dir.filePath("Orvik.INI").toStdString();
    WriteFile(settings, "[Ports]\nCOM1=" + dir.filePath("none").toStdString() + "\n");
    const std::string file = dir.filePath("van.ini").toStdString();
    WriteFile(file, "[Node]\nDualLed=1\nFlasher=0\n[Breaker1]\nTripTime=20\n");
    TForm1 form(settings);
    FakePort port;
    form.Link().SetPort(&port);
    form.ChooseNodeSettingsFile = [&](bool) { return QString::fromStdString(file); };

    auto* apply = form.findChild<QAction*>("ApplyNodeSettings");
    ASSERT_TRUE(apply);

    StatusRecord record;
    record.SetNodePresent(0x01);
    auto feed = [&](const Bytes& frame) { form.Link().FeedBytes(frame.data(), frame.size()); };
    apply->trigger();
    feed(StatusFrame(record));
    Bytes reply = SetupReplyData(0); // breaker 1: trip time 1.0 s
    feed(Frame(FRAME_BREAKER_SETUP, reply));

    auto* dialog = form.findChild<NodeSettingsDialog*>();
    auto* table = dialog->findChild<QTreeWidget*>("Table");
    ASSERT_TRUE(dialog->isVisible());
    ASSERT_EQ(table->topLevelItemCount(), 2);
    EXPECT_EQ(table->topLevelItem(0)->text(0), "breaker 1 trip time");
    EXPECT_EQ(table->topLevelItem(0)->text(1), "1.0 seconds");
    EXPECT_EQ(table->topLevelItem(0)->text(2), "2.0 seconds");
    EXPECT_EQ(table->topLevelItem(1)->text(0), "dual LED");
    ASSERT_EQ(port.written.size(), 1u); // the read's setup request only

    dialog->findChild<QPushButton*>("ApplyButton")->click();
    ASSERT_EQ(port.written.size(), 4u);
    EXPECT_EQ(port.written[1][2], CMD_TRIP_TIME);
    EXPECT_EQ(port.written[3], Frame(CMD_DUAL_LED, {0, 1}));
    record.SetOptionFlags(0, OPT_DUAL_LED);
    feed(StatusFrame(record));
    reply[17] = 20;
    feed(Frame(FRAME_BREAKER_SETUP, reply));
    EXPECT_EQ(table->topLevelItem(0)->text(3), "confirmed");
    EXPECT_EQ(table->topLevelItem(1)->text(3), "confirmed");
    EXPECT_TRUE(dialog->findChild<QLabel*>("Text")->text().contains("2 confirmed, 0 not"));
}

TEST(NodeSettingsMenu, SaveWritesTheSelectedNodeOnceItHasAnswered) {
    MessageRecorder recorder;
    QTemporaryDir dir;
    const std::string settings = dir.filePath("Orvik.INI").toStdString();
    WriteFile(settings, "[Ports]\nCOM1=" + dir.filePath("none").toStdString() + "\n");
    const std::string file = dir.filePath("van.ini").toStdString();
    TForm1 form(settings);
    FakePort port;
    form.Link().SetPort(&port);
    form.ChooseNodeSettingsFile = [&](bool save) {
        return save ? QString::fromStdString(file) : "";
    };
    form.findChild<QSpinBox*>("SpinEdit1")->setValue(2);

    form.findChild<QAction*>("SaveNodeSettings")->trigger();
    StatusRecord record;
    record.SetNodePresent(0x02);
    record.SetPowerOnMask(1, 0x81);
    const Bytes status = StatusFrame(record);
    form.Link().FeedBytes(status.data(), status.size());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(file))); // no setup reply yet
    ASSERT_EQ(port.written, (std::vector<Bytes>{Frame(CMD_REQUEST_BREAKER_SETUP, {1, 0})}));
    const Bytes reply = Frame(FRAME_BREAKER_SETUP, SetupReplyData(1));
    form.Link().FeedBytes(reply.data(), reply.size());
    std::string text = ReadFile(file);
    std::erase(text, '\r'); // a new file's lines end in CR LF on Windows
    EXPECT_NE(text.find("Number=2 "), std::string::npos) << text;
    EXPECT_NE(text.find("PowerOnMask=0x81 "), std::string::npos) << text;
    EXPECT_NE(text.find("[Breaker1]\nTripCurrent=100 "), std::string::npos) << text;
    // 189.9 A is in no list: left out, so that the file can be applied.
    EXPECT_EQ(text.find("1899"), std::string::npos) << text;
    const QString said = form.findChild<NodeSettingsDialog*>()->findChild<QLabel*>("Text")->text();
    EXPECT_TRUE(said.contains("Not saved, as no command sets such a value: breaker 8 trip "
                              "current (189.9 A)."))
        << said.toStdString();
}

} // namespace
