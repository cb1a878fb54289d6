// Text from outside (a file, the line) shown in a message: bytes that are not printable are
// written as \xNN, so that a message never carries control characters or broken UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace orvik {

std::string PrintableText(std::string_view text);

// A reason and what follows from it: "... not known; waiting for it". The reason's full stop
// goes; after a question the clause is a sentence of its own ("... RFC 2217 mode? Waiting for
// it"), never "?;".
std::string ReasonThen(std::string reason, std::string_view clause);

} // namespace orvik
