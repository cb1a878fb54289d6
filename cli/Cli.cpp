#include "cli/Cli.h"

#include "cli/CliCommands.h"

#include "link/base/PrintableText.h"
#include "link/line/PortOpen.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <new>

namespace orvik::cli {

namespace {

// What the parser lets through but no command can use.
std::string UsageProblem(const std::string& port, bool capture, double seconds) {
    if (const std::string why = PortNameProblem(port); !why.empty())
        return "--port " + port + ": " + why;
    if (capture && !(std::isfinite(seconds) && seconds >= 0.1 && seconds <= 86400))
        return "--seconds: a number of seconds from 0.1 to 86400";
    return {};
}

// With --json a command that failed without a result says why in one object.
int Finish(const CliContext& ctx, int rc) {
    if (ctx.json && rc != EXIT_DONE && !ctx.printed) {
        std::string text;
        for (const auto& f : ctx.failures)
            text = ReasonThen(text, f);
        ctx.Print({{"error", text}, {"exit", rc}});
    }
    return rc;
}

} // namespace

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
           const std::atomic<bool>* stop) {
    CLI::App app{"Watches and configures a bus of Orvik circuit-breaker modules.", "orvik-cli"};
    app.set_version_flag("--version", "orvik-cli " ORVIK_VERSION);
    app.require_subcommand(1);
    app.fallthrough();
    app.footer("Node and breaker numbers count from 1; values in files are in tenths.\n"
               "Exit status: 0 done and confirmed; 1 something not confirmed; 2 bad usage, a bad\n"
               "file or a port name that is not well formed; 3 the port could not be opened or\n"
               "no status frame came within 2 s; 4 the port is no serial port.");

    std::string port;
    bool json = false;
    app.add_option("--port", port,
                   "COMn, a device path, rfc2217://HOST:PORT or socket://HOST:PORT (default: the "
                   "program's COM port)")
        ->type_name("COMn|PATH|URL");
    app.add_flag("--json", json, "print JSON, one object a line");

    auto* ports =
        app.add_subcommand("ports", "COM1..COM16, the device each reaches, present or not");

    int node = 0;
    bool watch = false;
    auto* status = app.add_subcommand("status", "what the bus reports, node by node");
    status->add_option("--node", node, "only this node")->check(CLI::Range(1, 8));
    status->add_flag("--watch", watch, "one report per status frame until interrupted");

    int breaker = 0;
    std::string state;
    auto* sw = app.add_subcommand("switch", "switch a breaker and wait until the bus shows it");
    sw->add_option("NODE", node, "node 1..8")->required()->check(CLI::Range(1, 8));
    sw->add_option("BREAKER", breaker, "breaker 1..8")->required()->check(CLI::Range(1, 8));
    sw->add_option("STATE", state, "on or off")->required()->check(CLI::IsMember({"on", "off"}));

    std::string file;
    bool dryRun = false;
    auto addNodeFile = [&](CLI::App* cmd) {
        cmd->add_option("NODE", node, "node 1..8")->required()->check(CLI::Range(1, 8));
        cmd->add_option("FILE", file, "node settings file")->required();
    };
    auto* save = app.add_subcommand("save", "save a node's settings to a file");
    addNodeFile(save);
    auto* diff = app.add_subcommand("diff", "the settings where a node and a file differ");
    addNodeFile(diff);
    auto* apply = app.add_subcommand("apply", "send a file's differences to a node and check them");
    addNodeFile(apply);
    apply->add_flag("--dry-run", dryRun, "only show what would be sent");

    double seconds = 10;
    auto* capture = app.add_subcommand("capture", "record what crosses the line as pcapng");
    capture->add_option("FILE", file, "the capture to write")->required();
    capture->add_option("--seconds", seconds, "how long (default 10; Ctrl-C ends it sooner)")
        ->check(CLI::Range(0.1, 86400.0));

    bool follow = false;
    auto* events = app.add_subcommand("events", "what happens on the live bus, in its words");
    events->add_option("--node", node, "only this node's events and the line's")
        ->check(CLI::Range(1, 8));
    events->add_flag("--follow", follow,
                     "go on printing each event as it happens until interrupted (without it: "
                     "the events of the first status frame)");

    std::string csvFile;
    std::string eventsFile;
    auto* exportCmd = app.add_subcommand(
        "export", "a recording (pcapng) as CSV and events; its events on standard output when "
                  "no file is given");
    exportCmd->add_option("CAPTURE", file, "the recording")->required();
    exportCmd
        ->add_option("--node", node,
                     "only this node (without it: every node, with a node "
                     "column)")
        ->check(CLI::Range(1, 8));
    exportCmd->add_option("--csv", csvFile, "one row per status frame (or per second)")
        ->type_name("FILE");
    exportCmd->add_option("--events", eventsFile, "the events as CSV")->type_name("FILE");

    std::string usage;
    try {
        app.parse(argc, argv);
        usage = UsageProblem(port, static_cast<bool>(*capture), seconds);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success))
            return app.exit(e, out, err); // --help, --version
        usage = e.what();
    }
    const CliContext ctx{out, err, json, port, stop, {}, false};
    if (!usage.empty()) {
        ctx.Fail(usage);
        err << "Run \"orvik-cli --help\" for the commands." << std::endl;
        return Finish(ctx, EXIT_USAGE);
    }

    int rc = EXIT_USAGE;
    try {
        if (*ports)
            rc = PortsCommand(ctx);
        else if (*status)
            rc = StatusCommand(ctx, node, watch);
        else if (*sw)
            rc = SwitchCommand(ctx, node, breaker, state == "on");
        else if (*save)
            rc = SaveCommand(ctx, node, file);
        else if (*diff)
            rc = DiffCommand(ctx, node, file);
        else if (*capture)
            rc = CaptureCommand(ctx, file, seconds);
        else if (*events)
            rc = EventsCommand(ctx, node, follow);
        else if (*exportCmd)
            rc = ExportCommand(ctx, file, node, csvFile, eventsFile);
        else
            rc = ApplyCommand(ctx, node, file, dryRun);
    } catch (const std::bad_alloc&) {
        ctx.Fail("out of memory");
    } catch (const std::exception& e) {
        ctx.Fail(e.what());
    }
    return Finish(ctx, rc);
}

} // namespace orvik::cli
