// A trace for fault reports from hardware we do not have. Turned on by the environment:
// ORVIK_TRACE=serial traces every port call (arguments, result, OS error), ORVIK_TRACE=line
// every change of the line's state (lost, reopening, receiving ...), ORVIK_TRACE=serial,line
// both; network ports add their steps to the serial trace; to standard error, or appended to FILE
// with ORVIK_TRACE=serial,line:FILE. Each line gives the seconds since the trace began and the
// thread.
#pragma once

#include "serial/PortBackend.h"

#include <cstdio>
#include <memory>
#include <string>

namespace orvik {

// OpenPortDevice, traced when the trace is on.
std::unique_ptr<TPortDevice> OpenTracedPortDevice(const std::string& path);

// A step of a network port (resolve, connect, each negotiation step and its answer), traced
// with the port calls.
void TracePortStep(const std::string& text);

// The line's state changes: whether they are traced, and one line of text.
bool LineTraceOn();
void TraceLineState(const std::string& text);

// Where the trace goes: set from the environment at first use; tests may point it at a file
// of their own, or turn it off with nullptr.
void SetPortTrace(std::FILE* out);

} // namespace orvik
