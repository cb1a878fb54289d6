// The inbound records of a capture (what the bus sent), played again at their recorded
// spacing: status frames, replies, noise and bad frames alike.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace orvik::sim {

class Replay {
public:
    // Reads the capture. False with a message when it cannot be read or has no inbound
    // record. `speed` divides the spacing; `loop` starts again after the last record. A
    // capture that breaks off plays its whole records; Broken() then says where it broke.
    bool Load(const std::string& path, double speed, bool loop, std::string& error);
    const std::string& Broken() const { return broken_; }

    // The next record due `elapsed` after the replay's start, or nullptr.
    const std::vector<std::uint8_t>* Due(std::chrono::nanoseconds elapsed);
    // When the next record is due, since the start; max() when none is left.
    std::chrono::nanoseconds NextAt() const;
    bool Finished() const { return !loop_ && next_ == records_.size(); }
    std::size_t Records() const { return records_.size(); }

private:
    struct Record {
        std::int64_t atNs = 0; // after the first record, at the chosen speed
        std::vector<std::uint8_t> bytes;
    };
    std::vector<Record> records_;
    std::size_t next_ = 0;
    std::int64_t round_ = 0;
    std::int64_t periodNs_ = 0; // of one round, when looping
    bool loop_ = false;
    std::string broken_;
};

} // namespace orvik::sim
