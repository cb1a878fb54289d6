// Text from outside (a file, the line) shown in a message: bytes that are not printable are
// written as \xNN, so that a message never carries control characters or broken UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace orvik {

std::string PrintableText(std::string_view text);

} // namespace orvik
