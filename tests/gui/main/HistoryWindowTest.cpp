// The History window over a scripted minute of the bus: every curve at its current with its
// trip level, the fault band and mark, the events table with its filters, and the files.
#include "app/HistoryWindow.h"
#include "app/EventsModel.h"
#include "app/HistoryPlot.h"
#include "link/capture/Pcapng.h"
#include "link/history/BusHistory.h"
#include "tests/gui/main/MainWindowSupport.h"
#include "tests/unit/link/LinkTestSupport.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <gtest/gtest.h>

using namespace orvik;
using namespace orvik::test;

namespace {

constexpr std::int64_t T0 = 1'796'800'000'000; // ms since 1970

// A minute of node 1: breaker 1 at 2.5 A, breaker 2 at 4.8 A until it trips at 50 s; the
// setup reply says breaker 2 trips at 5.0 A.
void Script(BusHistory& h) {
    SetupReply reply;
    reply.trips.TripCurrent.fill(100); // 10.0 A
    reply.trips.TripCurrent[1] = 50;   // breaker 2: 5.0 A
    reply.trips.TripTime.fill(10);
    h.AddSetupReply(T0, reply);
    for (std::int64_t t = 0; t < 60'000; t += 200) {
        const bool tripped = t >= 50'000;
        StatusRecord s;
        s.SetNodePresent(0x01);
        s.SetBreakerOn(0, tripped ? 0x01 : 0x03);
        s.SetBreakerFault(0, tripped ? 0x02 : 0x00);
        s.SetCurrent(0, 0, 25);
        s.SetCurrent(0, 1, tripped ? 0 : 48);
        s.SetInputVoltage(0, 137);
        h.AddStatus(T0 + t, s);
    }
}

// How many pixels of column x have that colour.
int CountIn(const QImage& image, int x, const QColor& colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        n += image.pixelColor(x, y) == colour;
    return n;
}

} // namespace

TEST(HistoryWindow, DrawsCurvesTripLinesBandsAndMarksAndListsAndExportsTheEvents) {
    MessageRecorder recorder;
    BusHistory history;
    Script(history);
    HistoryWindow window(
        history, [] { return T0 + 60'000; }, nullptr);
    HistoryPlot& plot = *window.Plot();
    plot.SetSpan(60'000);

    QImage image(800, 480, QImage::Format_RGB32);
    {
        QPainter painter(&image);
        plot.Render(painter, image.size());
    }
    const int left = HistoryPlot::MARGIN_LEFT, width = 800 - left - HistoryPlot::MARGIN_RIGHT;
    auto xAt = [&](std::int64_t ms) { return left + static_cast<int>(ms * width / 60'000); };
    const QColor one = HistoryPlot::CurveColour(1), two = HistoryPlot::CurveColour(2);
    // At 25 s: breaker 2's curve and, dashed above it, its trip level; breaker 1 below.
    int twoAt25 = 0;
    for (int dx = 0; dx < 4; ++dx)
        twoAt25 += CountIn(image, xAt(25'000) + dx, two);
    EXPECT_GE(twoAt25, 5) << "curve and trip line of breaker 2";
    EXPECT_GT(CountIn(image, xAt(25'000), one), 0);
    // After the trip: red in the bands and a red mark on the time axis.
    EXPECT_GT(CountIn(image, xAt(55'000), QColor(220, 0, 0)), 4);

    // The events: node 1 joined, breaker 2's trip (with its trip level), and the faults alone.
    EventsModel& events = *window.Events();
    ASSERT_GE(events.rowCount(), 2);
    window.findChild<QComboBox*>("EventKindFilter")->setCurrentText("Faults");
    ASSERT_EQ(events.rowCount(), 1);
    EXPECT_EQ(events.index(0, EventsModel::ColEvent).data().toString(),
              "Orvik node 1, breaker 2: fault (tripped) at 4.8 A, trip 5.0 A after 1.0 seconds");
    EXPECT_EQ(events.RowsText({0}).count('\t'), 3);

    QTemporaryDir dir;
    ASSERT_TRUE(window.ExportCsv(dir.filePath("node1.csv")));
    const std::string csv = ReadFile(dir.filePath("node1.csv").toStdString());
    EXPECT_EQ(csv.rfind("Time,Breaker 1 on,Breaker 1 fault,Breaker 1 current (A),", 0), 0u) << csv;
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + 300); // a row per status frame
    ASSERT_TRUE(window.ExportEvents(dir.filePath("events.csv")));
    EXPECT_NE(ReadFile(dir.filePath("events.csv").toStdString()).find("fault (tripped)"),
              std::string::npos);
    EXPECT_TRUE(window.SavePicture(dir.filePath("plot.png")));
    EXPECT_FALSE(QImage(dir.filePath("plot.png")).isNull());
#ifdef ORVIK_WITH_SVG
    EXPECT_TRUE(window.SavePicture(dir.filePath("plot.svg")));
    EXPECT_NE(ReadFile(dir.filePath("plot.svg").toStdString()).find("<svg"), std::string::npos);
    // Each says what it shows: the node, the time and the span.
    EXPECT_NE(
        ReadFile(dir.filePath("plot.svg").toStdString()).find(window.PictureTitle().toStdString()),
        std::string::npos);
#else
    // Without Qt Svg an .svg name is refused with its reason, and nothing is written.
    EXPECT_FALSE(window.SavePicture(dir.filePath("plot.svg")));
    EXPECT_FALSE(QFile::exists(dir.filePath("plot.svg")));
    ASSERT_EQ(recorder.messages.size(), 1);
    EXPECT_TRUE(recorder.messages[0].contains("as PNG only")) << recorder.messages[0].toStdString();
    recorder.messages.clear();
#endif
    const std::string title = window.PictureTitle().toStdString();
    EXPECT_TRUE(title.starts_with("Orvik node 1, ")) << title;
    EXPECT_TRUE(title.ends_with(" (1 minute)")) << title;
    EXPECT_GT(QImage(dir.filePath("plot.png")).height(), window.Plot()->height());
    EXPECT_FALSE(window.ExportCsv(dir.filePath("gone/node1.csv")));
    ASSERT_EQ(recorder.messages.size(), 1);
    EXPECT_TRUE(recorder.messages[0].endsWith(": its folder does not exist."));
}

// Zoom, pan and live by wheel, drag, keys and double click, on a clock that stands still.
TEST(HistoryWindow, ThePlotZoomsPansAndGoesBackToLive) {
    BusHistory history;
    Script(history);
    const std::int64_t now = T0 + 60'000;
    HistoryPlot plot(
        history, [now] { return now; }, nullptr);
    plot.resize(1000, 500);
    int changes = 0;
    QObject::connect(&plot, &HistoryPlot::ViewChanged, [&] { ++changes; });
    auto key = [&](int k) {
        QKeyEvent e(QEvent::KeyPress, k, Qt::NoModifier);
        QCoreApplication::sendEvent(&plot, &e);
    };
    auto mouse = [&](QEvent::Type type, int x, Qt::MouseButtons held) {
        QMouseEvent e(type, QPointF(x, 200), QPointF(x, 200), Qt::LeftButton, held, Qt::NoModifier);
        QCoreApplication::sendEvent(&plot, &e);
    };

    ASSERT_TRUE(plot.Live());
    EXPECT_EQ(plot.ViewTo(), now);
    EXPECT_EQ(plot.ViewTo() - plot.ViewFrom(), 10 * 60'000);

    // The wheel zooms about the cursor, also live, and leaves live; End returns.
    QWheelEvent wheel(QPointF(500, 200), QPointF(500, 200), {}, QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&plot, &wheel);
    EXPECT_FALSE(plot.Live());
    EXPECT_LT(plot.ViewTo(), now);
    EXPECT_EQ(plot.ViewTo() - plot.ViewFrom(), 8 * 60'000);
    key(Qt::Key_End);
    EXPECT_TRUE(plot.Live());

    // The left arrow goes back a tenth of the span and leaves live; End returns.
    key(Qt::Key_Left);
    EXPECT_FALSE(plot.Live());
    EXPECT_EQ(plot.ViewTo(), now - 48'000);
    key(Qt::Key_End);
    EXPECT_TRUE(plot.Live());

    // A click alone leaves the view; a drag to the right shows earlier times.
    mouse(QEvent::MouseButtonPress, 600, Qt::LeftButton);
    mouse(QEvent::MouseMove, 602, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, 602, Qt::NoButton);
    EXPECT_TRUE(plot.Live());
    mouse(QEvent::MouseButtonPress, 400, Qt::LeftButton);
    mouse(QEvent::MouseMove, 600, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, 600, Qt::NoButton);
    EXPECT_FALSE(plot.Live());
    EXPECT_LT(plot.ViewTo(), now);
    EXPECT_EQ(plot.ViewTo() - plot.ViewFrom(), 8 * 60'000);
    QMouseEvent twice(QEvent::MouseButtonDblClick, QPointF(500, 200), QPointF(500, 200),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&plot, &twice);
    EXPECT_TRUE(plot.Live());
    EXPECT_EQ(plot.ViewTo(), now);

    // Zooming in stops at the shortest span; a centred event is in the middle.
    for (int i = 0; i < 40; ++i)
        key(Qt::Key_Plus);
    const std::int64_t shortest = plot.ViewTo() - plot.ViewFrom();
    EXPECT_GT(shortest, 0);
    key(Qt::Key_Plus);
    EXPECT_EQ(plot.ViewTo() - plot.ViewFrom(), shortest);
    plot.CentreOn(T0 + 50'000);
    EXPECT_FALSE(plot.Live());
    EXPECT_EQ((plot.ViewFrom() + plot.ViewTo()) / 2, T0 + 50'000);
    plot.SetSpan(0);
    EXPECT_EQ(plot.ViewFrom(), T0); // everything: from the first frame
    EXPECT_GE(changes, 6);          // each change by hand was told
}

// The span box says the span a zoom shows, and goes back to its own spans when one is chosen.
TEST(HistoryWindow, TheSpanBoxSaysTheSpanAZoomShows) {
    BusHistory history;
    Script(history);
    HistoryWindow window(
        history, [] { return T0 + 60'000; }, nullptr);
    window.resize(1000, 700);
    auto* span = window.findChild<QComboBox*>("HistorySpan");
    ASSERT_EQ(span->currentText(), "10 minutes");
    HistoryPlot& plot = *window.Plot();
    for (const char* shown : {"8 minutes", "6 min 24 s"}) {
        QWheelEvent wheel(QPointF(300, 200), QPointF(300, 200), {}, QPoint(0, 120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&plot, &wheel);
        EXPECT_EQ(span->currentText(), shown);
    }
    span->setCurrentIndex(2);
    EXPECT_EQ(plot.ViewTo() - plot.ViewFrom(), 3'600'000);
    EXPECT_EQ(span->count(), 4);
    EXPECT_EQ(SpanText(4'500'000), "1 h 15 min");
}

// A recording of 30 hours, a status frame a minute: the window shows the day asked for, and
// its note says that it shows 24 of the 30 hours, and which.
TEST(HistoryWindow, ARecordingLongerThanTheHistorySaysWhichDayItShows) {
    QTemporaryDir dir;
    const QString path = dir.filePath("long.pcapng");
    std::vector<std::uint8_t> bytes;
    PcapngWriter::AppendHeader(bytes, {"test", "COM1", "Orvik bus"});
    StatusRecord s;
    s.SetNodePresent(0x01);
    const std::int64_t hour = 3'600'000;
    for (std::int64_t t = 0; t < 30 * hour; t += 60'000) {
        const Bytes frame = StatusFrame(s);
        PcapngWriter::AppendPacket(bytes, static_cast<std::uint64_t>(T0 + t) * 1'000'000, 1,
                                   frame.data(), frame.size(), "accepted");
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    file.close();

    QWidget parent;
    bool windowWentOn = false; // the file is read on a thread of its own
    QTimer::singleShot(0, [&] { windowWentOn = true; });
    std::unique_ptr<HistoryWindow> last(HistoryWindow::OpenRecording(path, &parent, -1));
    ASSERT_TRUE(last);
    EXPECT_TRUE(windowWentOn);
    EXPECT_TRUE(last->Note()->toolTip().startsWith("Shows 24 of the recording's 30 hours: "))
        << last->Note()->toolTip().toStdString();
    std::unique_ptr<HistoryWindow> first(HistoryWindow::OpenRecording(path, &parent, 0));
    ASSERT_TRUE(first);
    const BusHistory& h = first->History();
    EXPECT_EQ(h.FirstMs(), T0);
    EXPECT_EQ(h.LastMs(), T0 + 24 * hour - 60'000);
    const BusHistory& l = last->History();
    EXPECT_EQ(l.LastMs(), T0 + 30 * hour - 60'000);
    EXPECT_EQ(l.FirstMs(), T0 + 6 * hour - 60'000); // the day before its last frame
}

// Across midnight the time axis says the date where it changes.
TEST(HistoryWindow, TheTimeAxisSaysTheDateWhereTheSpanCrossesMidnight) {
    const auto at = [](int day, int h, int m) {
        return QDateTime(QDate(2026, 12, day), QTime(h, m)).toMSecsSinceEpoch();
    };
    const std::int64_t step = 10 * 60'000;
    EXPECT_EQ(HistoryPlot::AxisLabel(at(10, 23, 50), -1, step), "10 Dec 23:50");
    EXPECT_EQ(HistoryPlot::AxisLabel(at(11, 0, 0), at(10, 23, 50), step), "11 Dec 00:00");
    EXPECT_EQ(HistoryPlot::AxisLabel(at(11, 0, 10), at(11, 0, 0), step), "00:10");
    EXPECT_EQ(HistoryPlot::AxisLabel(at(11, 0, 10), at(11, 0, 0), 30'000), "00:10:00");
}

// The events table follows new events while it shows the newest, and stays where the user
// scrolled to otherwise.
TEST(HistoryWindow, TheEventsTableFollowsNewEventsUnlessScrolledAway) {
    BusHistory history;
    std::int64_t t = T0;
    const auto flip = [&](int times) {
        for (int i = 0; i < times; ++i, t += 20'000) {
            StatusRecord s;
            s.SetNodePresent(0x01);
            s.SetBreakerOn(0, i % 2 ? 0x01 : 0x00);
            history.AddStatus(t, s);
        }
    };
    flip(40);
    HistoryWindow window(
        history, [&t] { return t; }, nullptr);
    window.resize(900, 600);
    window.show();
    auto* table = window.findChild<QTableView*>("HistoryEvents");
    QScrollBar* bar = table->verticalScrollBar();
    const auto settle = [] {
        QTest::qWait(250); // the window's refresh runs ten times a second
    };
    settle();
    ASSERT_GT(bar->maximum(), 0) << "the events fit without scrolling";
    table->scrollToBottom();
    flip(10);
    settle();
    EXPECT_EQ(bar->value(), bar->maximum());
    bar->setValue(0);
    flip(10);
    settle();
    EXPECT_EQ(bar->value(), 0);
}
