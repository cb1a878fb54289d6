// Node settings files: writing, reading back, rewriting a file someone edited, and bad files.
#include "link/nodefiles/NodeSettingsFile.h"

#include <gtest/gtest.h>

using namespace orvik;

namespace {

void ReplaceLine(std::string& text, const std::string& start, const std::string& line,
                 std::size_t from = 0) {
    const auto at = text.find(start, from);
    ASSERT_NE(at, std::string::npos) << start;
    text.replace(at, text.find('\n', at) - at, line);
}

NodeSettings Sample() {
    NodeSettings s;
    s.number = 1;
    s.profile = NodeProfile{};
    for (SettingId id : AllSettings())
        s.Set(id, id.kind == SettingKind::TripCurrent ? 100
                  : id.kind == SettingKind::TripTime  ? 10
                                                      : 1);
    s.Set({SettingKind::PowerOnMask, 0}, 0x07);
    return s;
}

TEST(NodeSettingsFile, RoundTripKeepsCommentsOnRewrite) {
    const std::string saved = WriteNodeSettings("", Sample(), "2026-12-08T14:02:11Z");
    EXPECT_EQ(saved.rfind("; Orvik node settings, saved 2026-12-08T14:02:11Z", 0), 0u);
    EXPECT_NE(saved.find("PowerOnMask=0x07          ; breakers 1, 2, 3 on"), std::string::npos);
    EXPECT_NE(saved.find("TripCurrent=100           ; tenths of an ampere: 10.0 A"),
              std::string::npos);
    std::string error;
    auto back = ParseNodeSettings(saved, error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(back->settings.values, Sample().values);
    EXPECT_EQ(back->settings.profile, Sample().profile);

    // A technician edits one key, adds notes of his own, and the node is saved again with a
    // changed trip time.
    std::string edited = saved;
    ReplaceLine(edited, "DualLed=1", "DualLed=0                 ; Yes"); // the old reading
    ReplaceLine(edited, "[Breaker2]", "; van 12, rear box\n[Breaker2]");
    ReplaceLine(edited, "TripTime=10", "TripTime=10               ; keep short, pump motor",
                edited.find("[Breaker2]"));
    edited += "; fleet North\n";
    back = ParseNodeSettings(edited, error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(back->settings.Get({SettingKind::DualLed, 0}), 0);

    NodeSettings again = Sample();
    again.Set({SettingKind::DualLed, 0}, 0);
    again.Set({SettingKind::TripTime, 1}, 20);
    again.Set({SettingKind::TripTime, 2}, 30);
    const std::string rewritten = WriteNodeSettings(edited, again, "2026-12-09T08:00:00Z");
    for (const char* kept :
         {"; van 12, rear box", "; fleet North", "DualLed=0                 ; No",
          "TripTime=20               ; keep short, pump motor",
          "TripTime=30               ; tenths of a second: 3.0 seconds"})
        EXPECT_NE(rewritten.find(kept), std::string::npos) << kept;
    EXPECT_EQ(rewritten.find("2026-12-08"), std::string::npos);
    EXPECT_EQ(rewritten.find("[Breaker2]"), rewritten.rfind("[Breaker2]"));
}

TEST(NodeSettingsFile, EachErrorNamesItsLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"[Node]\nDoubling=1\nthis is not a setting\n", "line 3: not a [section]"},
        {"[Node]\nDoubling=5\n", "line 2: Doubling=5 is out of range"},
        {"[Node]\nWigwag=4\n", "line 2: Wigwag=4 is out of range"},
        {"[Node]\nPowerOnMask=0x100\n", "line 2: PowerOnMask=0x100 is out of range"},
        {"[Node]\nFlasher=two\n", "line 2: Flasher=two is not a number"},
        {"; notes\n[Breaker1]\nTripCurrent=11\n", "line 3: TripCurrent=11 is not in the list"},
        {"[Breaker8]\n\nTripTime=0 ; off\n", "line 3: TripTime=0 is not in the list"},
        {"[Node]\nDualLed=1\ndualled=0\n", "line 3: DualLed appears a second time"},
        {"[Breaker2]\n[breaker2]\n", "line 2: [Breaker2] appears a second time (first on line 1)"},
        {"Doubling=1\n[Node]\n", "line 1: \"Doubling\" comes before any"},
        {"[Node]\nNumber=9\n", "line 2: Number=9 is not a node number"},
        {"[Node]\nProfile=Fixed\n", "line 2: Profile=Fixed is neither"},
        {"[Node]\nFlasher=\n", "line 2: Flasher has no value"},
        // A typo in a section or key never passes as a setting.
        {"[Breaker9]\nTripCurrent=50\n", "line 1: [Breaker9] is not a section"},
        {"[Node]\n[Breaker0]\n", "line 2: [Breaker0] is not a section"},
        {"[Bogus]\n", "line 1: [Bogus] is not a section"},
        {"[Breaker2]\nTripCurent=50\n", "line 2: unknown key \"TripCurent\" in [Breaker2]"},
        // Line ends of any kind count lines; bytes that are not printable are shown escaped.
        {"[Breaker2]\rTripCurrent=999\r", "line 2: TripCurrent=999 is not in the list"},
        {"[Node]\r\n\x01\xff\r\n", "line 2: not a [section], a key=value or a ; comment: "
                                   "\"\\x01\\xFF\""},
    };
    for (const auto& [text, expected] : cases) {
        std::string error;
        EXPECT_FALSE(ParseNodeSettings(text, error)) << text;
        EXPECT_EQ(error.rfind(expected, 0), 0u) << error;
    }
    // A part file with hexadecimal is fine with CR LF, CR alone and a byte order mark, and a
    // save keeps the file's line end and mark.
    for (const std::string text :
         {"[Node]\r\nPowerOnMask=0x81 ; two\r\n", "\xEF\xBB\xBF[Node]\rPowerOnMask=0x81 ; two\r"}) {
        std::string error;
        const auto part = ParseNodeSettings(text, error);
        ASSERT_TRUE(part) << error;
        EXPECT_EQ(part->settings.Get({SettingKind::PowerOnMask, 0}), 0x81);
        EXPECT_FALSE(part->settings.Get({SettingKind::Doubling, 0}));
        NodeSettings changed;
        changed.Set({SettingKind::PowerOnMask, 0}, 0x03);
        const std::string saved = WriteNodeSettings(text, changed, "2026-12-09T08:00:00Z");
        const bool cr = text[0] != '[';
        EXPECT_EQ(saved, std::string(cr ? "\xEF\xBB\xBF" : "") + "[Node]" + (cr ? "\r" : "\r\n") +
                             "PowerOnMask=0x03 ; two" + (cr ? "\r" : "\r\n")); // the user's comment
        EXPECT_TRUE(ParseNodeSettings(saved, error)) << error;
    }
}

TEST(NodeSettingsFile, DiffListsOnlyTheFilesKeysThatDiffer) {
    NodeSettings node = Sample();
    node.values[SettingIndex({SettingKind::TripTime, 4})].reset(); // no setup reply
    NodeSettings file;
    file.Set({SettingKind::Flasher, 0}, 1);      // same
    file.Set({SettingKind::Wigwag, 0}, 3);       // differs
    file.Set({SettingKind::TripCurrent, 1}, 50); // differs
    file.Set({SettingKind::TripTime, 4}, 10);    // not known on the node
    const auto d = CompareSettings(node, file);
    ASSERT_EQ(d.size(), 3u);
    EXPECT_EQ(SettingName(d[0].id), "breaker 2 trip current"); // sending order
    EXPECT_EQ(d[0].now, 100);
    EXPECT_EQ(d[0].file, 50);
    EXPECT_EQ(SettingName(d[1].id), "breaker 5 trip time");
    EXPECT_FALSE(d[1].now);
    EXPECT_EQ(SettingName(d[2].id), "wigwag");
    EXPECT_EQ(SettingReading(d[2].id, d[2].file), "Wigwag is flashing");
}

} // namespace
