// Parsing of switch descriptions, through the model as the widget uses it.
#include "switchmodel/SwitchModel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace orvik;

namespace {

// A model whose messages are collected.
struct Parsed {
    SwitchModel model;
    std::vector<std::string> messages;

    explicit Parsed(std::vector<std::string> list) {
        model.SetReporter([this](const std::string& m) { messages.push_back(m); });
        model.AssignSwitches(std::move(list));
    }
    const TSwitchRecord& operator[](std::size_t i) const { return model.Records().at(i); }
};

std::string Message(const std::string& entry) {
    return INVALID_SWITCH_INFO + entry;
}

} // namespace

TEST(NextField, SplitsOnCommasOnlyAndKeepsBlanks) {
    const std::string s = "a b, c,,d,";
    std::size_t pos = 1;
    std::string item;
    EXPECT_TRUE(NextField(s, pos, item));
    EXPECT_EQ(item, "a b");
    EXPECT_EQ(pos, 5u);
    EXPECT_TRUE(NextField(s, pos, item));
    EXPECT_EQ(item, " c");
    EXPECT_FALSE(NextField(s, pos, item)); // empty between two commas
    EXPECT_TRUE(NextField(s, pos, item));
    EXPECT_EQ(item, "d");
    EXPECT_FALSE(NextField(s, pos, item)); // after the trailing comma
    EXPECT_FALSE(NextField(s, pos, item)); // past the end
    EXPECT_EQ(pos, s.size() + 1);
}

TEST(StrToIntDef, ReadsLikeTheRuntime) {
    EXPECT_EQ(StrToIntDef("12", -7), 12);
    EXPECT_EQ(StrToIntDef("   12", -7), 12);
    EXPECT_EQ(StrToIntDef("+12", -7), 12);
    EXPECT_EQ(StrToIntDef("-12", -7), -12);
    EXPECT_EQ(StrToIntDef("007", -7), 7);
    EXPECT_EQ(StrToIntDef("$1F", -7), 31);
    EXPECT_EQ(StrToIntDef("0x1f", -7), 31);
    EXPECT_EQ(StrToIntDef("0X100", -7), 256);
    EXPECT_EQ(StrToIntDef("-$10", -7), -16);
    EXPECT_EQ(StrToIntDef("2147483647", -7), 2147483647);
    EXPECT_EQ(StrToIntDef("$FFFFFFFF", -7), -1);
    // Not integers.
    for (const char* s : {"", " ", "12 ", "1a", "1.5", "$", "0x", "$G", "x12", "- 1", "+",
                          "2147483648", "99999999999999999999", "$100000000", "\t5"})
        EXPECT_EQ(StrToIntDef(s, -7), -7) << '"' << s << '"';
}

TEST(ParseSwitchInfo, AcceptsGoodEntries) {
    Parsed p({"Breaker 1,toggle,1", "Pump,ROCKER,2,fourth item", "Horn,RedPush,  3",
              "Lamp,redgreenpush,256", "Fan,toggle,$10", "Aux,toggle,0x20", "Ü Ä,toggle,+9"});
    EXPECT_TRUE(p.messages.empty());
    EXPECT_TRUE(p.model.Parsed());
    EXPECT_EQ(p[0].Designation, "Breaker 1");
    EXPECT_EQ(p[0].Kind, KIND_TOGGLE);
    EXPECT_EQ(p[0].Id, 1);
    EXPECT_EQ(p[1].Kind, KIND_ROCKER);
    EXPECT_EQ(p[1].Id, 2);
    EXPECT_EQ(p[2].Kind, KIND_REDPUSH);
    EXPECT_EQ(p[2].Id, 3);
    EXPECT_EQ(p[3].Kind, KIND_REDGREENPUSH);
    EXPECT_EQ(p[3].Id, 256);
    EXPECT_EQ(p[4].Id, 16);
    EXPECT_EQ(p[5].Id, 32);
    EXPECT_EQ(p[6].Designation, "Ü Ä");
    EXPECT_EQ(p[6].Id, 9);
    for (const TSwitchRecord& r : p.model.Records())
        EXPECT_EQ(r.State, STATE_UNDEFINED);
}

TEST(ParseSwitchInfo, RejectsBadEntriesWithTheWholeEntryInTheMessage) {
    const std::vector<std::string> bad = {
        "Breaker 1, toggle,1",   // blank before the kind
        ",toggle,1",             // empty designation
        "Breaker 1,toggle",      // no number
        "Breaker 1,toggle,",     // trailing comma, nothing behind it
        "Breaker 1,toggle,0",    // below 1
        "Breaker 1,toggle,257",  // above 256
        "Breaker 1,toggle,one",  // no integer
        "Breaker 1,toggle,1 ",   // something behind the digits
        "Breaker 1,lever,1",     // unknown kind
        "Breaker 1,,1",          // empty kind
        "Breaker 1",             // one item
        "",                      // empty string
        "Breaker 1,toggle,-1",   // negative
        "Breaker 1,toggle,$101", // 257 in hexadecimal
    };
    for (const std::string& entry : bad) {
        Parsed p({entry});
        EXPECT_FALSE(p.model.Parsed()) << entry;
        ASSERT_EQ(p.messages.size(), 1u) << entry;
        EXPECT_EQ(p.messages[0], Message(entry));
        // The failing record keeps what the rebuild left.
        EXPECT_EQ(p[0].Designation, "") << entry;
        EXPECT_EQ(p[0].Kind, KIND_TOGGLE) << entry;
        EXPECT_EQ(p[0].Id, NO_ID) << entry;
    }
}

TEST(ParseSwitchInfo, CutsALongDesignationToThirtyCharacters) {
    const std::string forty = "0123456789abcdefghijABCDEFGHIJklmnopqrst";
    Parsed p({forty + ",toggle,1"});
    EXPECT_TRUE(p.model.Parsed());
    EXPECT_EQ(p[0].Designation, forty.substr(0, 30));
    // Characters, not bytes: a two-byte letter is never split.
    std::string umlauts;
    for (int i = 0; i < 40; ++i)
        umlauts += "ä";
    Parsed q({umlauts + ",toggle,1"});
    EXPECT_EQ(q[0].Designation, umlauts.substr(0, 60));
}

TEST(ParseSwitchInfo, StopsAtTheFirstBadEntryAndReportsItOnce) {
    Parsed p({"A,toggle,1", "B,toggle,0", "C,rocker,3", "D,nothing,4"});
    EXPECT_FALSE(p.model.Parsed());
    ASSERT_EQ(p.messages.size(), 1u);
    EXPECT_EQ(p.messages[0], Message("B,toggle,0"));
    EXPECT_EQ(p[0].Designation, "A");
    EXPECT_EQ(p[0].Id, 1);
    for (std::size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(p[i].Designation, "");
        EXPECT_EQ(p[i].Kind, KIND_TOGGLE);
        EXPECT_EQ(p[i].Id, NO_ID);
    }
    // A good list clears the condition.
    p.model.AssignSwitches({"A,toggle,1"});
    EXPECT_TRUE(p.model.Parsed());
    EXPECT_EQ(p.messages.size(), 1u);
}

TEST(ParseSwitchInfo, EmptyListIsParsedAndHasNoRecords) {
    Parsed p({});
    EXPECT_TRUE(p.model.Parsed());
    EXPECT_TRUE(p.messages.empty());
    EXPECT_EQ(p.model.GetNumberOfSwitches(), 0);
    EXPECT_EQ(p.model.GetStatusDataPointer(), nullptr);
    EXPECT_FALSE(p.model.HitTest(40, 10).has_value());
}
