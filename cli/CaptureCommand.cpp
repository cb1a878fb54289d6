// capture: what crosses the line, for a while, into a pcapng capture written as it comes.
#include "cli/Cli.h"
#include "cli/CliCommands.h"
#include "link/base/LocalTime.h"
#include "link/base/RunClock.h"
#include "link/capture/CaptureWriter.h"
#include "link/line/LineConnection.h"
#include "link/protocol/StatusTexts.h"
#include "link/settings/Settings.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

namespace orvik::cli {

int CaptureCommand(const CliContext& ctx, const std::string& file, double seconds) {
    // The file first: a capture that cannot be written is not recorded at all.
    CaptureWriter capture;
    BusSession bus(ctx.stop);
    std::string port = ctx.port;
    const std::string settings = SettingsFileOf(ctx);
    if (port.empty())
        port = ComDeviceName(ReadCommsPort(settings));
    if (!capture.Open(
            file, {"orvik-cli " ORVIK_VERSION, port, "Orvik bus; inbound: from the bus to the PC"},
            ctx.stop)) {
        ctx.Fail(file + " cannot be written: " + capture.Error());
        return EXIT_NO_BUS;
    }
    // A silent or garbled line is worth recording too: no status frame is waited for.
    std::string error;
    if (!bus.Open(port, ReadPortMap(settings), settings, error)) {
        capture.Close();
        ctx.Fail(OpenFailureText(port, error));
        return OpenFailureStatus(bus.OpenProblem());
    }
    const FrameLog& log = bus.StartLog();
    // A line lost and back is said as it happens, and again at the end (exit 3): the capture
    // holds what came before and after, and nothing of the gap.
    const RunClock clock;
    std::int64_t lostAtMs = -1;
    std::vector<std::string> gaps;
    const auto lostText = [&] { return "line lost at " + LocalClockText(lostAtMs); };
    bus.OnLine = [&](LineStatus state) {
        if (state == LineStatus::Lost && lostAtMs < 0) {
            lostAtMs = clock.NowMs();
            ctx.Warn(lostText());
        } else if (lostAtMs >= 0 &&
                   (state == LineStatus::Receiving || state == LineStatus::Silent ||
                    state == LineStatus::NoFrames)) {
            char after[32];
            std::snprintf(after, sizeof after, "%.1f",
                          static_cast<double>(clock.NowMs() - lostAtMs) / 1000.0);
            gaps.push_back(lostText() + ", back after " + after + " s");
            ctx.Warn(gaps.back());
            lostAtMs = -1;
        }
    };
    bus.OnTick = [&](LinkTime) {
        capture.AppendNew(log);
        capture.Flush(SteadyMilliseconds());
    };
    const auto until = LinkClock::now() + std::chrono::milliseconds(std::lround(seconds * 1000));
    bus.RunUntil([&capture] { return !capture.IsOpen(); }, until);
    bus.OnTick = nullptr;
    bus.OnLine = nullptr;
    if (lostAtMs >= 0)
        gaps.push_back(lostText() + ", not back");
    capture.AppendNew(log);
    if (!capture.Close()) {
        ctx.Fail(file + " cannot be written: " + capture.Error() + "; the capture holds what " +
                 "was written before");
        return EXIT_NO_BUS;
    }
    const std::uint64_t accepted = log.Counters().Of(FrameOutcome::Accepted);
    if (ctx.json)
        ctx.Print({{"file", file}, {"records", capture.Records()}, {"accepted", accepted}});
    else
        ctx.out << file << ": " << capture.Records() << " records, " << accepted
                << " frames accepted" << std::endl;
    if (!gaps.empty()) {
        std::string text;
        for (const std::string& g : gaps)
            text += (text.empty() ? "" : "; ") + g;
        ctx.Fail(text);
        return EXIT_NO_BUS;
    }
    return EXIT_DONE;
}

} // namespace orvik::cli
