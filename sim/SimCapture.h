// What the simulator sends and receives, written to a pcapng capture as it goes. Directions
// are those of the PC: what the simulator sends is inbound, the commands it reads outbound.
#pragma once

#include "link/protocol/FrameLog.h"
#include "link/protocol/LinkFrame.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace orvik::sim {

class SimCapture {
public:
    // Creates the file and writes the capture's header; `lineName` names the interface.
    bool Open(const std::string& path, const std::string& lineName, std::string& error);
    bool IsOpen() const { return file_ != nullptr; }

    // Bytes the simulator wrote to the line.
    void Sent(const std::uint8_t* bytes, std::size_t count);
    // Bytes it read, fed to its receiver `rx`; onCommand() runs for each frame that passes
    // its checks, as it would without the capture.
    template <typename OnCommand>
    void Received(FrameReceiver& rx, const std::uint8_t* bytes, std::size_t count,
                  OnCommand&& onCommand) {
        received_.Feed(log_, rx, bytes, count, log_.Now(), [&] {
            onCommand();
            return FrameOutcome::Sent;
        });
        Write();
    }

private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    // Writes the records that came since the last call.
    void Write();

    FrameLog log_{4096};
    LineRecorder sent_{Direction::Inbound};
    LineRecorder received_{Direction::Outbound};
    FrameReceiver sentRx_; // reads what we send, as the PC's receiver would
    std::unique_ptr<std::FILE, Closer> file_;
    std::string path_;
    std::uint64_t written_ = 0;
    std::vector<std::uint8_t> buffer_;
};

} // namespace orvik::sim
