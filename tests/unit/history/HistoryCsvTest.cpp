// CSV of a history: header, local times with milliseconds and offset, values with a point.
#include "link/history/HistoryCsv.h"
#include "tests/unit/history/HistoryTestSupport.h"

#include <gtest/gtest.h>

#include <locale>
#include <sstream>

using namespace orvik;
using namespace orvik::test;

namespace {

// A locale that writes numbers as 1.234,5, as many spreadsheets' users have it.
struct CommaDecimals : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

TEST(HistoryCsv, HeaderLocalTimesAndValuesWhateverTheLocale) {
    ScopedTimeZone cet("CET-1CEST,M3.5.0,M10.5.0/3");
    const std::int64_t t0 = 1'740'000'000'250; // 2025-02-19 22:20:00.250 in Berlin
    BusHistory h;
    StatusRecord r = Record(0x05);
    r.SetBreakerOn(0, 0x81);
    r.SetBreakerFault(0, 0x02);
    r.SetCurrent(0, 0, 12345);
    r.SetCurrent(0, 7, 7);
    r.SetInputVoltage(0, 138);
    h.AddStatus(t0, r);
    r.SetNodePresent(0x04);
    r.SetBreakerFault(2, 0x01);
    h.AddStatus(t0 + 36, r);

    std::ostringstream one;
    one.imbue(std::locale(std::locale::classic(), new CommaDecimals));
    EXPECT_EQ(WriteStatusCsv(one, h, 1), 1u);
    const std::string header =
        "Time,Breaker 1 on,Breaker 1 fault,Breaker 1 current (A),Breaker 2 on,Breaker 2 "
        "fault,Breaker 2 current (A),Breaker 3 on,Breaker 3 fault,Breaker 3 current (A),Breaker 4 "
        "on,Breaker 4 fault,Breaker 4 current (A),Breake"
        "r 5 on,Breaker 5 fault,Breaker 5 current (A),Breaker 6 on,Breaker 6 fault,Breaker 6 "
        "current (A),Breaker 7 on,Breaker 7 fault,Breaker 7 current (A),Breaker 8 on,Breaker 8 "
        "fault,Breaker 8 current (A),Input voltage (V)\n";
    EXPECT_EQ(StatusCsvHeader(false), header);
    EXPECT_EQ(one.str(), header + "2025-02-19T22:20:00.250+01:00,1,0,1234.5,0,1,0.0,0,0,0.0,0,0,"
                                  "0.0,0,0,0.0,0,0,0.0,0,0,0.0,1,0,0.7,13.8\n");

    // Every node: a node column, rows in time order.
    std::ostringstream all;
    EXPECT_EQ(WriteStatusCsv(all, h, 0), 3u);
    std::istringstream lines(all.str());
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line.rfind("Time,Node,Breaker 1 on,", 0), 0u);
    for (const char* start :
         {"2025-02-19T22:20:00.250+01:00,1,", "2025-02-19T22:20:00.250+01:00,3,",
          "2025-02-19T22:20:00.286+01:00,3,"}) {
        std::getline(lines, line);
        EXPECT_EQ(line.rfind(start, 0), 0u) << line;
    }

    std::ostringstream events;
    EXPECT_EQ(WriteEventsCsv(events, h, 3), 2u); // node 1 joined and left: not node 3's
    EXPECT_EQ(events.str(), "Time,Node,Breaker,Kind,Event\n"
                            "2025-02-19T22:20:00.250+01:00,3,,joined,Orvik node 3 joined the bus\n"
                            "2025-02-19T22:20:00.286+01:00,3,1,fault,\"Orvik node 3, breaker 1: "
                            "fault (tripped) at 0.0 A\"\n");
}

} // namespace
