// One simulated Orvik module: eight breakers, their loads and trips, and the module's settings.
// Time comes in from outside (Step), so the model is deterministic for a given random source.
#pragma once

#include "link/protocol/StatusRecord.h"

#include <array>
#include <cstdint>
#include <random>

namespace orvik::sim {

// Breakers driven by the light functions (indexes 0..7).
inline constexpr std::size_t WIGWAG_FIRST = 6; // breakers 7 and 8 alternate
inline constexpr std::size_t WIGWAG_SECOND = 7;
inline constexpr std::size_t FLASHER_FIRST = 4; // breaker 5 (mode 1), breakers 5 and 6 (mode 2)
inline constexpr std::uint32_t FLASHER_HALF_PERIOD_MS = 500;

// Settings of a new module.
inline constexpr std::uint16_t DEFAULT_TRIP_CURRENT = 100; // 10.0 A
inline constexpr std::uint8_t DEFAULT_TRIP_TIME = 10;      // 1.0 s
inline constexpr std::uint8_t DEFAULT_WIGWAG_INTERVAL = 5; // 0.5 s
inline constexpr std::uint16_t NOMINAL_VOLTAGE = 138;      // 13.8 V
inline constexpr std::uint16_t SAG_DIVISOR = 20;           // 0.1 V less per 2 A of total load

struct SimBreaker {
    bool switchedOn = false; // what the last switch command or power-on asked for
    bool fault = false;      // tripped; output stays off until switched on again
    std::uint16_t load = 0;  // load current of what hangs on it, tenths of an ampere
    int drift = 0;           // present deviation of the measured current from load
    std::uint16_t tripCurrent = DEFAULT_TRIP_CURRENT;
    std::uint8_t tripTime = DEFAULT_TRIP_TIME;
    std::uint32_t overMs = 0; // how long the current has been above tripCurrent
};

class SimModule {
public:
    SimModule();

    // Restores the settings of a new module. The profile selection (a switch on the module)
    // and the loads (outside it) stay.
    void FactoryDefaults();
    // What the module does when it gets power: breakers on as the power-on mask says,
    // faults cleared, trip timers reset.
    void PowerOn();

    // Advances the module's clock. Runs trips and drifts; `rng` gives the drift steps.
    void Step(std::uint32_t ms, std::mt19937& rng, bool drift);

    // Switches a breaker and the breakers joined to it; switching on clears their faults.
    void Switch(std::size_t breaker, bool on);

    // Output state as the status record shows it.
    bool OutputOn(std::size_t breaker) const;
    std::uint16_t MeasuredCurrent(std::size_t breaker) const;
    std::uint16_t InputVoltage() const;
    std::uint8_t OnMask() const;
    std::uint8_t FaultMask() const;

    // Writes this module's fields into `record` at node index `node`.
    void Fill(StatusRecord& record, std::size_t node) const;

    std::array<SimBreaker, BREAKER_COUNT> breakers{};
    std::uint8_t doublingOption = 0;
    std::uint8_t powerOnMask = 0;
    std::uint8_t wigwagMode = 0; // 0 not enabled, 1 off, 2 steady, 3 flashing
    bool programmable = true;
    std::uint8_t flasherMode = 0; // 0 none, 1 breaker 5, 2 breakers 5 and 6
    bool dualLed = false;
    std::uint8_t wigwagInterval = DEFAULT_WIGWAG_INTERVAL;
    std::uint8_t fixedProfile = 0;

private:
    bool DrivenByWigwag(std::size_t breaker) const;
    bool FlasherOn(std::size_t breaker) const;

    std::uint64_t clockMs_ = 0;
    std::uint32_t driftMs_ = 0;
};

} // namespace orvik::sim
