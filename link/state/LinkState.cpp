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
    if (payloadLength > TxFrame.size() - COMMAND_OVERHEAD)
        return;
    SentCommand sent{command, node, payload, payloadLength};
    const std::size_t length = EncodeCommand(sent, TxFrame.data());
    // A failed write loses the frame; there is no acknowledgement to wait for anyway.
    int written = -1;
    if (port_)
        written = port_->Write(TxFrame.data(), static_cast<int>(length));
    if (log_)
        LogSent(length, written);
    sent.payload = &TxFrame[5];
    sent.written = written == static_cast<int>(length);
    if (watcher_)
        watcher_->CommandSent(sent, clock_.NowMs());
    if (sendObserver_)
        sendObserver_(node, command);
    if (command == CMD_REQUEST_BREAKER_SETUP && sent.written) {
        setupRepliesDue_ = std::min(setupRepliesDue_ + 1, static_cast<int>(NODE_COUNT));
        // A status frame under way comes before the reply.
        statusBeforeReply_ = FrameReceiver.State() == RX_SYNC1 ? 1 : 2;
        ExpectNextBytes();
    }
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
    int left = std::min(count, RX_CHUNK_SIZE);
    // Only what actually came is fed: nothing after a failed read, less after a short one.
    while (left > 0) {
        std::int64_t arrivedNs = 0;
        const int got = port_->ReadStamped(RxChunk.data(), left, arrivedNs);
        if (got <= 0)
            break;
        const int fed = std::min(got, left);
        FeedBytes(RxChunk.data(), static_cast<std::size_t>(fed), arrivedNs);
        left -= fed;
    }
    ExpectNextBytes();
}

// Until its length byte is read, a frame is taken for the one the bus most likely sends next:
// a setup reply while one is due, else a status frame. A guess too long would keep a short
// reply waiting for bytes that never come.
void LinkState::ExpectNextBytes() {
    if (port_)
        port_->ExpectBytes(static_cast<int>(FrameReceiver.BytesToCome(
            setupRepliesDue_ > 0 ? SETUP_REPLY_FRAME_SIZE : STATUS_FRAME_SIZE)));
}

void LinkState::FeedBytes(const std::uint8_t* bytes, std::size_t count, std::int64_t arrivedNs) {
    BytesReceived += count;
    arrivedNs_ = arrivedNs;
    if (log_) {
        FeedBytesLogged(bytes, count, arrivedNs);
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
        statusKnown_ = true;
        // Replies still due once a status frame came in their place are not coming.
        if (setupRepliesDue_ > 0 && --statusBeforeReply_ <= 0)
            setupRepliesDue_ = 0;
        if (watcher_)
            watcher_->StatusAccepted(StatusRecord, clock_.MsAt(arrivedNs_));
        UpdateDisplay();
        return FrameOutcome::Accepted;
    }
    if (FrameReceiver.RxType() == FRAME_BREAKER_SETUP) {
        const std::optional<SetupReply> reply = DecodeSetupReply(data.data(), length);
        if (!reply)
            return FrameOutcome::ShortSetup;
        setupRepliesDue_ = std::max(setupRepliesDue_ - 1, 0);
        statusBeforeReply_ = 1;
        // The history keeps every node's reply; the setup dialog only the selected node's.
        if (reply->node < NODE_COUNT)
            lastReplies_[reply->node] = *reply;
        if (watcher_)
            watcher_->SetupReplied(*reply, clock_.MsAt(arrivedNs_));
        if (reply->node != NodeIndex())
            return FrameOutcome::OtherNode;
        StoreBreakerSetup(*reply);
        return FrameOutcome::Accepted;
    }
    return FrameOutcome::IgnoredType;
}

void LinkState::StoreBreakerSetup(const SetupReply& reply) {
    BreakerSetupRecord = reply.trips;
    SetupReceived = true;
    if (setupSink_)
        setupSink_();
}

} // namespace orvik
