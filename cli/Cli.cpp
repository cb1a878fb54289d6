#include "cli/Cli.h"

#include "cli/CliCommands.h"

#include <CLI/CLI.hpp>

namespace orvik::cli {

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
           const std::atomic<bool>* stop) {
    CLI::App app{"Watches and configures a bus of Orvik circuit-breaker modules.", "orvik-cli"};
    app.set_version_flag("--version", "orvik-cli " ORVIK_VERSION);
    app.require_subcommand(1);
    app.fallthrough();
    app.footer("Node and breaker numbers count from 1; values in files are in tenths.\n"
               "Exit status: 0 done and confirmed; 1 something not confirmed; 2 bad usage or a\n"
               "bad file; 3 the port could not be opened or no status frame came within 2 s.");

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

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success))
            return app.exit(e, out, err); // --help, --version
        err << "orvik-cli: " << e.what() << "\nRun \"orvik-cli --help\" for the commands."
            << std::endl;
        return EXIT_USAGE;
    }

    const CliContext ctx{out, err, json, port, stop};
    if (*ports)
        return PortsCommand(ctx);
    if (*status)
        return StatusCommand(ctx, node, watch);
    if (*sw)
        return SwitchCommand(ctx, node, breaker, state == "on");
    if (*save)
        return SaveCommand(ctx, node, file);
    if (*diff)
        return DiffCommand(ctx, node, file);
    if (*capture)
        return CaptureCommand(ctx, file, seconds);
    return ApplyCommand(ctx, node, file, dryRun);
}

} // namespace orvik::cli
