#include "mqtt/SetupRequests.h"

namespace orvik::mqtt {

void SetupRequests::Saw(const BusEvent& event) {
    if (event.node < 1 || event.node > due_.size())
        return;
    // A trip setting that changed is known already: it came in a setup reply.
    if (event.kind == EventKind::Joined ||
        (event.kind == EventKind::SettingChanged && event.breaker == 0))
        due_[event.node - 1u] = true;
    else if (event.kind == EventKind::Left)
        due_[event.node - 1u] = false;
}

bool SetupRequests::Press(int node, std::int64_t nowMs) {
    const auto n = static_cast<std::size_t>(node - 1);
    if (node < 1 || n >= due_.size() || nowMs - pressedMs_[n] < PRESS_SPACING_MS)
        return false;
    pressedMs_[n] = nowMs;
    due_[n] = true;
    return true;
}

std::optional<int> SetupRequests::Next(std::int64_t nowMs) {
    if (nowMs - lastMs_ < SPACING_MS)
        return std::nullopt;
    for (std::size_t n = 0; n < due_.size(); ++n)
        if (due_[n]) {
            due_[n] = false;
            lastMs_ = nowMs;
            return static_cast<int>(n + 1);
        }
    return std::nullopt;
}

} // namespace orvik::mqtt
