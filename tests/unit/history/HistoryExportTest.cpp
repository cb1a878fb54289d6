// A recording exported as it is read: the same rows and events as its history, any length of
// it, and its clock's jumps told without moving or losing anything.
#include "link/history/HistoryExport.h"
#include "link/base/LocalTime.h"
#include "link/capture/Pcapng.h"
#include "link/history/HistoryCsv.h"
#include "tests/unit/history/HistoryTestSupport.h"
#include "tests/unit/link/LinkTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

using namespace orvik;
using namespace orvik::test;

namespace {

constexpr std::int64_t T0 = 1'740'000'000'000; // ms since 1970
constexpr std::int64_t MINUTE = 60'000;
constexpr std::int64_t DAY = 24 * 3600 * 1000;

// A recording of node 2 at the given times; breaker 4 trips at frame `tripAt` and a command
// switches it on again at frame `commandAt`.
struct Recording {
    std::vector<std::uint8_t> bytes;
    std::string path;

    Recording(const std::string& name, const std::vector<std::int64_t>& times, std::size_t tripAt,
              std::size_t commandAt)
        : path(::testing::TempDir() + name) {
        PcapngWriter::AppendHeader(bytes, {"test", "COM1", "Orvik bus"});
        StatusRecord r = Record(0x02);
        r.SetBreakerOn(1, 0x08);
        r.SetCurrent(1, 3, 64);
        for (std::size_t i = 0; i < times.size(); ++i) {
            const auto ns = static_cast<std::uint64_t>(times[i]) * 1'000'000;
            if (i == tripAt) {
                r.SetBreakerOn(1, 0x00);
                r.SetBreakerFault(1, 0x08);
            }
            if (i == commandAt) {
                const Bytes command = {0xD5, 0x82, 0x06, 0x03, 0x01, 0x03, 0x01, 0x0E, 0x06};
                PcapngWriter::AppendPacket(bytes, ns - 100'000'000, 2, command.data(),
                                           command.size(), "sent");
                r.SetBreakerOn(1, 0x08);
                r.SetBreakerFault(1, 0x00);
            }
            r.SetCurrent(1, 0, static_cast<std::uint16_t>(i % 1000));
            const Bytes frame = StatusFrame(r);
            PcapngWriter::AppendPacket(bytes, ns, 1, frame.data(), frame.size(), "accepted");
        }
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    ~Recording() { std::remove(path.c_str()); }
};

struct Exported {
    ExportResult result;
    std::string status;
    std::string events;
};

Exported Export(const std::string& path, int node = 0) {
    std::ostringstream status;
    std::ostringstream events;
    ExportSinks sinks;
    sinks.node = node;
    sinks.status = &status;
    sinks.events = &events;
    Exported e{ExportCapture(path, sinks), {}, {}};
    e.status = status.str();
    e.events = events.str();
    return e;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

// The time column of a row.
std::string TimeOf(const std::string& row) {
    return row.substr(0, row.find(','));
}

TEST(HistoryExport, AnOrdinaryRecordingGivesTheRowsAndEventsOfItsHistory) {
    std::vector<std::int64_t> times;
    for (int i = 0; i < 50; ++i)
        times.push_back(T0 + i * 200);
    const Recording rec("export-ordinary.pcapng", times, 20, 30);
    BusHistory history;
    ASSERT_TRUE(ReplayCapture(rec.path, history).Ok());
    for (int node : {0, 2}) {
        std::ostringstream status;
        std::ostringstream events;
        WriteStatusCsv(status, history, node);
        WriteEventsCsv(events, history, node);
        const Exported e = Export(rec.path, node);
        EXPECT_EQ(e.status, status.str());
        EXPECT_EQ(e.events, events.str());
        EXPECT_EQ(e.result.events, history.Events().Size());
        EXPECT_EQ(e.result.nodes, history.Nodes());
    }
    EXPECT_EQ(Lines(Export(rec.path).events).size(), 6u); // header, joined, fault, ...
}

// One status frame a minute for 30 hours: every hour is exported, the first one too.
TEST(HistoryExport, ARecordingLongerThanTheDayKeptIsExportedWhole) {
    ScopedTimeZone utc("UTC0");
    std::vector<std::int64_t> times;
    for (std::int64_t i = 0; i < 30 * 60; ++i)
        times.push_back(T0 + i * MINUTE);
    const Recording rec("export-30h.pcapng", times, 60, 120);
    const Exported e = Export(rec.path);
    ASSERT_TRUE(e.result.Ok()) << e.result.scan.error;
    const std::vector<std::string> rows = Lines(e.status);
    ASSERT_EQ(rows.size(), 1 + times.size());
    EXPECT_EQ(TimeOf(rows[1]), "2025-02-19T21:20:00.000+00:00");
    for (std::size_t i = 1; i < rows.size(); i += 60)
        EXPECT_EQ(TimeOf(rows[i]), LocalTimeText(times[i - 1])) << i;
    // The trip of the second hour is there.
    EXPECT_NE(e.events.find("2025-02-19T22:20:00.000+00:00,2,4,fault,"), std::string::npos)
        << e.events;
}

// One frame stamped six days ahead, the next ones back on time: every row at its own time,
// every event kept, and the two jumps of the clock told.
TEST(HistoryExport, AClockJumpingAheadAndBackMovesAndLosesNothing) {
    ScopedTimeZone utc("UTC0");
    std::vector<std::int64_t> times;
    for (std::int64_t i = 0; i < 60; ++i)
        times.push_back(T0 + i * 1000);
    times[30] += 6 * DAY;
    const Recording rec("export-clock.pcapng", times, 40, 50);
    const Exported e = Export(rec.path);
    const std::vector<std::string> rows = Lines(e.status);
    ASSERT_EQ(rows.size(), 61u);
    for (std::size_t i = 0; i < times.size(); ++i)
        EXPECT_EQ(TimeOf(rows[i + 1]), LocalTimeText(times[i])) << i;
    const std::vector<std::string> events = Lines(e.events);
    const std::vector<std::string> expected = {
        "Time,Node,Breaker,Kind,Event",
        "2025-02-19T21:20:00.000+00:00,2,,joined,Orvik node 2 joined the bus",
        "2025-02-25T21:20:30.000+00:00,,,clock_jumped,the computer's clock jumped by +6 d",
        "2025-02-19T21:20:31.000+00:00,,,clock_jumped,the computer's clock jumped by -6 d",
        "2025-02-19T21:20:40.000+00:00,2,4,fault,\"Orvik node 2, breaker 4: fault (tripped) at "
        "6.4 A\"",
        "2025-02-19T21:20:49.900+00:00,2,4,command,\"switch breaker 4 on, node 2\"",
        "2025-02-19T21:20:50.000+00:00,2,4,fault_cleared,\"Orvik node 2, breaker 4: fault "
        "cleared\"",
        "2025-02-19T21:20:50.000+00:00,2,4,switched_on,\"Orvik node 2, breaker 4 switched on after "
        "a command from this program\"",
    };
    EXPECT_EQ(events, expected);

    // The history keeps every frame, in order, on the clock it ends with.
    BusHistory history;
    ASSERT_TRUE(ReplayCapture(rec.path, history).Ok());
    ASSERT_EQ(history.PointCount(2), 60u);
    EXPECT_EQ(history.Point(2, 0).timeMs, T0);
    EXPECT_EQ(history.Point(2, 59).timeMs, times[59]);
    EXPECT_EQ(history.Point(2, 31).timeMs, times[31]);
    std::size_t jumps = 0;
    for (auto seq = history.Events().FirstSeq(); seq < history.Events().NextSeq(); ++seq)
        jumps += history.Events().Find(seq)->kind == EventKind::ClockJumped;
    EXPECT_EQ(jumps, 2u);
    EXPECT_EQ(JumpText(-2 * 3600 * 1000 - 5), "-2 h");
    EXPECT_EQ(JumpText(35'400), "+35 s");
}

} // namespace
