#include "link/protocol/StatusTexts.h"

#include "link/protocol/StatusRecord.h"

namespace orvik {

void FormatTenths(std::uint32_t value, ShortText& out) noexcept {
    char digits[12];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    if (n == 1)
        digits[n++] = '0';
    out.Clear();
    for (int i = n - 1; i >= 1; --i)
        out.Append(digits[i]);
    out.Append('.');
    out.Append(digits[0]);
}

std::string FormatTenths(std::uint32_t value) {
    ShortText t;
    FormatTenths(value, t);
    return t.Str();
}

const char* JoiningOptionText(std::uint8_t option) noexcept {
    switch (option) {
    case 0:
        return "8 individual breakers";
    case 1:
        return "1+2 are joined";
    case 2:
        return "1+2 and 3+4 are joined";
    case 3:
        return "1+2+3 are joined";
    case 4:
        return "1+2+3 and 5+6 are joined";
    default:
        return "Unknown option";
    }
}

const char* WigwagModeText(std::uint8_t mode) noexcept {
    static constexpr const char* texts[4] = {"No wigwag enabled", "Wigwag is off",
                                             "Wigwag is steady", "Wigwag is flashing"};
    return texts[mode & 3];
}

const char* FlasherModeText(std::uint8_t mode) noexcept {
    switch (mode) {
    case 0:
        return "No Flasher enabled";
    case 1:
        return "Flasher on breaker 5";
    case 2:
        return "Flasher on breakers 5 and 6";
    default:
        return nullptr;
    }
}

const char* DualLedText(bool on) noexcept {
    return on ? "Yes" : "No";
}

void PowerOnText(std::uint8_t mask, ShortText& out) noexcept {
    out.Clear();
    for (std::uint8_t bit : BitMaskTable)
        out.Append((mask & bit) ? "On " : "Off ");
}

void ProfileText(std::uint8_t optionFlags, std::uint8_t fixedProfile, ShortText& out) noexcept {
    if (optionFlags & OPT_PROGRAMMABLE) {
        out.Assign("Programmable");
        return;
    }
    out.Assign("Fixed ");
    unsigned number = fixedProfile + 1u;
    char digits[4];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number != 0);
    while (n > 0)
        out.Append(digits[--n]);
}

std::string FactoryDefaultsQuestion(int node) {
    return "Set Orvik node " + std::to_string(node) + " to factory default ?";
}

std::string NoSetupReplyMessage(int node) {
    return "No breaker setup reply from Orvik node " + std::to_string(node) + ".";
}

std::string ComDeviceName(std::uint8_t comPortIndex) {
    return "COM" + std::to_string(comPortIndex + 1);
}

std::string PortUnavailableMessage(std::uint8_t comPortIndex) {
    return "The selected port " + ComDeviceName(comPortIndex) +
           " is not available, please choose another if possible or free this port if it is "
           "in use by another application.";
}

} // namespace orvik
