// The commands of orvik-cli, behind the command line.
#pragma once

#include "cli/StatusOutput.h"
#include "link/line/BusSession.h"

#include <atomic>
#include <ostream>
#include <string>
#include <vector>

namespace orvik::cli {

struct CliContext {
    std::ostream& out;
    std::ostream& err;
    bool json = false;
    std::string port; // empty: the port of the program's settings file
    const std::atomic<bool>* stop = nullptr;

    // "orvik-cli: <text>" on the error stream; with --json the failures also end the output
    // as one object {"error": ..., "exit": N}.
    void Fail(const std::string& text) const;
    // "orvik-cli: <text>" on the error stream, and the command goes on.
    void Warn(const std::string& text) const { err << "orvik-cli: " << text << std::endl; }
    mutable std::vector<std::string> failures;
    void Print(const Json& j) const {
        out << j.dump() << std::endl;
        printed = true;
    }
    mutable bool printed = false;
};

// "COM3 could not be opened: /dev/ttyUSB0 is not connected."; a path only once.
std::string OpenFailureText(const std::string& port, const std::string& reason);

// The exit status of an open that failed with `problem`: a port name that is not well formed is
// bad usage, a device that is no serial port has a status of its own, the rest is EXIT_NO_BUS.
int OpenFailureStatus(PortProblem problem);

// The program's settings file, said once when it cannot be read as one (the defaults are
// used then, and the file is never written).
std::string SettingsFileOf(const CliContext& ctx);

// Opens the port into `bus` and waits for the first status frame. Returns EXIT_DONE, or
// EXIT_NO_BUS with the reason told.
int OpenBus(const CliContext& ctx, BusSession& bus);

int PortsCommand(const CliContext& ctx);
int StatusCommand(const CliContext& ctx, int node, bool watch);
int SwitchCommand(const CliContext& ctx, int node, int breaker, bool on);
int SaveCommand(const CliContext& ctx, int node, const std::string& file);
int DiffCommand(const CliContext& ctx, int node, const std::string& file);
int ApplyCommand(const CliContext& ctx, int node, const std::string& file, bool dryRun);
int CaptureCommand(const CliContext& ctx, const std::string& file, double seconds);
// The events of the live bus (of `node` and the line; 0: all), as they happen with `follow`.
int EventsCommand(const CliContext& ctx, int node, bool follow);
// A recording as the status CSV and the events CSV, or its events on standard output.
int ExportCommand(const CliContext& ctx, const std::string& capture, int node,
                  const std::string& csvFile, const std::string& eventsFile);

} // namespace orvik::cli
