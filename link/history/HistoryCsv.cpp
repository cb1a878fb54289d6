#include "link/history/HistoryCsv.h"

#include "link/base/LocalTime.h"
#include "link/protocol/StatusTexts.h"

#include <array>

namespace orvik {

namespace {

void StatusRow(std::string& row, const HistoryPoint& p, int node) {
    row = LocalTimeText(p.timeMs);
    if (node > 0) { // appended apart: GCC 12 at -O3 warns of an overlap in "," + text
        row += ',';
        row += std::to_string(node);
    }
    const std::uint8_t fault = p.wholeSecond ? p.faultAny : p.fault;
    for (std::size_t b = 0; b < BREAKER_COUNT; ++b) {
        row += (p.on & BitMaskTable[b]) ? ",1" : ",0";
        row += (fault & BitMaskTable[b]) ? ",1," : ",0,";
        row += FormatTenths(p.current[b]);
    }
    row += ",";
    row += FormatTenths(p.voltage);
    row += "\n";
}

std::string Quoted(const std::string& text) {
    if (text.find_first_of(",\"\n") == std::string::npos)
        return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

} // namespace

std::string StatusCsvRow(const HistoryPoint& point, int node) {
    std::string row;
    StatusRow(row, point, node);
    return row;
}

std::string EventsCsvHeader() {
    return "Time,Node,Breaker,Kind,Event\n";
}

std::string EventCsvRow(const BusEvent& e) {
    return LocalTimeText(e.timeMs) + ',' + (e.node ? std::to_string(e.node) : "") + ',' +
           (e.breaker ? std::to_string(e.breaker) : "") + ',' + EventKindName(e.kind) + ',' +
           Quoted(EventText(e)) + '\n';
}

std::string StatusCsvHeader(bool withNode) {
    std::string h = withNode ? "Time,Node" : "Time";
    for (std::size_t b = 1; b <= BREAKER_COUNT; ++b) {
        const std::string name = ",Breaker " + std::to_string(b);
        h += name + " on" + name + " fault" + name + " current (A)";
    }
    return h + ",Input voltage (V)\n";
}

std::size_t WriteStatusCsv(std::ostream& out, const BusHistory& history, int node,
                           std::int64_t fromMs, std::int64_t toMs) {
    out << StatusCsvHeader(node == 0);
    // One cursor per node written; rows of several nodes go out in time order.
    std::array<std::size_t, NODE_COUNT> at{};
    std::array<std::size_t, NODE_COUNT> end{};
    for (int n = 1; n <= static_cast<int>(NODE_COUNT); ++n) {
        const auto i = static_cast<std::size_t>(n - 1);
        if (node != 0 && n != node)
            continue;
        at[i] = history.PointIndexAt(n, fromMs);
        end[i] = history.PointIndexAt(n, toMs);
    }
    std::size_t rows = 0;
    std::string row;
    for (;;) {
        int next = 0;
        HistoryPoint best;
        for (int n = 1; n <= static_cast<int>(NODE_COUNT); ++n) {
            const auto i = static_cast<std::size_t>(n - 1);
            if (at[i] >= end[i])
                continue;
            HistoryPoint p = history.Point(n, at[i]);
            if (next == 0 || p.timeMs < best.timeMs) {
                next = n;
                best = p;
            }
        }
        if (next == 0)
            return rows;
        ++at[static_cast<std::size_t>(next - 1)];
        StatusRow(row, best, node == 0 ? next : 0);
        out << row;
        ++rows;
    }
}

bool EventOfNode(const BusEvent& e, int node) noexcept {
    return node == 0 || e.node == 0 || e.node == node;
}

std::size_t WriteEventsCsv(std::ostream& out, const BusHistory& history, int node,
                           std::int64_t fromMs, std::int64_t toMs) {
    out << EventsCsvHeader();
    const BusEventLog& events = history.Events();
    std::size_t rows = 0;
    for (std::uint64_t seq = events.SeqAt(fromMs); seq < events.NextSeq(); ++seq) {
        const BusEvent& e = *events.Find(seq);
        if (e.timeMs >= toMs)
            break;
        if (!EventOfNode(e, node))
            continue;
        out << EventCsvRow(e);
        ++rows;
    }
    return rows;
}

} // namespace orvik
