// A history as CSV, as spreadsheets read it whatever their locale: commas between fields, a
// point as the decimal separator, times as local ISO 8601 with milliseconds and the UTC offset.
//
// Status: one row per status frame of a node, or per second where the history holds seconds
// (then the second's last current and voltage, its last on/off, and a fault if any frame of it
// showed one). Columns: Time, [Node,] then for each breaker "Breaker 1 on", "Breaker 1 fault"
// (1 or 0) and "Breaker 1 current (A)", then "Input voltage (V)".
// Events: Time, Node, Breaker, Kind, Event (the text).
#pragma once

#include "link/history/BusHistory.h"

#include <cstdint>
#include <limits>
#include <ostream>
#include <string>

namespace orvik {

inline constexpr std::int64_t ALL_TIME_FROM = std::numeric_limits<std::int64_t>::min();
inline constexpr std::int64_t ALL_TIME_TO = std::numeric_limits<std::int64_t>::max();

// With `withNode`, the second column names the node.
std::string StatusCsvHeader(bool withNode);

// One status row of a point of node 1..8; with `node` 0, without the node column.
std::string StatusCsvRow(const HistoryPoint& point, int node);
// One event row, and the events' header.
std::string EventCsvRow(const BusEvent& event);
std::string EventsCsvHeader();

// Node 1..8, or 0 for every node (rows in time order, with the node column), over
// [fromMs, toMs). Returns the rows written.
std::size_t WriteStatusCsv(std::ostream& out, const BusHistory& history, int node,
                           std::int64_t fromMs = ALL_TIME_FROM, std::int64_t toMs = ALL_TIME_TO);

// Whether an event belongs to node 1..8 (the line's events belong to every node), or 0: all.
bool EventOfNode(const BusEvent& event, int node) noexcept;

std::size_t WriteEventsCsv(std::ostream& out, const BusHistory& history, int node,
                           std::int64_t fromMs = ALL_TIME_FROM, std::int64_t toMs = ALL_TIME_TO);

} // namespace orvik
