// The serial component's enumerations, sets and event table.
#pragma once

#include "serial/PortBackend.h"

#include <array>
#include <cstdint>
#include <initializer_list>

namespace orvik {

enum TBaudRate : std::uint8_t {
    cbr110,
    cbr300,
    cbr600,
    cbr1200,
    cbr2400,
    cbr4800,
    cbr9600,
    cbr14400,
    cbr19200,
    cbr38400,
    cbr56000,
    cbr57600,
    cbr115200,
    cbr128000,
    cbr256000,
};
enum TParity : std::uint8_t { paNone, paOdd, paEven, paMark, paSpace };
enum TStopbits : std::uint8_t { sb10, sb15, sb20 };
enum TDatabits : std::uint8_t { da4, da5, da6, da7, da8 };
enum TFlowControl : std::uint8_t { fcNone, fcCTS, fcDTR, fcSoftware, fcDefault };
enum TCommOption : std::uint8_t {
    coParityCheck,
    coDsrSensitivity,
    coIgnoreXOff,
    coErrorChar,
    coNullStrip,
};
enum TCommEventState : std::uint8_t {
    evBreak,
    evCTS,
    evDSR,
    evError,
    evRing,
    evRlsd,
    evRxChar,
    evRxFlag,
    evTxEmpty,
};

// A set of enumeration values, one bit per ordinal.
template <typename E, typename Bits> class TSet {
public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> values) {
        for (E v : values)
            Include(v);
    }
    static constexpr TSet FromBits(Bits bits) {
        TSet s;
        s.Value = bits;
        return s;
    }
    constexpr bool Contains(E v) const { return (Value >> v) & 1u; }
    constexpr TSet& Include(E v) {
        Value = static_cast<Bits>(Value | (1u << v));
        return *this;
    }
    constexpr TSet& Exclude(E v) {
        Value = static_cast<Bits>(Value & ~(1u << v));
        return *this;
    }
    constexpr Bits ToBits() const { return Value; }
    constexpr bool operator==(const TSet&) const = default;

private:
    Bits Value = 0;
};

using TCommOptions = TSet<TCommOption, std::uint8_t>;
using TCommEventType = TSet<TCommEventState, std::uint16_t>;

inline constexpr TCommEventType AllCommEvents = TCommEventType::FromBits(511);

// Event mask bit of each TCommEventState; also the order of the handlers of one delivery.
inline constexpr std::array<std::uint32_t, 9> EventMaskTable = {
    COMM_EV_BREAK, COMM_EV_CTS,    COMM_EV_DSR,    COMM_EV_ERR,     COMM_EV_RING,
    COMM_EV_RLSD,  COMM_EV_RXCHAR, COMM_EV_RXFLAG, COMM_EV_TXEMPTY,
};

// The OR of the mask bits of `events`.
constexpr std::uint32_t EventMaskOf(TCommEventType events) {
    std::uint32_t mask = 0;
    for (std::size_t i = 0; i < EventMaskTable.size(); ++i)
        if (events.Contains(static_cast<TCommEventState>(i)))
            mask |= EventMaskTable[i];
    return mask;
}

} // namespace orvik
