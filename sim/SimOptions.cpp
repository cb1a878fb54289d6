#include "sim/SimOptions.h"

#include "link/protocol/StatusRecord.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <string_view>

namespace orvik::sim {

namespace {

bool Unsigned(std::string_view s, std::uint64_t min, std::uint64_t max, std::uint64_t& out) {
    std::uint64_t v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc{} || end != s.data() + s.size() || v < min || v > max)
        return false;
    out = v;
    return true;
}

// "1:3:45" -> "1 3 45"; the line command checks the values.
std::string Fields(std::string_view s) {
    std::string out(s);
    std::replace(out.begin(), out.end(), ':', ' ');
    return out;
}

bool NodeList(std::string_view s, std::uint8_t& mask) {
    mask = 0;
    if (s == "none")
        return true;
    std::size_t i = 0;
    while (i <= s.size()) {
        const std::size_t comma = std::min(s.find(',', i), s.size());
        std::uint64_t n = 0;
        if (!Unsigned(s.substr(i, comma - i), 1, NODE_COUNT, n))
            return false;
        mask |= BitMaskTable[n - 1];
        i = comma + 1;
    }
    return true;
}

// "N:MS" -> timed "<verb> N".
bool NodeAt(std::string_view s, const char* verb, SimOptions& out) {
    const std::size_t colon = s.find(':');
    std::uint64_t node = 0;
    std::uint64_t at = 0;
    if (colon == std::string_view::npos || !Unsigned(s.substr(0, colon), 1, NODE_COUNT, node) ||
        !Unsigned(s.substr(colon + 1), 0, UINT32_MAX, at))
        return false;
    out.timed.push_back({at, std::string(verb) + " " + std::to_string(node)});
    return true;
}

} // namespace

const char* OptionsHelp() {
    return "Usage: orvik-bus-sim [options]\n"
           "Plays up to eight Orvik modules on a pseudo-terminal (default) or a serial device.\n"
           "The first line on standard output is the path of the line's far end; then one JSON\n"
           "line per command frame received (unless --log is given). Messages go to stderr.\n"
           "\n"
           "Line:\n"
           "  --device PATH        use a serial device instead of a pseudo-terminal (57600 8N1)\n"
           "  --link PATH          also make a symbolic link to the far end (removed at exit)\n"
           "  --listen tcp:PORT    serve the bus as raw TCP on 127.0.0.1:PORT, one client at a\n"
           "                       time (socket://127.0.0.1:PORT), instead of a line\n"
           "  --period MS          status frame period, 1..60000 (default 200)\n"
           "  --unpaced            write frames at once instead of at 57600 baud\n"
           "  --full-rate          status frames back to back at 57600 baud (for benchmarks)\n"
           "Model:\n"
           "  --nodes LIST         nodes present, e.g. 1,2,4 (default) or none\n"
           "  --load N:B:TENTHS    load of breaker B of node N in tenths of an ampere\n"
           "  --trip N:B:CUR:TIME  trip current (tenths of A) and trip time (tenths of s)\n"
           "  --profile N:programmable | N:fixed:K   profile selection of node N\n"
           "  --set 'COMMAND'      any line command below, run before the first frame\n"
           "  --seed N             seed of the random drift and faults (default 1)\n"
           "  --no-drift           currents equal the loads exactly\n"
           "Faults:\n"
           "  --noise N            up to N random bytes between frames\n"
           "  --corrupt PERCENT    that share of frames gets one byte changed\n"
           "  --pieces             write frames in random pieces with 1..20 ms gaps\n"
           "  --leave N:MS         node N leaves the bus MS ms after start\n"
           "  --join N:MS          node N joins the bus MS ms after start\n"
           "  --silence START:LEN  no frames from START ms on for LEN ms (0: for good)\n"
           "  --no-setup-reply     never answer breaker setup requests\n"
           "  --ignore N:CODE      node N ignores command code CODE (2..13); may be repeated\n"
           "Captures (pcapng; directions as the PC sees them: inbound is what the bus sends):\n"
           "  --capture FILE       write everything sent and received to FILE\n"
           "  --replay FILE        instead of the model's frames, play the inbound records of\n"
           "                       a capture (status frames, replies, noise, bad frames) at\n"
           "                       their recorded spacing; commands are still carried out and\n"
           "                       logged, setup requests are not answered\n"
           "  --speed X            replay X times as fast (0.01..1000, default 1)\n"
           "  --replay-loop        start the replay again after its last record\n"
           "Run:\n"
           "  --log FILE           JSON command lines to FILE instead of standard output\n"
           "  --trace-sent FILE    every frame queued: type, a blank, its data in hex\n"
           "  --exit-on-eof        end when standard input closes\n"
           "  --run-for MS         end after MS ms\n"
           "  --help               this text\n"
           "SIGINT and SIGTERM end the program cleanly.\n"
           "\n"
           "Commands on standard input, one a line:\n";
}

bool ParseOptions(int argc, const char* const* argv, SimOptions& out, std::string& error) {
    bool speedGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view opt = argv[i];
        auto value = [&](std::string_view& v) {
            if (i + 1 >= argc) {
                error = std::string(opt) + " needs a value";
                return false;
            }
            v = argv[++i];
            return true;
        };
        auto bad = [&](std::string_view v) {
            error = "bad value for " + std::string(opt) + ": \"" + std::string(v) + "\"";
            return false;
        };
        std::string_view v;
        std::uint64_t n = 0;
        if (opt == "--help" || opt == "-h") {
            out.help = true;
        } else if (opt == "--unpaced") {
            out.pacing = Pacing::Unpaced;
        } else if (opt == "--full-rate") {
            out.pacing = Pacing::FullRate;
        } else if (opt == "--no-drift") {
            out.drift = false;
        } else if (opt == "--pieces") {
            out.faults.pieces = true;
        } else if (opt == "--no-setup-reply") {
            out.setupReply = false;
        } else if (opt == "--exit-on-eof") {
            out.exitOnEof = true;
        } else if (opt == "--replay-loop") {
            out.replayLoop = true;
        } else if (opt == "--speed") {
            if (!value(v))
                return false;
            const std::string text(v);
            char* end = nullptr;
            const double speed = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || !(speed >= 0.01 && speed <= 1000))
                return bad(v);
            out.replaySpeed = speed;
            speedGiven = true;
        } else if (opt == "--device" || opt == "--link" || opt == "--log" ||
                   opt == "--trace-sent" || opt == "--capture" || opt == "--replay") {
            if (!value(v))
                return false;
            if (v.empty())
                return bad(v);
            std::string& field = opt == "--device"    ? out.device
                                 : opt == "--link"    ? out.link
                                 : opt == "--log"     ? out.logFile
                                 : opt == "--capture" ? out.captureFile
                                 : opt == "--replay"  ? out.replayFile
                                                      : out.traceSent;
            field = v;
        } else if (opt == "--listen") {
            if (!value(v))
                return false;
            if (v.substr(0, 4) != "tcp:" || !Unsigned(v.substr(4), 1, 65535, n))
                return bad(v);
            out.listenPort = static_cast<std::uint16_t>(n);
        } else if (opt == "--period") {
            if (!value(v))
                return false;
            if (!Unsigned(v, 1, 60000, n))
                return bad(v);
            out.periodMs = static_cast<unsigned>(n);
        } else if (opt == "--seed") {
            if (!value(v))
                return false;
            if (!Unsigned(v, 0, UINT32_MAX, n))
                return bad(v);
            out.seed = static_cast<std::uint32_t>(n);
        } else if (opt == "--noise") {
            if (!value(v))
                return false;
            if (!Unsigned(v, 0, 1000, n))
                return bad(v);
            out.faults.noiseMax = static_cast<unsigned>(n);
        } else if (opt == "--corrupt") {
            if (!value(v))
                return false;
            if (!Unsigned(v, 0, 100, n))
                return bad(v);
            out.faults.corruptPercent = static_cast<unsigned>(n);
        } else if (opt == "--run-for") {
            if (!value(v))
                return false;
            if (!Unsigned(v, 1, UINT32_MAX, n))
                return bad(v);
            out.runForMs = n;
        } else if (opt == "--nodes") {
            if (!value(v))
                return false;
            if (!NodeList(v, out.nodes))
                return bad(v);
            out.nodesGiven = true;
        } else if (opt == "--load" || opt == "--trip" || opt == "--profile") {
            if (!value(v))
                return false;
            out.startCommands.push_back(std::string(opt.substr(2)) + " " + Fields(v));
        } else if (opt == "--set") {
            if (!value(v))
                return false;
            out.startCommands.emplace_back(v);
        } else if (opt == "--leave" || opt == "--join") {
            if (!value(v))
                return false;
            if (!NodeAt(v, opt == "--leave" ? "leave" : "join", out))
                return bad(v);
        } else if (opt == "--ignore") {
            if (!value(v))
                return false;
            const std::size_t colon = v.find(':');
            std::uint64_t node = 0;
            std::uint64_t code = 0;
            if (colon == std::string_view::npos ||
                !Unsigned(v.substr(0, colon), 1, NODE_COUNT, node) ||
                !Unsigned(v.substr(colon + 1), 0, 255, code))
                return bad(v);
            out.ignored.push_back(
                {static_cast<std::uint8_t>(node - 1), static_cast<std::uint8_t>(code)});
        } else if (opt == "--silence") {
            if (!value(v))
                return false;
            const std::size_t colon = v.find(':');
            std::uint64_t start = 0;
            std::uint64_t length = 0;
            if (colon == std::string_view::npos ||
                !Unsigned(v.substr(0, colon), 0, UINT32_MAX, start) ||
                !Unsigned(v.substr(colon + 1), 0, UINT32_MAX, length))
                return bad(v);
            out.timed.push_back({start, "silence on"});
            if (length > 0)
                out.timed.push_back({start + length, "silence off"});
        } else {
            error = "unknown option \"" + std::string(opt) + "\" (see --help)";
            return false;
        }
    }
    if (out.replayFile.empty() && (speedGiven || out.replayLoop)) {
        error = "--speed and --replay-loop go with --replay";
        return false;
    }
    if (!out.replayFile.empty() &&
        (out.faults.noiseMax > 0 || out.faults.corruptPercent > 0 || out.faults.pieces)) {
        error = "--replay plays the capture as it is; leave out --noise, --corrupt and --pieces";
        return false;
    }
    if (!out.device.empty() && !out.link.empty()) {
        error = "--link goes with a pseudo-terminal, not with --device";
        return false;
    }
    std::stable_sort(out.timed.begin(), out.timed.end(),
                     [](const TimedCommand& a, const TimedCommand& b) { return a.atMs < b.atMs; });
    return true;
}

} // namespace orvik::sim
