#include "link/base/PrintableText.h"

#include <cstdio>

namespace orvik {

namespace {

// The length of the valid UTF-8 sequence of two to four bytes at `at`, or 0.
std::size_t Utf8Sequence(std::string_view text, std::size_t at) {
    const auto b = static_cast<unsigned char>(text[at]);
    const std::size_t length = b >= 0xF0 && b <= 0xF4 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 ? 2 : 0;
    if (length == 0 || length > 4 || at + length > text.size() || b > 0xF4)
        return 0;
    for (std::size_t i = 1; i < length; ++i)
        if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80)
            return 0;
    const auto second = static_cast<unsigned char>(text[at + 1]);
    if ((b == 0xE0 && second < 0xA0) || (b == 0xED && second > 0x9F) ||
        (b == 0xF0 && second < 0x90) || (b == 0xF4 && second > 0x8F))
        return 0; // overlong, a surrogate, or beyond U+10FFFF
    return length;
}

} // namespace

std::string PrintableText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b >= 0x20 && b < 0x7F) {
            out += text[i++];
            continue;
        }
        if (const std::size_t n = b >= 0x80 ? Utf8Sequence(text, i) : 0) {
            out.append(text.substr(i, n));
            i += n;
            continue;
        }
        char escaped[5];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", b);
        out += escaped;
        ++i;
    }
    return out;
}

std::string ReasonThen(std::string reason, std::string_view clause) {
    while (!reason.empty() && (reason.back() == '.' || reason.back() == ' '))
        reason.pop_back();
    if (reason.empty())
        return std::string(clause);
    if (clause.empty())
        return reason;
    if (reason.back() != '?' && reason.back() != '!')
        return reason + "; " + std::string(clause);
    std::string sentence(clause);
    if (sentence[0] >= 'a' && sentence[0] <= 'z')
        sentence[0] = static_cast<char>(sentence[0] - 'a' + 'A');
    return reason + " " + sentence;
}

} // namespace orvik
