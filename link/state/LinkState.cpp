#include "link/state/LinkState.h"

#include <algorithm>
#include <cstring>

namespace orvik {

int LinkState::SelectedNode() const {
    int node = selector_ ? selector_() : 1;
    return std::clamp(node, 1, static_cast<int>(NODE_COUNT));
}

void LinkState::SendCommand(std::uint8_t node, std::uint8_t command, const std::uint8_t* payload,
                            std::uint8_t payloadLength) {
    if (payloadLength > TxFrame.size() - 7)
        return;
    TxFrame[0] = SYNC1;
    TxFrame[1] = SYNC2;
    TxFrame[2] = command;
    TxFrame[3] = static_cast<std::uint8_t>(payloadLength + 1);
    TxFrame[4] = node;
    if (payloadLength > 0)
        std::memmove(&TxFrame[5], payload, payloadLength);
    AddChecksums(&TxFrame[2], static_cast<std::uint16_t>(payloadLength + 3));
    // A failed write loses the frame; there is no acknowledgement to wait for anyway.
    int written = -1;
    if (port_)
        written = port_->Write(TxFrame.data(), payloadLength + 7);
    if (log_)
        LogSent(payloadLength + 7u, written);
    if (watcher_)
        watcher_->CommandSent(TxFrame.data(), payloadLength + 7u, written == payloadLength + 7);
    if (sendObserver_)
        sendObserver_(node, command);
}

bool LinkState::NodeOnBus(int node) const {
    return node >= 1 && node <= static_cast<int>(NODE_COUNT) &&
           StatusRecord.IsNodePresent(static_cast<std::size_t>(node - 1));
}

void LinkState::SendToSelected(std::uint8_t command, std::uint8_t payloadLength) {
    SendCommand(NodeIndex(), command, CmdPayload.data(), payloadLength);
}

void LinkState::Comm1RxChar(int count) {
    if (count <= 0 || !port_)
        return;
    count = std::min(count, RX_CHUNK_SIZE);
    int got = port_->Read(RxChunk.data(), count);
    // Only what actually came is fed: nothing after a failed read, less after a short one.
    if (got <= 0)
        return;
    FeedBytes(RxChunk.data(), static_cast<std::size_t>(std::min(got, count)));
    port_->ExpectBytes(static_cast<int>(FrameReceiver.BytesToCome(STATUS_FRAME_SIZE)));
}

void LinkState::FeedBytes(const std::uint8_t* bytes, std::size_t count) {
    BytesReceived += count;
    if (log_) {
        FeedBytesLogged(bytes, count);
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (FrameReceiver.Feed(bytes[i]))
            AcceptFrame();
    }
}

FrameOutcome LinkState::AcceptFrame() {
    NodeIndicatorTimeout = TIMEOUT_TICKS;
    ++FramesAccepted;
    // A frame shorter than its type needs is not copied: the bytes beyond it would be left
    // over from earlier frames.
    const auto& data = FrameReceiver.FrameData();
    const std::size_t length = FrameReceiver.ReceivedLength();
    if (FrameReceiver.RxType() == FRAME_STATUS) {
        if (length < STATUS_RECORD_SIZE)
            return FrameOutcome::ShortStatus;
        std::memcpy(StatusRecord.bytes.data(), data.data(), STATUS_RECORD_SIZE);
        if (watcher_)
            watcher_->StatusAccepted(StatusRecord);
        UpdateDisplay();
        return FrameOutcome::Accepted;
    }
    if (FrameReceiver.RxType() == FRAME_BREAKER_SETUP) {
        if (length < SETUP_REPLY_SIZE)
            return FrameOutcome::ShortSetup;
        // The history keeps every node's reply; the setup dialog only the selected node's.
        if (watcher_)
            watcher_->SetupReplied(data.data());
        if (data[0] != NodeIndex())
            return FrameOutcome::OtherNode;
        StoreBreakerSetup();
        return FrameOutcome::Accepted;
    }
    return FrameOutcome::IgnoredType;
}

void LinkState::StoreBreakerSetup() {
    const auto& data = FrameReceiver.FrameData();
    for (std::size_t b = 0; b < BREAKER_COUNT; ++b) {
        BreakerSetupRecord.TripCurrent[b] =
            static_cast<std::uint16_t>(data[1 + 2 * b] | (data[2 + 2 * b] << 8));
        BreakerSetupRecord.TripTime[b] = data[17 + b];
    }
    SetupReceived = true;
    if (setupSink_)
        setupSink_();
}

} // namespace orvik
