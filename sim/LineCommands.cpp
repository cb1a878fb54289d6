#include "sim/LineCommands.h"

#include <charconv>
#include <string>
#include <vector>

namespace orvik::sim {

namespace {

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
            ++i;
        if (i > start)
            out.push_back(line.substr(start, i - start));
    }
    return out;
}

bool Number(std::string_view word, unsigned min, unsigned max, unsigned& out) {
    unsigned v = 0;
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), v);
    if (ec != std::errc{} || end != word.data() + word.size() || v < min || v > max)
        return false;
    out = v;
    return true;
}

LineResult Fail(std::string text) {
    return {false, std::move(text)};
}
LineResult Done(std::string text) {
    return {true, std::move(text)};
}

bool OnOff(std::string_view word, bool& out) {
    if (word == "on" || word == "1") {
        out = true;
        return true;
    }
    if (word == "off" || word == "0") {
        out = false;
        return true;
    }
    return false;
}

} // namespace

const char* LineCommandHelp() {
    return "  join N                 node N (1..8) joins the bus (powers on)\n"
           "  leave N                node N leaves the bus\n"
           "  load N B TENTHS        load on breaker B (1..8) of node N, tenths of an ampere\n"
           "  trip N B CURRENT TIME  trip current (tenths of A, 1..65535) and time (tenths of s)\n"
           "  switch N B on|off      switch a breaker as a switch command would\n"
           "  poweron N MASK         power-on mask of node N (0..255)\n"
           "  profile N programmable | profile N fixed K   profile selection (K 1..256)\n"
           "  silence on|off         stop or resume all status frames\n"
           "  setup-reply on|off     answer breaker setup requests or not\n"
           "  show N                 print node N's breakers and settings\n"
           "  help                   this list\n"
           "  quit                   end the program\n";
}

LineResult RunLineCommand(std::string_view line, SimBus& bus, RunFlags& flags) {
    const auto w = Words(line);
    if (w.empty())
        return Done("");
    const std::string_view cmd = w[0];
    unsigned node = 0;
    unsigned breaker = 0;
    auto nodeArg = [&](std::size_t at) {
        return w.size() > at && Number(w[at], 1, NODE_COUNT, node);
    };
    auto breakerArg = [&](std::size_t at) {
        return w.size() > at && Number(w[at], 1, BREAKER_COUNT, breaker);
    };
    const std::string nodeText = "node " + (w.size() > 1 ? std::string(w[1]) : "");

    if (cmd == "help")
        return Done(LineCommandHelp());
    if (cmd == "quit" && w.size() == 1) {
        flags.quit = true;
        return Done("quitting");
    }
    if ((cmd == "join" || cmd == "leave") && w.size() == 2) {
        if (!nodeArg(1))
            return Fail("node must be 1..8");
        bus.SetPresent(node - 1, cmd == "join");
        return Done(nodeText + (cmd == "join" ? " joined" : " left"));
    }
    if (cmd == "load" && w.size() == 4) {
        unsigned tenths = 0;
        if (!nodeArg(1) || !breakerArg(2) || !Number(w[3], 0, 0xFFFF, tenths))
            return Fail("usage: load N B TENTHS (N, B 1..8, TENTHS 0..65535)");
        bus.Module(node - 1).breakers[breaker - 1].load = static_cast<std::uint16_t>(tenths);
        return Done("load set");
    }
    if (cmd == "trip" && w.size() == 5) {
        unsigned current = 0;
        unsigned time = 0;
        if (!nodeArg(1) || !breakerArg(2) || !Number(w[3], 1, 0xFFFF, current) ||
            !Number(w[4], 0, 255, time))
            return Fail("usage: trip N B CURRENT TIME (CURRENT 1..65535, TIME 0..255)");
        auto& b = bus.Module(node - 1).breakers[breaker - 1];
        b.tripCurrent = static_cast<std::uint16_t>(current);
        b.tripTime = static_cast<std::uint8_t>(time);
        return Done("trip set");
    }
    if (cmd == "switch" && w.size() == 4) {
        bool on = false;
        if (!nodeArg(1) || !breakerArg(2) || !OnOff(w[3], on))
            return Fail("usage: switch N B on|off");
        bus.Module(node - 1).Switch(breaker - 1, on);
        return Done("switched");
    }
    if (cmd == "poweron" && w.size() == 3) {
        unsigned mask = 0;
        if (!nodeArg(1) || !Number(w[2], 0, 255, mask))
            return Fail("usage: poweron N MASK (MASK 0..255)");
        bus.Module(node - 1).powerOnMask = static_cast<std::uint8_t>(mask);
        return Done("power-on mask set");
    }
    if (cmd == "profile" && (w.size() == 3 || w.size() == 4)) {
        unsigned number = 0;
        if (!nodeArg(1))
            return Fail("node must be 1..8");
        SimModule& m = bus.Module(node - 1);
        if (w.size() == 3 && w[2] == "programmable") {
            m.programmable = true;
            return Done("profile programmable");
        }
        if (w.size() == 4 && w[2] == "fixed" && Number(w[3], 1, 256, number)) {
            m.programmable = false;
            m.fixedProfile = static_cast<std::uint8_t>(number - 1);
            return Done("profile fixed");
        }
        return Fail("usage: profile N programmable | profile N fixed K (K 1..256)");
    }
    if ((cmd == "silence" || cmd == "setup-reply") && w.size() == 2) {
        bool on = false;
        if (!OnOff(w[1], on))
            return Fail("usage: " + std::string(cmd) + " on|off");
        if (cmd == "silence")
            flags.silent = on;
        else
            flags.setupReply = on;
        return Done(std::string(cmd) + (on ? " on" : " off"));
    }
    if (cmd == "show" && w.size() == 2) {
        if (!nodeArg(1))
            return Fail("node must be 1..8");
        const SimModule& m = bus.Module(node - 1);
        std::string out = nodeText + (bus.Present(node - 1) ? " present" : " absent") +
                          ", voltage " + std::to_string(m.InputVoltage()) + ", doubling " +
                          std::to_string(m.doublingOption) + ", wigwag " +
                          std::to_string(m.wigwagMode) + ", flasher " +
                          std::to_string(m.flasherMode) + "\n";
        for (std::size_t i = 0; i < BREAKER_COUNT; ++i) {
            const SimBreaker& b = m.breakers[i];
            out += "  breaker " + std::to_string(i + 1) + (m.OutputOn(i) ? " on " : " off") +
                   (b.fault ? " FAULT" : "") + " current " + std::to_string(m.MeasuredCurrent(i)) +
                   " load " + std::to_string(b.load) + " trip " + std::to_string(b.tripCurrent) +
                   "/" + std::to_string(b.tripTime) + "\n";
        }
        return Done(out);
    }
    return Fail("unknown command or wrong arguments: \"" + std::string(line) + "\" (try \"help\")");
}

void LoadDefaultModel(SimBus& bus) {
    // Node 1: programmable, breakers 1-3 on at power-on; breaker 2 close to its trip current.
    SimModule& n1 = bus.Module(0);
    n1.powerOnMask = 0x07;
    const std::uint16_t loads1[8] = {25, 48, 12, 60, 0, 33, 0, 5};
    for (std::size_t i = 0; i < BREAKER_COUNT; ++i)
        n1.breakers[i].load = loads1[i];
    n1.breakers[1].tripCurrent = 50;
    n1.breakers[1].tripTime = 20;

    // Node 2: fixed profile 3, wigwag flashing on breakers 7 and 8.
    SimModule& n2 = bus.Module(1);
    n2.programmable = false;
    n2.fixedProfile = 2;
    n2.powerOnMask = 0x01;
    n2.wigwagMode = 3;
    n2.wigwagInterval = 5;
    const std::uint16_t loads2[8] = {70, 0, 0, 0, 0, 0, 42, 42};
    for (std::size_t i = 0; i < BREAKER_COUNT; ++i)
        n2.breakers[i].load = loads2[i];

    // Node 4: programmable, 1+2 joined, flasher on breaker 5, dual LED.
    SimModule& n4 = bus.Module(3);
    n4.doublingOption = 1;
    n4.powerOnMask = 0x13;
    n4.flasherMode = 1;
    n4.dualLed = true;
    const std::uint16_t loads4[8] = {15, 15, 0, 0, 21, 0, 0, 0};
    for (std::size_t i = 0; i < BREAKER_COUNT; ++i)
        n4.breakers[i].load = loads4[i];

    bus.SetPresent(0, true);
    bus.SetPresent(1, true);
    bus.SetPresent(3, true);
}

} // namespace orvik::sim
