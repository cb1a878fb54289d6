// Feeds a delivered byte stream, piece by piece, to a LinkState through its receive handler and
// checks each piece against the reference scan of the whole stream: exactly the frames that
// pass their checks are acted on, and every status shown is one that was sent, in order.
#pragma once

#include "fuzz/common/ReferenceScan.h"
#include "link/protocol/StatusRecord.h"
#include "link/state/LinkState.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

namespace orvik::test {

using Bytes = std::vector<std::uint8_t>;

struct QueuePort : LinkPort {
    std::deque<std::uint8_t> waiting;
    int Read(void* buffer, int count) override {
        const int n = std::min(count, static_cast<int>(waiting.size()));
        auto* out = static_cast<std::uint8_t*>(buffer);
        for (int i = 0; i < n; ++i) {
            out[i] = waiting.front();
            waiting.pop_front();
        }
        return n;
    }
    int Write(const void*, int count) override { return count; }
};

// The display a status record gives on its own, with nothing received before.
inline DisplayUpdate FreshDisplay(const StatusRecord& record, int selected) {
    auto link = std::make_unique<LinkState>();
    link->SetNodeSelector([selected] { return selected; });
    link->StatusRecord = record;
    return link->UpdateDisplay();
}

inline bool SameDisplay(const DisplayUpdate& a, const DisplayUpdate& b) {
    if (a.NodeIndicator != b.NodeIndicator || a.NodePresent != b.NodePresent)
        return false;
    if (!a.NodePresent)
        return true; // the node's display is left as it was
    return a.SwitchOn == b.SwitchOn && a.FaultIndicator == b.FaultIndicator &&
           a.Current == b.Current && a.Edit9 == b.Edit9 && a.Edit10 == b.Edit10 &&
           a.Edit11 == b.Edit11 && a.Edit12 == b.Edit12 && a.Edit13 == b.Edit13 &&
           a.Edit14Changed == b.Edit14Changed && (!a.Edit14Changed || a.Edit14 == b.Edit14) &&
           a.Edit15 == b.Edit15 && a.Edit16 == b.Edit16;
}

class NoiseChecker {
public:
    // `sentStatus`: the status records in the order they were sent. `sentSetup`: every setup
    // reply sent (25 data bytes).
    NoiseChecker(const Bytes& stream, std::vector<StatusRecord> sentStatus,
                 std::vector<Bytes> sentSetup)
        : stream_(stream), frames_(reference::ScanFrames(stream.data(), stream.size())),
          sentStatus_(std::move(sentStatus)), sentSetup_(std::move(sentSetup)),
          link_(std::make_unique<LinkState>()) {
        link_->SetPort(&port_);
        link_->SetNodeSelector([this] { return selected_; });
        link_->SetDisplaySink([this](const DisplayUpdate& d) {
            shown_.push_back({link_->StatusRecord, d});
        });
    }

    // Delivers the next `count` bytes of the stream with node `selected` chosen.
    void Deliver(std::size_t count, int selected) {
        count = std::min(count, stream_.size() - delivered_);
        const std::size_t from = delivered_;
        port_.waiting.insert(port_.waiting.end(), stream_.begin() + static_cast<long>(from),
                             stream_.begin() + static_cast<long>(from + count));
        delivered_ += count;
        selected_ = selected;
        shown_.clear();
        link_->NodeIndicatorTimeout = 0;
        link_->SetupReceived = false;
        link_->Comm1RxChar(static_cast<int>(count));
        ASSERT_TRUE(port_.waiting.empty());
        CheckPiece(from, delivered_);
    }

    bool Done() const { return delivered_ == stream_.size(); }
    std::size_t FramesPassingChecks() const { return frames_.size(); }
    std::size_t StatusShown() const { return statusShown_; }
    std::size_t SetupsStored() const { return setupsStored_; }

private:
    struct Shown {
        StatusRecord record;
        DisplayUpdate display;
    };

    void CheckPiece(std::size_t from, std::size_t to) {
        std::vector<const reference::ScannedFrame*> status;
        const reference::ScannedFrame* setup = nullptr;
        bool any = false;
        for (; next_ < frames_.size() && frames_[next_].last < to; ++next_) {
            const auto& f = frames_[next_];
            ASSERT_GE(f.last, from);
            any = true;
            if (f.type == FRAME_STATUS && f.data.size() >= STATUS_RECORD_SIZE)
                status.push_back(&f);
            if (f.type == FRAME_BREAKER_SETUP && f.data.size() >= SETUP_REPLY_SIZE &&
                f.data[0] == selected_ - 1)
                setup = &f;
        }
        // Any frame passing its checks restarts the node indicator timeout; nothing else does.
        EXPECT_EQ(link_->NodeIndicatorTimeout, any ? TIMEOUT_TICKS : 0) << "bytes " << from;

        ASSERT_EQ(shown_.size(), status.size()) << "status frames acted on, bytes " << from;
        for (std::size_t k = 0; k < status.size(); ++k) {
            const Shown& s = shown_[k];
            ASSERT_TRUE(
                std::equal(s.record.bytes.begin(), s.record.bytes.end(), status[k]->data.begin()))
                << "status differs from the frame's bytes, bytes " << from;
            // Sent, and not before the last one shown.
            while (sentAt_ < sentStatus_.size() && sentStatus_[sentAt_].bytes != s.record.bytes)
                ++sentAt_;
            ASSERT_LT(sentAt_, sentStatus_.size()) << "a status shown was never sent (in order)";
            ++sentAt_;
            EXPECT_TRUE(SameDisplay(s.display, FreshDisplay(s.record, selected_)))
                << "display differs from the sent status alone, bytes " << from;
            ++statusShown_;
        }

        ASSERT_EQ(link_->SetupReceived, setup != nullptr) << "bytes " << from;
        if (setup) {
            const auto& r = link_->BreakerSetupRecord;
            Bytes stored(SETUP_REPLY_SIZE);
            stored[0] = setup->data[0];
            for (std::size_t b = 0; b < BREAKER_COUNT; ++b) {
                stored[1 + 2 * b] = static_cast<std::uint8_t>(r.TripCurrent[b] & 0xFF);
                stored[2 + 2 * b] = static_cast<std::uint8_t>(r.TripCurrent[b] >> 8);
                stored[17 + b] = r.TripTime[b];
            }
            EXPECT_TRUE(std::equal(stored.begin(), stored.end(), setup->data.begin()));
            EXPECT_NE(std::find(sentSetup_.begin(), sentSetup_.end(), stored), sentSetup_.end())
                << "a setup reply stored was never sent";
            ++setupsStored_;
        }
    }

    const Bytes& stream_;
    std::vector<reference::ScannedFrame> frames_;
    std::vector<StatusRecord> sentStatus_;
    std::vector<Bytes> sentSetup_;
    QueuePort port_;
    std::unique_ptr<LinkState> link_;
    int selected_ = 1;
    std::size_t delivered_ = 0;
    std::size_t next_ = 0;
    std::size_t sentAt_ = 0;
    std::vector<Shown> shown_;
    std::size_t statusShown_ = 0;
    std::size_t setupsStored_ = 0;
};

} // namespace orvik::test
