// A message from the broker on a command topic, read with suspicion: only
// <base>/node/N/breaker/B/set with N and B 1..8 and the payload ON or OFF switch a breaker, and
// only <base>/node/N/read_settings with PRESS asks for a breaker setup.
#pragma once

#include <string>
#include <string_view>

namespace orvik::mqtt {

struct BreakerCommand {
    bool ok = false;
    int node = 0;    // 1..8
    int breaker = 0; // 1..8
    bool on = false;
    // When not ok: why, in the bus's words, naming the topic and payload as far as printable.
    std::string problem;
};

BreakerCommand ParseBreakerCommand(std::string_view base, std::string_view topic,
                                   std::string_view payload);

// A press of a node's "Read settings" button: <base>/node/N/read_settings with N 1..8 and the
// payload PRESS.
struct ReadSettingsPress {
    bool ok = false;
    int node = 0; // 1..8
    std::string problem;
};

ReadSettingsPress ParseReadSettings(std::string_view base, std::string_view topic,
                                    std::string_view payload);

} // namespace orvik::mqtt
