// The receive path, from Comm1RxChar to the display update, allocates nothing.
#include "tests/unit/link/LinkTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long> allocations{0};
}

// Counts every allocation of the test program; the pair with free() is deliberate.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t size) {
    ++allocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

using namespace orvik;
using namespace orvik::test;

namespace {

void ReceiveWithoutAllocating(FrameLog* log) {
    const long atStart = allocations.load();
    Bench t;
    t.link.SetFrameLog(log);
    StatusRecord r;
    r.SetNodePresent(0xFF);
    r.SetPowerOnMask(0, 0xAA);
    r.SetDoublingOption(0, 4);
    r.SetOptionFlags(0, 0x3F);
    r.SetCurrent(0, 3, 65535);
    Bytes stream;
    for (int i = 0; i < 40; ++i) {
        auto f = StatusFrame(r);
        stream.insert(stream.end(), f.begin(), f.end());
    }
    auto setup = Frame(FRAME_BREAKER_SETUP, SetupReplyData(0));
    stream.insert(stream.end(), setup.begin(), setup.end());
    // A plain buffer stands in for the port, so only the link's own work is counted.
    struct BufferPort : LinkPort {
        const Bytes* data = nullptr;
        std::size_t pos = 0;
        int Read(void* buffer, int count) override {
            int n = std::min(count, static_cast<int>(data->size() - pos));
            std::copy_n(data->begin() + static_cast<long>(pos), n,
                        static_cast<std::uint8_t*>(buffer));
            pos += static_cast<std::size_t>(n);
            return n;
        }
        int Write(const void*, int count) override { return count; }
    } port;
    port.data = &stream;
    t.link.SetPort(&port);

    const long before = allocations.load();
    ASSERT_GT(before, atStart); // the counter sees the allocations of the set-up
    t.link.Comm1RxChar(static_cast<int>(stream.size()));
    t.link.Timer1Timer();
    const long after = allocations.load();
    EXPECT_EQ(after - before, 0);
    EXPECT_EQ(t.displays, 40);
    EXPECT_TRUE(t.link.SetupReceived);
    EXPECT_EQ(t.link.LastDisplay().Edit10, "1+2+3 and 5+6 are joined");
}

} // namespace

TEST(ReceivePath, AllocatesNothing) {
    ReceiveWithoutAllocating(nullptr);
}

TEST(ReceivePath, AllocatesNothingWithTheFrameLog) {
    FrameLog log(16); // wraps more than twice
    ReceiveWithoutAllocating(&log);
    EXPECT_EQ(log.NextSeq(), 41u);
}
