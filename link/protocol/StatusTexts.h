// Texts of the status record's fields as the main window shows them.
#pragma once

#include "link/base/ShortText.h"

#include <cstdint>
#include <string>

namespace orvik {

// Tenths as text: 0 -> "0.0", 5 -> "0.5", 25 -> "2.5", 100 -> "10.0".
void FormatTenths(std::uint32_t value, ShortText& out) noexcept;
std::string FormatTenths(std::uint32_t value);

// Breaker joining option 0..4; any other value gives "Unknown option".
const char* JoiningOptionText(std::uint8_t option) noexcept;
// Wigwag mode 0..3 (higher bits are ignored).
const char* WigwagModeText(std::uint8_t mode) noexcept;
// Flasher mode 0..2; nullptr for 3 and above, where the shown text stays as it was.
const char* FlasherModeText(std::uint8_t mode) noexcept;
const char* DualLedText(bool on) noexcept;
// Eight words "On " / "Off ", breaker 1 first, each with its trailing blank.
void PowerOnText(std::uint8_t mask, ShortText& out) noexcept;
// "Programmable" when the option flags say so, else "Fixed " + (fixedProfile + 1).
void ProfileText(std::uint8_t optionFlags, std::uint8_t fixedProfile, ShortText& out) noexcept;

// Messages and questions of the main window.
inline constexpr const char* PROGRAMMABLE_ONLY_MESSAGE =
    "This can only be set if you have the programmable profile selected on the Orvik module";
// "Set Orvik node <node> to factory default ?"
std::string FactoryDefaultsQuestion(int node);
// "No breaker setup reply from Orvik node <node>."
std::string NoSetupReplyMessage(int node);
// "COM" followed by comPortIndex + 1.
std::string ComDeviceName(std::uint8_t comPortIndex);
// The message shown when COM<comPortIndex + 1> cannot be opened.
std::string PortUnavailableMessage(std::uint8_t comPortIndex);

} // namespace orvik
