#include "sim/Replay.h"

#include "link/capture/PcapngStream.h"
#include "link/protocol/FrameLog.h"

#include <algorithm>

namespace orvik::sim {

bool Replay::Load(const std::string& path, double speed, bool loop, std::string& error) {
    records_.clear();
    broken_.clear();
    std::uint64_t first = 0;
    const CaptureScan scan = ScanPcapngFile(path, [&](const PacketView& p) {
        if (p.direction != static_cast<std::uint8_t>(Direction::Inbound) || p.length == 0)
            return;
        if (records_.empty())
            first = p.timestampNs;
        // Out-of-order time stamps play at once, in file order.
        const double offset =
            p.timestampNs > first ? static_cast<double>(p.timestampNs - first) : 0;
        records_.push_back(
            {static_cast<std::int64_t>(offset / speed), {p.bytes, p.bytes + p.length}});
    });
    if (scan.NotACapture()) {
        error = scan.Ok() ? path + " is not a capture of the bus" : scan.error;
        return false;
    }
    if (!scan.Ok())
        broken_ = scan.error;
    if (records_.empty()) {
        error = path + " holds no record sent by the bus (inbound)";
        return false;
    }
    std::int64_t last = 0;
    for (const Record& r : records_)
        last = std::max(last, r.atNs);
    // The next round starts one mean spacing after the last record.
    const auto n = static_cast<std::int64_t>(records_.size());
    periodNs_ = last + (n > 1 ? last / (n - 1) : static_cast<std::int64_t>(200'000'000 / speed));
    periodNs_ = std::max<std::int64_t>(periodNs_, 1);
    loop_ = loop;
    next_ = 0;
    round_ = 0;
    return true;
}

std::chrono::nanoseconds Replay::NextAt() const {
    if (next_ == records_.size())
        return std::chrono::nanoseconds::max();
    return std::chrono::nanoseconds(round_ * periodNs_ + records_[next_].atNs);
}

const std::vector<std::uint8_t>* Replay::Due(std::chrono::nanoseconds elapsed) {
    if (next_ == records_.size() || elapsed < NextAt())
        return nullptr;
    const std::vector<std::uint8_t>* bytes = &records_[next_].bytes;
    if (++next_ == records_.size() && loop_) {
        next_ = 0;
        ++round_;
    }
    return bytes;
}

} // namespace orvik::sim
