// ports, status, switch, and opening the bus.
#include "cli/Cli.h"
#include "cli/CliCommands.h"
#include "cli/PortList.h"
#include "link/protocol/StatusTexts.h"
#include "link/settings/Settings.h"

#include <cstdio>

namespace orvik::cli {

namespace {

constexpr auto SILENCE_NOTICE = std::chrono::seconds(2);

} // namespace

std::string OpenFailureText(const std::string& port, const std::string& reason) {
    // A port is named once: "/tmp is not a serial port."
    if (reason.find(port) != std::string::npos)
        return reason;
    return port + " could not be opened: " + reason;
}

int OpenFailureStatus(PortProblem problem) {
    if (problem == PortProblem::BadAddress)
        return EXIT_USAGE;
    return problem == PortProblem::NotSerial ? EXIT_NOT_SERIAL : EXIT_NO_BUS;
}

void CliContext::Fail(const std::string& text) const {
    err << "orvik-cli: " << text << std::endl;
    failures.push_back(text);
}

std::string SettingsFileOf(const CliContext& ctx) {
    const std::string settings = SettingsFilePath();
    if (const std::string problem = SettingsFileProblem(settings); !problem.empty())
        ctx.Warn(settings + " cannot be read as a settings file: it " + problem +
                 "; the defaults are used and the file is left as it is");
    return settings;
}

int OpenBus(const CliContext& ctx, BusSession& bus) {
    std::string port = ctx.port;
    const std::string settings = SettingsFileOf(ctx);
    const PortMap map = ReadPortMap(settings);
    if (port.empty())
        port = ComDeviceName(ReadCommsPort(settings));
    std::string error;
    if (!bus.Open(port, map, settings, error)) {
        ctx.Fail(OpenFailureText(port, error));
        return OpenFailureStatus(bus.OpenProblem());
    }
    bool status = false;
    bus.OnStatus = [&status](LinkTime) { status = true; };
    const bool came = bus.RunUntil([&status] { return status; }, LinkClock::now() + REPLY_WAIT);
    bus.OnStatus = nullptr;
    if (!came) {
        ctx.Fail(bus.StopRequested() ? "interrupted"
                 : bus.LineWasLost() ? "line lost: " + bus.LineText()
                 : bus.BytesWithoutFrames()
                     ? port + ": " + NO_VALID_FRAME_TEXT
                     : "no status frame from the bus on " + port + " within 2 s");
        return EXIT_NO_BUS;
    }
    return EXIT_DONE;
}

int PortsCommand(const CliContext& ctx) {
    const std::string settings = SettingsFileOf(ctx);
    const auto ports = ListPorts(ReadPortMap(settings), ReadSeenPortMap(settings));
    if (ctx.json) {
        Json list = Json::array();
        for (const auto& p : ports)
            list.push_back({{"name", p.name},
                            {"device", p.device},
                            {"present", p.present},
                            {"network", p.network},
                            {"remembered", p.remembered}});
        ctx.Print({{"ports", std::move(list)}});
        return EXIT_DONE;
    }
    for (const auto& p : ports)
        ctx.out << PortLine(p) << "\n";
    return EXIT_DONE;
}

int StatusCommand(const CliContext& ctx, int node, bool watch) {
    BusSession bus(ctx.stop);
    if (const int rc = OpenBus(ctx, bus))
        return rc;
    auto show = [&] {
        const StatusRecord& record = bus.Link().StatusRecord;
        if (ctx.json)
            ctx.Print(StatusJson(record, node));
        else
            ctx.out << StatusText(record, node) << (watch ? "\n" : "") << std::flush;
    };
    show();
    if (!watch)
        return EXIT_DONE;
    // The line as the status line tells it, between the reports: silent, lost, back.
    auto tell = [&](const char* word, const std::string& text) {
        if (ctx.json)
            ctx.Print({{"line", word}, {"text", text}});
        else
            ctx.out << text << "\n\n" << std::flush;
    };
    LinkTime lastStatus = LinkClock::now();
    bool quiet = false;
    bus.OnStatus = [&](LinkTime t) {
        if (quiet)
            tell(LineStatusWord(LineStatus::Receiving), "status frames again");
        quiet = false;
        lastStatus = t;
        show();
    };
    bus.OnTick = [&](LinkTime t) {
        if (!quiet && t - lastStatus >= SILENCE_NOTICE &&
            bus.Supervisor().State() != LineStatus::Lost) {
            quiet = true;
            if (bus.Supervisor().State() == LineStatus::NoFrames)
                tell(LineStatusWord(LineStatus::NoFrames), NO_VALID_FRAME_TEXT);
            else
                tell(LineStatusWord(LineStatus::Silent), "no status frame for 2 s");
        }
    };
    bus.OnLine = [&](LineStatus state) {
        if (state == LineStatus::Lost || state == LineStatus::Reopening ||
            state == LineStatus::Failed) {
            quiet = true;
            tell(LineStatusWord(state), bus.LineText());
        }
    };
    bus.RunUntil([] { return false; }, LinkTime::max());
    return EXIT_DONE;
}

int SwitchCommand(const CliContext& ctx, int node, int breaker, bool on) {
    BusSession bus(ctx.stop);
    bus.SetNode(node);
    if (const int rc = OpenBus(ctx, bus))
        return rc;
    LinkState& link = bus.Link();
    const auto n = static_cast<std::size_t>(node - 1);
    const std::string what =
        "Orvik node " + std::to_string(node) + " breaker " + std::to_string(breaker);
    if (!link.StatusRecord.IsNodePresent(n)) {
        ctx.Fail("Orvik node " + std::to_string(node) + " is not on the bus");
        return EXIT_NOT_CONFIRMED;
    }
    const std::uint8_t payload[2] = {static_cast<std::uint8_t>(breaker - 1),
                                     static_cast<std::uint8_t>(on ? 1 : 0)};
    link.SendCommand(static_cast<std::uint8_t>(n), CMD_SWITCH_BREAKER, payload, 2);

    bool shown = false;
    bus.OnStatus = [&](LinkTime) {
        const bool isOn = link.StatusRecord.BreakerOn(n) & BitMaskTable[payload[0]];
        shown = link.StatusRecord.IsNodePresent(n) && isOn == on;
    };
    const bool ok = bus.RunUntil([&shown] { return shown; }, LinkClock::now() + REPLY_WAIT);
    const char* state = on ? "on" : "off";
    if (ctx.json)
        ctx.Print({{"node", node}, {"breaker", breaker}, {"on", on}, {"confirmed", ok}});
    else if (ok)
        ctx.out << what << " is " << state << "." << std::endl;
    if (!ok)
        ctx.Fail(what + " did not show " + state + " within 2 s");
    return ok ? EXIT_DONE : EXIT_NOT_CONFIRMED;
}

} // namespace orvik::cli
