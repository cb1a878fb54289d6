// The values behind the list items of the setting dialogs, all in tenths, with their item texts.
#pragma once

#include <array>
#include <cstdint>

namespace orvik {

// Trip currents in tenths of an ampere.
inline constexpr std::array<std::uint16_t, 23> TripCurrentTable = {
    1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 15, 20, 25, 30, 35, 40, 50, 60, 70, 80, 90, 100};
inline constexpr std::array<const char*, 23> TripCurrentItems = {
    "0.1A", "0.2A", "0.3A", "0.4A", "0.5A", "0.6A", "0.7A", "0.8A", "0.9A", "1.0A", "1.2A", "1.5A",
    "2.0A", "2.5A", "3.0A", "3.5A", "4.0A", "5.0A", "6.0A", "7.0A", "8.0A", "9.0A", "10.0A"};

// Trip times in tenths of a second.
inline constexpr std::array<std::uint8_t, 21> TripTimeTable = {
    1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 150, 200};
inline constexpr std::array<const char*, 21> TripTimeItems = {
    "0.1 seconds", "0.2 seconds", "0.3 seconds", "0.4 seconds", "0.5 seconds", "0.6 seconds",
    "0.7 seconds", "0.8 seconds", "0.9 seconds", "1.0 seconds", "2.0 seconds", "3.0 seconds",
    "4.0 seconds", "5.0 seconds", "6.0 seconds", "7.0 seconds", "8.0 seconds", "9.0 seconds",
    "10 seconds",  "15 seconds",  "20 seconds"};

// Wigwag flash-on durations in tenths of a second; 0 is never flash.
inline constexpr std::array<std::uint8_t, 17> WigwagIntervalTable = {
    0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 15, 20, 30, 40, 50};
inline constexpr std::array<const char*, 17> WigwagIntervalItems = {
    "Never flash", "0.1 seconds", "0.2 seconds", "0.3 seconds", "0.4 seconds", "0.5 seconds",
    "0.6 seconds", "0.7 seconds", "0.8 seconds", "0.9 seconds", "1.0 seconds", "1.2 seconds",
    "1.5 seconds", "2.0 seconds", "3.0 seconds", "4.0 seconds", "5.0 seconds"};

} // namespace orvik
