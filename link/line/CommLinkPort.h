// The link's view of the serial component.
#pragma once

#include "link/state/LinkState.h"
#include "serial/CommPort.h"

namespace orvik {

class CommLinkPort final : public LinkPort {
public:
    explicit CommLinkPort(TComm& comm) : comm_(comm) {}
    int Read(void* buffer, int count) override { return comm_.Read(buffer, count); }
    int ReadStamped(void* buffer, int count, std::int64_t& arrivedNs) override {
        return comm_.ReadStamped(buffer, count, arrivedNs);
    }
    int Write(const void* buffer, int count) override { return comm_.Write(buffer, count); }
    void ExpectBytes(int count) override { comm_.SetRxHint(count); }

private:
    TComm& comm_;
};

} // namespace orvik
