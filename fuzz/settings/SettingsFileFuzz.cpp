// Arbitrary settings-file contents: reading never fails; a file that cannot be a settings file
// (binary bytes) reads as the defaults and is never written; for any other, writing the port
// number changes only the CommsPort line of [Setup] (or adds it, and the section), keeps every
// other line byte for byte and the [Ports] section as it reads; the written value reads back.
#include "link/settings/Settings.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

void Check(bool ok) {
    if (!ok)
        std::abort();
}

std::string dir;
std::string file;

void RemoveFiles() {
    std::remove(file.c_str());
    rmdir(dir.c_str());
}

const std::string& FilePath() {
    if (file.empty()) {
        char pattern[] = "/tmp/orvik-fuzz-settings-XXXXXX";
        Check(mkdtemp(pattern) != nullptr);
        dir = pattern;
        file = dir + "/Orvik.INI";
        std::atexit(RemoveFiles);
    }
    return file;
}

void WriteFile(const std::string& path, std::string_view text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    Check(static_cast<bool>(out));
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    Check(static_cast<bool>(in));
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Lines with their "\n", if any.
std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        const std::size_t n = nl == std::string_view::npos ? text.size() : nl + 1;
        lines.push_back(text.substr(0, n));
        text.remove_prefix(n);
    }
    return lines;
}

bool IsEol(std::string_view s) {
    return s == "\n" || s == "\r\n";
}

// A line the write may add: the key or the section header, ended by either newline.
bool IsAddedLine(std::string_view line, const std::string& keyLine) {
    for (std::string_view body : {std::string_view(keyLine), std::string_view("[Setup]")}) {
        if (line.size() > body.size() && line.substr(0, body.size()) == body &&
            IsEol(line.substr(body.size())))
            return true;
    }
    return false;
}

// `after` is `before` with the CommsPort value of one line replaced by `value`: same bytes up
// to the value, same line end.
bool IsValueReplaced(std::string_view before, std::string_view after, const std::string& value) {
    const std::size_t eq = before.find('=');
    if (eq == std::string_view::npos)
        return false;
    std::size_t from = eq + 1;
    while (from < before.size() && (before[from] == ' ' || before[from] == '\t'))
        ++from;
    // The line end stays, and so does a "\r" before it or at the end of the file.
    std::string_view end;
    if (before.size() >= 2 && before.substr(before.size() - 2) == "\r\n")
        end = "\r\n";
    else if (!before.empty() && (before.back() == '\n' || before.back() == '\r'))
        end = before.substr(before.size() - 1);
    if (from > before.size() - end.size())
        return false;
    std::string expected(before.substr(0, from));
    expected += value;
    expected += end;
    return after == expected;
}

void CheckOnlyCommsPortChanged(std::string_view before, std::string_view after,
                               std::uint8_t value) {
    const auto a = Lines(before);
    const auto b = Lines(after);
    std::size_t prefix = 0;
    while (prefix < a.size() && prefix < b.size() && a[prefix] == b[prefix])
        ++prefix;
    std::size_t suffix = 0;
    while (suffix < a.size() - prefix && suffix < b.size() - prefix &&
           a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix])
        ++suffix;
    const std::vector<std::string_view> oldMid(a.begin() + prefix, a.end() - suffix);
    const std::vector<std::string_view> newMid(b.begin() + prefix, b.end() - suffix);
    const std::string number = std::to_string(value);
    const std::string keyLine = "CommsPort=" + number;

    if (oldMid.empty() && newMid.empty())
        return; // the value was there already
    if (oldMid.size() == 1 && newMid.size() == 1 && IsValueReplaced(oldMid[0], newMid[0], number))
        return;
    std::size_t added = 0;
    if (oldMid.size() == 1) {
        // The last line had no newline; the write ended it and added after it.
        Check(prefix + 1 == a.size() && a.back().back() != '\n');
        Check(!newMid.empty() && newMid[0].substr(0, oldMid[0].size()) == oldMid[0] &&
              IsEol(newMid[0].substr(oldMid[0].size())));
        added = 1;
    } else {
        Check(oldMid.empty());
    }
    Check(newMid.size() > added && newMid.size() - added <= 2);
    for (std::size_t k = added; k < newMid.size(); ++k)
        Check(IsAddedLine(newMid[k], keyLine));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::uint8_t value = data[0];
    const std::string before(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string& path = FilePath();
    WriteFile(path, before);

    orvik::ReadCommsPort(path);
    const auto ports = orvik::ReadPorts(path);
    for (const auto& [number, device] : ports)
        Check(number >= 1 && number <= orvik::MAX_COM_PORT && !device.empty());

    const bool usable = orvik::SettingsFileProblem(path).empty();
    if (!usable) {
        Check(orvik::ReadCommsPort(path) == 0 && ports.empty());
        bool refused = false;
        try {
            orvik::WriteCommsPort(path, value);
        } catch (const orvik::SettingsWriteError&) {
            refused = true;
        }
        Check(refused && ReadFile(path) == before);
        return 0;
    }
    try {
        orvik::WriteCommsPort(path, value);
    } catch (const orvik::SettingsWriteError&) {
        Check(false);
    }
    const std::string after = ReadFile(path);
    CheckOnlyCommsPortChanged(before, after, value);
    Check(orvik::ReadCommsPort(path) == value);
    Check(orvik::ReadPorts(path) == ports);
    return 0;
}
