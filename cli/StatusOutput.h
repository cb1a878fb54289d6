// The status record as orvik-cli prints it: one JSON object (link/protocol/StatusJson.h), or text
// for people.
#pragma once

#include "link/protocol/StatusJson.h"
#include "link/protocol/StatusRecord.h"

#include <string>

namespace orvik::cli {

using Json = nlohmann::ordered_json;

// People's text of every node, or of node `onlyNode` (1..8) alone.
std::string StatusText(const StatusRecord& record, int onlyNode = 0);

} // namespace orvik::cli
