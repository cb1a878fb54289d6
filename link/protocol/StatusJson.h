// The status record as JSON, as `orvik-cli status --json` prints it and orvik-mqtt publishes
// each node's state.
#pragma once

#include "link/protocol/StatusRecord.h"

#include <nlohmann/json.hpp>

#include <cstddef>

namespace orvik {

// {"node":1,"present":true,"breakers":[{"on":..,"fault":..,"current":2.5},..],"voltage":13.7,
// "doubling":0,"power_on_mask":7,"wigwag":0,"wigwag_interval":0.5,"flasher":0,"dual_led":false,
// "profile":"Programmable"}, or {"node":2,"present":false}. Amperes, volts, seconds. `node`
// is 0..7.
nlohmann::ordered_json NodeStatusJson(const StatusRecord& record, std::size_t node);
// {"nodes":[...]}: the entries of all eight nodes, or of node `onlyNode` (1..8) alone.
nlohmann::ordered_json StatusJson(const StatusRecord& record, int onlyNode = 0);

} // namespace orvik
