#include "link/state/LinkState.h"

namespace orvik {

std::vector<std::vector<std::uint8_t>> LinkState::SnapshotFrames() const {
    std::vector<std::vector<std::uint8_t>> frames;
    auto add = [&frames](std::uint8_t type, const std::uint8_t* data, std::size_t length) {
        std::vector<std::uint8_t> frame(length + FRAME_OVERHEAD);
        frame.resize(EncodeFrame(type, data, length, frame.data()));
        frames.push_back(std::move(frame));
    };
    if (statusKnown_)
        add(FRAME_STATUS, StatusRecord.bytes.data(), StatusRecord.bytes.size());
    for (const auto& reply : lastReplies_)
        if (reply) {
            const auto data = EncodeSetupReply(*reply);
            add(FRAME_BREAKER_SETUP, data.data(), data.size());
        }
    return frames;
}

} // namespace orvik
