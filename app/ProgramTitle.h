// The program's name with its version, from the one version definition: the caption, the About
// box and the application named in saved captures.
#pragma once

#ifndef ORVIK_VERSION
#error "ORVIK_VERSION comes from the project's version"
#endif

inline constexpr const char* PROGRAM_TITLE = "Tarnwell Orvik interface version " ORVIK_VERSION;
