// Fakes and frame builders shared by the link tests.
#pragma once

#include "link/protocol/LinkFrame.h"
#include "link/protocol/StatusRecord.h"
#include "link/state/LinkState.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <vector>

namespace orvik::test {

using Bytes = std::vector<std::uint8_t>;

// A port with a queue of waiting bytes and a record of every write.
struct FakePort : LinkPort {
    std::deque<std::uint8_t> waiting;
    std::vector<Bytes> written;
    std::vector<int> readRequests;
    std::vector<int> expected; // what the link said the frame in progress still needs
    int maxPerRead = 1 << 30;  // a short read delivers at most this many
    bool failReads = false;

    void Queue(const Bytes& bytes) { waiting.insert(waiting.end(), bytes.begin(), bytes.end()); }

    int Read(void* buffer, int count) override {
        readRequests.push_back(count);
        if (failReads)
            return -1;
        int n = std::min({count, maxPerRead, static_cast<int>(waiting.size())});
        auto* out = static_cast<std::uint8_t*>(buffer);
        for (int i = 0; i < n; ++i) {
            out[i] = waiting.front();
            waiting.pop_front();
        }
        return n;
    }
    int Write(const void* buffer, int count) override {
        auto* p = static_cast<const std::uint8_t*>(buffer);
        written.emplace_back(p, p + count);
        return count;
    }
    void ExpectBytes(int count) override { expected.push_back(count); }
};

inline Bytes Frame(std::uint8_t type, const Bytes& data) {
    Bytes out(data.size() + FRAME_OVERHEAD);
    out.resize(EncodeFrame(type, data.data(), data.size(), out.data()));
    return out;
}

inline Bytes StatusFrame(const StatusRecord& record) {
    return Frame(FRAME_STATUS, Bytes(record.bytes.begin(), record.bytes.end()));
}

// A breaker setup reply from nodeIndex with trip currents 100 + b * 257 and trip times 10 + b.
inline Bytes SetupReplyData(std::uint8_t nodeIndex) {
    Bytes data(SETUP_REPLY_SIZE);
    data[0] = nodeIndex;
    for (std::size_t b = 0; b < BREAKER_COUNT; ++b) {
        auto current = static_cast<std::uint16_t>(100 + b * 257);
        data[1 + 2 * b] = static_cast<std::uint8_t>(current & 0xFF);
        data[2 + 2 * b] = static_cast<std::uint8_t>(current >> 8);
        data[17 + b] = static_cast<std::uint8_t>(10 + b);
    }
    return data;
}

// A link state wired to a fake port, a node selector and a counting display sink.
struct Bench {
    FakePort port;
    LinkState link;
    int selected = 1;
    int displays = 0;

    Bench() {
        link.SetPort(&port);
        link.SetNodeSelector([this] { return selected; });
        link.SetDisplaySink([this](const DisplayUpdate&) { ++displays; });
    }
    void Feed(const Bytes& bytes) { link.FeedBytes(bytes.data(), bytes.size()); }
    Bytes LastWrite() const { return port.written.empty() ? Bytes{} : port.written.back(); }
};

} // namespace orvik::test
