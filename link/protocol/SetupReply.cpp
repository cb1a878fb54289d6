#include "link/protocol/SetupReply.h"

namespace orvik {

namespace {
constexpr std::size_t TRIP_CURRENT_AT = 1;
constexpr std::size_t TRIP_TIME_AT = 1 + 2 * BREAKER_COUNT;
} // namespace

std::optional<SetupReply> DecodeSetupReply(const std::uint8_t* data, std::size_t length) noexcept {
    if (length < SETUP_REPLY_SIZE)
        return std::nullopt;
    SetupReply r;
    r.node = data[0];
    for (std::size_t b = 0; b < BREAKER_COUNT; ++b) {
        const std::uint8_t* current = data + TRIP_CURRENT_AT + 2 * b;
        r.trips.TripCurrent[b] = static_cast<std::uint16_t>(current[0] | current[1] << 8);
        r.trips.TripTime[b] = data[TRIP_TIME_AT + b];
    }
    return r;
}

std::array<std::uint8_t, SETUP_REPLY_SIZE> EncodeSetupReply(const SetupReply& reply) noexcept {
    std::array<std::uint8_t, SETUP_REPLY_SIZE> out{};
    out[0] = reply.node;
    for (std::size_t b = 0; b < BREAKER_COUNT; ++b) {
        out[TRIP_CURRENT_AT + 2 * b] = static_cast<std::uint8_t>(reply.trips.TripCurrent[b]);
        out[TRIP_CURRENT_AT + 2 * b + 1] =
            static_cast<std::uint8_t>(reply.trips.TripCurrent[b] >> 8);
        out[TRIP_TIME_AT + b] = reply.trips.TripTime[b];
    }
    return out;
}

} // namespace orvik
