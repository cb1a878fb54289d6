// events and export: what happened on the bus, live or in a recording.
#include "cli/Cli.h"
#include "cli/CliCommands.h"
#include "link/base/LocalTime.h"
#include "link/base/RegularFile.h"
#include "link/history/HistoryCsv.h"
#include "link/history/HistoryExport.h"
#include "link/history/HistoryRecorder.h"
#include "link/history/HistoryReplay.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <tuple>

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
    BusHistory history(HistoryLimits{.clockAheadMs = ClockJumps::LIVE_AHEAD_MS});
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
    // Rows and events go out as the capture is read; the files are made once it is one.
    std::ofstream csv;
    std::ofstream events;
    int csvError = 0; // why a file did not open
    int eventsError = 0;
    ExportSinks sinks;
    sinks.node = node;
    sinks.begin = [&] {
        if (!csvFile.empty()) {
            errno = 0;
            csv.open(csvFile, std::ios::binary | std::ios::trunc);
            csvError = csv ? 0 : errno;
        }
        if (!eventsFile.empty()) {
            errno = 0;
            events.open(eventsFile, std::ios::binary | std::ios::trunc);
            eventsError = events ? 0 : errno;
        }
    };
    if (!csvFile.empty())
        sinks.status = &csv;
    if (!eventsFile.empty())
        sinks.events = &events;
    if (csvFile.empty() && eventsFile.empty())
        sinks.onEvent = [&](const BusEvent& e) {
            if (ctx.json)
                ctx.out << EventJson(e) << '\n';
            else
                ctx.out << LocalTimeText(e.timeMs) << "  " << EventText(e) << '\n';
        };
    const ExportResult read = ExportCapture(capture, sinks);
    if (read.scan.NotACapture()) {
        ctx.Fail(read.scan.Ok() ? capture + ": not a capture of the Orvik bus (no interface of "
                                            "link type 147)"
                                : read.scan.error);
        return EXIT_USAGE;
    }
    if (read.scan.damagedBlocks > 0)
        ctx.Fail(capture + ": " + read.DamageText());
    if (!read.Ok())
        ctx.Fail(read.BreakText() + "; exported up to there");
    // A file that could not be written whole is not left half made.
    const std::tuple<std::ofstream*, const std::string*, int> files[] = {
        {&csv, &csvFile, csvError}, {&events, &eventsFile, eventsError}};
    for (auto [out, path, openError] : files) {
        if (path->empty())
            continue;
        // The write that failed is tried again as the file closes, and says why.
        errno = 0;
        out->close();
        const int error = openError != 0 ? openError : errno;
        if (!*out) {
            std::error_code ec;
            if (std::filesystem::is_regular_file(*path, ec)) // never a device such as /dev/full
                std::filesystem::remove(*path, ec);
            ctx.Fail("Unable to write to " + *path +
                     (error != 0 ? ": " + SystemErrorText(error) : std::string()));
            return EXIT_USAGE;
        }
    }
    ctx.out << std::flush;

    if (!csvFile.empty() || !eventsFile.empty()) {
        if (ctx.json) {
            Json nodes = Json::array();
            for (std::size_t n = 0; n < NODE_COUNT; ++n)
                if (read.nodes & BitMaskTable[n])
                    nodes.push_back(n + 1);
            Json summary = {{"capture", capture},
                            {"status_frames", read.statusFrames},
                            {"nodes", std::move(nodes)},
                            {"events", read.events},
                            {"complete", read.Ok()}};
            if (!read.Ok())
                summary["break"] = read.BreakText();
            if (read.scan.damagedBlocks > 0)
                summary["damaged_blocks"] = read.scan.damagedBlocks;
            ctx.Print(summary);
        } else {
            ctx.out << capture << ": " << read.statusFrames << " status frames, Orvik nodes "
                    << (read.nodes ? NodeList(read.nodes) : "none") << ", " << read.events
                    << " events" << std::endl;
        }
    }
    if (node != 0 && !(read.nodes & BitMaskTable[static_cast<std::size_t>(node - 1)])) {
        ctx.Fail("Orvik node " + std::to_string(node) + " is not in " + capture);
        return EXIT_NOT_CONFIRMED;
    }
    return EXIT_DONE;
}

} // namespace orvik::cli
