// Arbitrary node settings file text: the parser gives settings or an error naming a line, in
// printable text; a file it takes is saved again (any line end, a byte order mark kept) into a
// file that reads back to the same settings, and a save of other settings reads back to those.
#include "link/nodefiles/NodeSettingsFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Check(bool ok) {
    if (!ok)
        std::abort();
}

bool Printable(const std::string& text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto file = orvik::ParseNodeSettings(text, error);
    if (!file) {
        Check(error.rfind("line ", 0) == 0 && Printable(error));
        return 0;
    }
    const std::string saved =
        orvik::WriteNodeSettings(text, file->settings, "2026-12-09T08:00:00Z");
    auto back = orvik::ParseNodeSettings(saved, error);
    Check(back && back->settings.values == file->settings.values);

    // Other settings written into the same file read back as written.
    orvik::NodeSettings other;
    for (orvik::SettingId id : orvik::AllSettings())
        if (orvik::SettingValueValid(id, 1))
            other.Set(id, 1);
    back = orvik::ParseNodeSettings(orvik::WriteNodeSettings(text, other, "x"), error);
    Check(back.has_value());
    for (orvik::SettingId id : orvik::AllSettings())
        Check(back->settings.Get(id) == other.Get(id) ||
              (!other.Get(id) && back->settings.Get(id) == file->settings.Get(id)));
    return 0;
}
