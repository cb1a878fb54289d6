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

} // namespace

BreakerCommand ParseBreakerCommand(std::string_view base, std::string_view topic,
                                   std::string_view payload) {
    BreakerCommand c;
    const std::string named = "\"" + Shown(topic) + "\"";
    // After the base: "", "node", N, "breaker", B, "set".
    std::string_view parts[7];
    std::size_t count = 0;
    if (topic.substr(0, base.size()) == base) {
        std::string_view rest = topic.substr(base.size());
        for (; count < 7; ++count) {
            const std::size_t slash = rest.find('/');
            parts[count] = rest.substr(0, slash);
            if (slash == std::string_view::npos) {
                ++count;
                break;
            }
            rest.remove_prefix(slash + 1);
        }
    }
    if (count != 6 || !parts[0].empty() || parts[1] != "node" || parts[3] != "breaker" ||
        parts[5] != "set") {
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
