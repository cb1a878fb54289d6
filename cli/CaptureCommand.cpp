// capture: what crosses the line, for a while, into a pcapng capture.
#include "cli/Cli.h"
#include "cli/CliCommands.h"
#include "link/FileReplace.h"
#include "link/Pcapng.h"
#include "link/Settings.h"
#include "link/StatusTexts.h"

#include <chrono>
#include <cmath>

namespace orvik::cli {

int CaptureCommand(const CliContext& ctx, const std::string& file, double seconds) {
    BusSession bus(ctx.stop);
    std::string port = ctx.port;
    const std::string settings = SettingsFilePath();
    if (port.empty())
        port = ComDeviceName(ReadCommsPort(settings));
    // A silent or garbled line is worth recording too: no status frame is waited for.
    std::string error;
    if (!bus.Open(port, ReadPortMap(settings), settings, error)) {
        ctx.Fail(port + " could not be opened: " + error);
        return EXIT_NO_BUS;
    }
    const FrameLog& log = bus.StartLog();
    const auto until = LinkClock::now() + std::chrono::milliseconds(std::lround(seconds * 1000));
    bus.RunUntil([] { return false; }, until);

    const std::vector<std::uint8_t> bytes =
        CaptureOfLog(log, {"orvik-cli " ORVIK_VERSION, bus.PortName(),
                           "Orvik bus; inbound: from the bus to the PC"});
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (ReplaceFileWhole(file, text) != ReplaceResult::Replaced) {
        ctx.Fail("Unable to write to " + file);
        return EXIT_USAGE;
    }
    const std::uint64_t accepted = log.Counters().Of(FrameOutcome::Accepted);
    if (ctx.json)
        ctx.Print({{"file", file}, {"records", log.Size()}, {"accepted", accepted}});
    else
        ctx.out << file << ": " << log.Size() << " records, " << accepted << " frames accepted"
                << std::endl;
    return EXIT_DONE;
}

} // namespace orvik::cli
