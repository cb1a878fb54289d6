// A whole capture file read into packets, for tests that check what a program wrote.
#pragma once

#include "link/capture/Pcapng.h"

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace orvik {

inline CaptureReadResult ReadPcapngFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        CaptureReadResult r;
        r.error = "cannot open " + path;
        return r;
    }
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    CaptureReadResult r = ReadPcapng(bytes.data(), bytes.size());
    if (!r.Ok())
        r.error = path + ": " + r.error;
    return r;
}

} // namespace orvik
