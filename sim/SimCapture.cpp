#include "sim/SimCapture.h"

#include "link/capture/Pcapng.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace orvik::sim {

bool SimCapture::Open(const std::string& path, const std::string& lineName, std::string& error) {
    file_.reset(std::fopen(path.c_str(), "wb"));
    if (!file_) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    path_ = path;
    buffer_.clear();
    PcapngWriter::AppendHeader(
        buffer_, {"orvik-bus-sim", lineName, "Orvik bus (simulated); inbound: sent by the bus"});
    Write();
    return IsOpen();
}

void SimCapture::Sent(const std::uint8_t* bytes, std::size_t count) {
    sent_.Feed(log_, sentRx_, bytes, count, log_.Now(),
               [this] { return CheckedFrameOutcome(sentRx_.RxType(), sentRx_.ReceivedLength()); });
    Write();
}

void SimCapture::Write() {
    if (!file_)
        return;
    for (std::uint64_t s = std::max(written_, log_.FirstSeq()); s < log_.NextSeq(); ++s)
        PcapngWriter::AppendRecord(buffer_, log_, *log_.Find(s));
    written_ = log_.NextSeq();
    if (buffer_.empty())
        return;
    if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_.get()) != buffer_.size() ||
        std::fflush(file_.get()) != 0) {
        std::fprintf(stderr, "orvik-bus-sim: writing %s: %s; capture stopped\n", path_.c_str(),
                     std::strerror(errno));
        file_.reset();
    }
    buffer_.clear();
}

} // namespace orvik::sim
