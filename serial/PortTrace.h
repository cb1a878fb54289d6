// A trace of every port call, for fault reports from hardware we do not have. Turned on by
// the environment: ORVIK_TRACE=serial writes to standard error, ORVIK_TRACE=serial:FILE
// appends to FILE. Each line gives the seconds since the trace began, the thread, the call
// with its arguments, its result and the OS error.
#pragma once

#include "PortBackend.h"

#include <cstdio>
#include <memory>
#include <string>

namespace orvik {

// OpenPortDevice, traced when the trace is on.
std::unique_ptr<TPortDevice> OpenTracedPortDevice(const std::string& path);

// Where the trace goes: set from the environment at first use; tests may point it at a file
// of their own, or turn it off with nullptr.
void SetPortTrace(std::FILE* out);

} // namespace orvik
