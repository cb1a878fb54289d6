#include "sim/SimModule.h"

#include "link/protocol/JoinedBreakers.h"

#include <algorithm>

namespace orvik::sim {

namespace {

constexpr std::uint32_t SLICE_MS = 10;       // trips and light functions resolve to this
constexpr std::uint32_t DRIFT_STEP_MS = 100; // the measured current moves this often

} // namespace

SimModule::SimModule() {
    FactoryDefaults();
}

void SimModule::FactoryDefaults() {
    doublingOption = 0;
    powerOnMask = 0;
    wigwagMode = 0;
    flasherMode = 0;
    dualLed = false;
    wigwagInterval = DEFAULT_WIGWAG_INTERVAL;
    for (auto& b : breakers) {
        b.tripCurrent = DEFAULT_TRIP_CURRENT;
        b.tripTime = DEFAULT_TRIP_TIME;
        b.overMs = 0;
    }
}

void SimModule::PowerOn() {
    for (std::size_t i = 0; i < BREAKER_COUNT; ++i) {
        breakers[i].switchedOn = (powerOnMask & BitMaskTable[i]) != 0;
        breakers[i].fault = false;
        breakers[i].overMs = 0;
        breakers[i].drift = 0;
    }
    clockMs_ = 0;
    driftMs_ = 0;
}

void SimModule::Switch(std::size_t breaker, bool on) {
    const std::uint8_t mask = JoinedWith(doublingOption, breaker);
    for (std::size_t i = 0; i < BREAKER_COUNT; ++i) {
        if (!(mask & BitMaskTable[i]))
            continue;
        breakers[i].switchedOn = on;
        breakers[i].overMs = 0;
        if (on)
            breakers[i].fault = false;
    }
}

bool SimModule::DrivenByWigwag(std::size_t breaker) const {
    return wigwagMode != 0 && (breaker == WIGWAG_FIRST || breaker == WIGWAG_SECOND);
}

bool SimModule::FlasherOn(std::size_t breaker) const {
    const bool covered =
        (flasherMode == 1 && breaker == FLASHER_FIRST) ||
        (flasherMode == 2 && (breaker == FLASHER_FIRST || breaker == FLASHER_FIRST + 1));
    if (!covered)
        return true;
    return (clockMs_ / FLASHER_HALF_PERIOD_MS) % 2 == 0;
}

bool SimModule::OutputOn(std::size_t breaker) const {
    const SimBreaker& b = breakers[breaker];
    if (b.fault)
        return false;
    if (DrivenByWigwag(breaker)) {
        switch (wigwagMode) {
        case 1:
            return false;
        case 2:
            return true;
        default: {
            if (wigwagInterval == 0) // never flash: both lamps steady
                return true;
            const std::uint64_t phase = (clockMs_ / (wigwagInterval * 100u)) % 2;
            return (phase == 0) == (breaker == WIGWAG_FIRST);
        }
        }
    }
    return b.switchedOn && FlasherOn(breaker);
}

std::uint16_t SimModule::MeasuredCurrent(std::size_t breaker) const {
    if (!OutputOn(breaker))
        return 0;
    const int value = breakers[breaker].load + breakers[breaker].drift;
    return static_cast<std::uint16_t>(std::clamp(value, 0, 0xFFFF));
}

std::uint16_t SimModule::InputVoltage() const {
    unsigned total = 0;
    for (std::size_t i = 0; i < BREAKER_COUNT; ++i)
        total += MeasuredCurrent(i);
    const unsigned sag = std::min<unsigned>(total / SAG_DIVISOR, NOMINAL_VOLTAGE);
    return static_cast<std::uint16_t>(NOMINAL_VOLTAGE - sag);
}

std::uint8_t SimModule::OnMask() const {
    std::uint8_t mask = 0;
    for (std::size_t i = 0; i < BREAKER_COUNT; ++i)
        if (OutputOn(i))
            mask |= BitMaskTable[i];
    return mask;
}

std::uint8_t SimModule::FaultMask() const {
    std::uint8_t mask = 0;
    for (std::size_t i = 0; i < BREAKER_COUNT; ++i)
        if (breakers[i].fault)
            mask |= BitMaskTable[i];
    return mask;
}

void SimModule::Step(std::uint32_t ms, std::mt19937& rng, bool drift) {
    while (ms > 0) {
        const std::uint32_t slice = std::min(ms, SLICE_MS);
        // The slice runs with the outputs and currents as they are at its start.
        for (std::size_t i = 0; i < BREAKER_COUNT; ++i) {
            SimBreaker& b = breakers[i];
            if (MeasuredCurrent(i) <= b.tripCurrent) {
                b.overMs = 0;
                continue;
            }
            b.overMs += slice;
            if (b.overMs >= b.tripTime * 100u) {
                // The whole joined group goes off; the breaker that tripped shows the fault.
                Switch(i, false);
                b.fault = true;
            }
        }
        ms -= slice;
        clockMs_ += slice;
        driftMs_ += slice;
        if (driftMs_ >= DRIFT_STEP_MS) {
            driftMs_ -= DRIFT_STEP_MS;
            for (auto& b : breakers) {
                if (!drift) {
                    b.drift = 0;
                    continue;
                }
                // A random walk within 2 % of the load, at least one step either way; an
                // output without load reads 0.
                const int limit = b.load == 0 ? 0 : std::max(1, b.load / 50);
                std::uniform_int_distribution<int> step(-1, 1);
                b.drift = std::clamp(b.drift + step(rng), -limit, limit);
            }
        }
    }
}

void SimModule::Fill(StatusRecord& record, std::size_t node) const {
    record.SetBreakerOn(node, OnMask());
    record.SetBreakerFault(node, FaultMask());
    for (std::size_t i = 0; i < BREAKER_COUNT; ++i)
        record.SetCurrent(node, i, MeasuredCurrent(i));
    record.SetInputVoltage(node, InputVoltage());
    record.SetDoublingOption(node, doublingOption);
    record.SetPowerOnMask(node, powerOnMask);
    std::uint8_t flags = static_cast<std::uint8_t>(wigwagMode & OPT_WIGWAG);
    if (programmable)
        flags |= OPT_PROGRAMMABLE;
    flags |= static_cast<std::uint8_t>((flasherMode << 3) & OPT_FLASHER);
    if (dualLed)
        flags |= OPT_DUAL_LED;
    record.SetOptionFlags(node, flags);
    record.SetWigwagInterval(node, wigwagInterval);
    record.SetFixedProfile(node, fixedProfile);
}

} // namespace orvik::sim
