#include "mqtt/CommandTopic.h"

#include "link/base/PrintableText.h"

namespace orvik::mqtt {

namespace {

// What a message names of outside text: printable, and short.
std::string Shown(std::string_view text) {
    constexpr std::size_t MOST = 64;
    std::string shown = PrintableText(text.substr(0, MOST));
    return text.size() > MOST ? shown + "..." : shown;
}

// One digit 1..8, nothing else.
int Number(std::string_view part) {
    return part.size() == 1 && part[0] >= '1' && part[0] <= '8' ? part[0] - '0' : 0;
}

// The topic's levels after the base, at most `most` + 1 of them; the count, 0 when the topic
// is not under the base.
std::size_t Levels(std::string_view base, std::string_view topic, std::string_view* parts,
                   std::size_t most) {
    std::size_t count = 0;
    if (topic.substr(0, base.size()) != base)
        return 0;
    std::string_view rest = topic.substr(base.size());
    for (; count <= most; ++count) {
        const std::size_t slash = rest.find('/');
        parts[count] = rest.substr(0, slash);
        if (slash == std::string_view::npos)
            return count + 1;
        rest.remove_prefix(slash + 1);
    }
    return count;
}

} // namespace

ReadSettingsPress ParseReadSettings(std::string_view base, std::string_view topic,
                                    std::string_view payload) {
    ReadSettingsPress p;
    // After the base: "", "node", N, "read_settings".
    std::string_view parts[5];
    if (Levels(base, topic, parts, 4) != 4 || !parts[0].empty() || parts[1] != "node" ||
        parts[3] != "read_settings") {
        p.problem = "\"" + Shown(topic) + "\" is no command topic of this bridge";
        return p;
    }
    p.node = Number(parts[2]);
    if (p.node == 0) {
        p.problem = "\"" + Shown(topic) + "\": the Orvik nodes are numbered 1 to 8";
        return p;
    }
    if (payload != "PRESS") {
        p.problem = "Orvik node " + std::to_string(p.node) + ": \"" + Shown(payload) +
                    "\" is no press of Read settings; it takes PRESS";
        return p;
    }
    p.ok = true;
    return p;
}

BreakerCommand ParseBreakerCommand(std::string_view base, std::string_view topic,
                                   std::string_view payload) {
    BreakerCommand c;
    const std::string named = "\"" + Shown(topic) + "\"";
    // After the base: "", "node", N, "breaker", B, "set".
    std::string_view parts[7];
    if (Levels(base, topic, parts, 6) != 6 || !parts[0].empty() || parts[1] != "node" ||
        parts[3] != "breaker" || parts[5] != "set") {
        c.problem = named + " is no command topic of this bridge";
        return c;
    }
    c.node = Number(parts[2]);
    c.breaker = Number(parts[4]);
    if (c.node == 0 || c.breaker == 0) {
        c.problem = named + ": the Orvik nodes and their breakers are numbered 1 to 8";
        return c;
    }
    if (payload != "ON" && payload != "OFF") {
        c.problem = "Orvik node " + std::to_string(c.node) + " breaker " +
                    std::to_string(c.breaker) + ": \"" + Shown(payload) +
                    "\" is no command; a breaker takes ON or OFF";
        return c;
    }
    c.on = payload == "ON";
    c.ok = true;
    return c;
}

} // namespace orvik::mqtt
