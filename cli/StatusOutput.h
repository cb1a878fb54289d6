// The status record as orvik-cli prints it: one JSON object, or text for people.
#pragma once

#include "link/StatusRecord.h"

#include <nlohmann/json.hpp>

#include <string>

namespace orvik::cli {

using Json = nlohmann::ordered_json;

// {"nodes":[{"node":1,"present":true,"breakers":[{"on":..,"fault":..,"current":2.5},..],
// "voltage":13.7,"doubling":0,"power_on_mask":7,"wigwag":0,"wigwag_interval":0.5,"flasher":0,
// "dual_led":false,"profile":"Programmable"},{"node":2,"present":false},..]}. Amperes, volts,
// seconds. `onlyNode` 1..8 gives that node's entry alone, 0 all eight.
Json StatusJson(const StatusRecord& record, int onlyNode = 0);
std::string StatusText(const StatusRecord& record, int onlyNode = 0);

} // namespace orvik::cli
