// The bus monitor: opened from its menu entry, its rows follow the log and its filters, clear
// empties it, and "Save capture..." writes a capture our reader takes back (or says why not).
#include "app/BusMonitor.h"
#include "app/TrafficModel.h"
#include "link/capture/Pcapng.h"
#include "tests/gui/main/MainWindowSupport.h"
#include "tests/support/CaptureFile.h"

#include <QAbstractItemView>
#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace orvik;
using namespace orvik::test;

TEST(BusMonitor, OpensFromItsMenuEntryShowsFiltersClearsAndSaves) {
    MessageRecorder recorder;
    QTemporaryDir dir;
    const std::string ini = dir.filePath("Orvik.INI").toStdString();
    WriteFile(ini, "[Ports]\nCOM1=" + dir.filePath("none").toStdString() + "\n");
    TForm1 form(ini);
    FakePort port;
    form.Link().SetPort(&port);

    form.findChild<QAction*>("BusMonitorMenu")->trigger();
    BusMonitor* monitor = form.Monitor();
    ASSERT_NE(monitor, nullptr);
    EXPECT_TRUE(monitor->isVisible());
    // A screen reader hears a name for each of its controls.
    for (QWidget* w : monitor->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractItemView*>(w) ||
            qobject_cast<QPlainTextEdit*>(w)) {
            EXPECT_FALSE(w->accessibleName().isEmpty()) << w->objectName().toStdString();
        }
    }

    StatusRecord s;
    s.SetNodePresent(0x01);
    Bytes in = StatusFrame(s);
    const Bytes reply = Frame(FRAME_BREAKER_SETUP, SetupReplyData(3));
    in.insert(in.end(), reply.begin(), reply.end());
    in.push_back(0x42); // noise
    form.Link().FeedBytes(in.data(), in.size());
    form.Link().Button7Click(); // dual LED, to node 1
    monitor->Refresh();
    TrafficModel& model = monitor->Model();
    ASSERT_EQ(model.rowCount(), 4);
    EXPECT_EQ(model.index(1, TrafficModel::ColSummary).data().toString(),
              "breaker setup reply: node 4");
    EXPECT_EQ(model.index(1, TrafficModel::ColOutcome).data().toString(),
              "reply from another node");
    EXPECT_EQ(model.index(3, TrafficModel::ColDirection).data().toString(), "to bus");

    auto* kind = monitor->findChild<QComboBox*>("KindFilter");
    kind->setCurrentText("Commands");
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.index(0, TrafficModel::ColSummary).data().toString(), "dual LED on, node 1");
    kind->setCurrentText("All frames");
    monitor->findChild<QComboBox*>("NodeFilter")->setCurrentText("Orvik node 4");
    EXPECT_EQ(model.rowCount(), 2); // the status frame and node 4's reply
    monitor->findChild<QComboBox*>("NodeFilter")->setCurrentIndex(0);

    const QString path = dir.filePath("capture.pcapng");
    ASSERT_TRUE(monitor->SaveCapture(path));
    const CaptureReadResult r = ReadPcapngFile(path.toStdString());
    ASSERT_TRUE(r.Ok()) << r.error;
    ASSERT_EQ(r.packets.size(), 4u);
    EXPECT_EQ(r.packets[3].bytes, port.written.back());
    // A failed save says so, and why; a device is never taken for a capture file.
    EXPECT_FALSE(monitor->SaveCapture(dir.filePath("no-such-folder/capture.pcapng")));
    ASSERT_EQ(recorder.messages.size(), 2); // COM1 is not there, then the failed save
    EXPECT_TRUE(recorder.messages[1].startsWith("Unable to write to ") &&
                recorder.messages[1].endsWith(": its folder does not exist."))
        << recorder.messages[1].toStdString();
#ifndef _WIN32
    EXPECT_FALSE(monitor->SaveCapture("/dev/full"));
    ASSERT_EQ(recorder.messages.size(), 3);
    EXPECT_EQ(
        recorder.messages[2],
        "Unable to write to /dev/full: is not a regular file (a device, a FIFO or a socket).");
#endif

    // The counters are copied whole from their menu.
    monitor->findChild<QAction*>("CopyCountersAction")->trigger();
    EXPECT_TRUE(QGuiApplication::clipboard()->text().startsWith(
        "From the bus: 242 bytes, 1 frames accepted"))
        << QGuiApplication::clipboard()->text().toStdString();

    QTest::mouseClick(monitor->findChild<QPushButton*>("ClearButton"), Qt::LeftButton);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(form.FrameLog().Counters().bytesIn, 0u);
}

TEST(BusMonitor, RowsLetGoOfWhatTheRingOverwrites) {
    FrameLog log(4);
    TrafficModel model(log);
    const std::uint8_t b = 1;
    for (int i = 0; i < 3; ++i)
        log.Add(Direction::Inbound, FrameOutcome::Noise, i, &b, 1);
    EXPECT_EQ(model.Refresh(), 3);
    for (int i = 3; i < 9; ++i)
        log.Add(Direction::Inbound, FrameOutcome::Noise, i, &b, 1);
    EXPECT_EQ(model.Refresh(), 4);
    ASSERT_EQ(model.rowCount(), 4);
    EXPECT_EQ(model.RecordAt(0)->seq, 5u);
    EXPECT_EQ(model.RecordAt(3)->seq, 8u);
}
