// events and export: what happened on the bus, live or in a recording.
#include "cli/Cli.h"
#include "cli/CliCommands.h"
#include "link/base/LocalTime.h"
#include "link/history/HistoryCsv.h"
#include "link/history/HistoryRecorder.h"
#include "link/history/HistoryReplay.h"

#include <cstdio>
#include <fstream>

namespace orvik::cli {

namespace {

// Prints the events from `next` on that belong to `node` (0: all); moves `next` past them.
void PrintEvents(const CliContext& ctx, const BusHistory& history, int node, std::uint64_t& next) {
    const BusEventLog& events = history.Events();
    for (next = std::max(next, events.FirstSeq()); next < events.NextSeq(); ++next) {
        const BusEvent& e = *events.Find(next);
        if (!EventOfNode(e, node))
            continue;
        if (ctx.json)
            ctx.out << EventJson(e) << '\n';
        else
            ctx.out << LocalTimeText(e.timeMs) << "  " << EventText(e) << '\n';
    }
    ctx.out << std::flush;
}

// Writes a CSV file through `write`; false (told) when the file cannot be written.
template <typename Write>
bool WriteCsv(const CliContext& ctx, const std::string& path, Write&& write) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out)
        write(out);
    out.close();
    if (!out) {
        std::remove(path.c_str());
        ctx.Fail("Unable to write to " + path);
        return false;
    }
    return true;
}

std::string NodeList(std::uint8_t mask) {
    std::string out;
    for (std::size_t n = 0; n < NODE_COUNT; ++n)
        if (mask & BitMaskTable[n])
            out += (out.empty() ? "" : ", ") + std::to_string(n + 1);
    return out;
}

} // namespace

int EventsCommand(const CliContext& ctx, int node, bool follow) {
    BusSession bus(ctx.stop);
    BusHistory history;
    HistoryRecorder recorder(history);
    bus.Link().SetWatcher(&recorder);
    if (const int rc = OpenBus(ctx, bus))
        return rc;
    std::uint64_t next = 0;
    PrintEvents(ctx, history, node, next);
    if (follow) {
        bus.OnStatus = bus.OnTick = [&](LinkTime) {
            recorder.Tick();
            PrintEvents(ctx, history, node, next);
        };
        bus.RunUntil([] { return false; }, LinkTime::max());
    }
    return EXIT_DONE;
}

int ExportCommand(const CliContext& ctx, const std::string& capture, int node,
                  const std::string& csvFile, const std::string& eventsFile) {
    BusHistory history;
    const ReplayResult read = ReplayCapture(capture, history);
    if (read.scan.NotACapture()) {
        ctx.Fail(read.scan.Ok() ? capture + ": not a capture of the Orvik bus (no interface of "
                                            "link type 147)"
                                : read.scan.error);
        return EXIT_USAGE;
    }
    if (!read.Ok())
        ctx.Fail(read.BreakText() + "; exported up to there");
    if (!csvFile.empty() &&
        !WriteCsv(ctx, csvFile, [&](std::ostream& out) { WriteStatusCsv(out, history, node); }))
        return EXIT_USAGE;
    if (!eventsFile.empty() &&
        !WriteCsv(ctx, eventsFile, [&](std::ostream& out) { WriteEventsCsv(out, history, node); }))
        return EXIT_USAGE;

    if (csvFile.empty() && eventsFile.empty()) {
        std::uint64_t next = 0;
        PrintEvents(ctx, history, node, next);
    } else if (ctx.json) {
        Json nodes = Json::array();
        for (std::size_t n = 0; n < NODE_COUNT; ++n)
            if (history.Nodes() & BitMaskTable[n])
                nodes.push_back(n + 1);
        Json summary = {{"capture", capture},
                        {"status_frames", read.statusFrames},
                        {"nodes", std::move(nodes)},
                        {"events", history.Events().Size()},
                        {"complete", read.Ok()}};
        if (!read.Ok())
            summary["break"] = read.BreakText();
        ctx.Print(summary);
    } else {
        ctx.out << capture << ": " << read.statusFrames << " status frames, Orvik nodes "
                << (history.Nodes() ? NodeList(history.Nodes()) : "none") << ", "
                << history.Events().Size() << " events" << std::endl;
    }
    if (node != 0 && !(history.Nodes() & BitMaskTable[static_cast<std::size_t>(node - 1)])) {
        ctx.Fail("Orvik node " + std::to_string(node) + " is not in " + capture);
        return EXIT_NOT_CONFIRMED;
    }
    return EXIT_DONE;
}

} // namespace orvik::cli
