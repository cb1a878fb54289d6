// Reads a pcapng capture block by block, handing over each packet of its link type 147
// (LINKTYPE_USER0) interfaces as it comes, so that a recording of any length is read without
// holding it in memory. A capture that breaks off (a recording cut short by a crash or a
// power cut) gives every packet up to the block that broke and says where that was; a damaged
// block inside it is skipped up to the next whole block, and counted.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace orvik {

inline constexpr std::uint16_t LINKTYPE_USER0 = 147;

// One packet, valid during the call that hands it over.
struct PacketView {
    std::uint64_t timestampNs = 0; // since 1970-01-01 UTC
    std::uint8_t direction = 0;    // 0 not given, 1 inbound, 2 outbound
    const std::uint8_t* bytes = nullptr;
    std::size_t length = 0;
    std::string_view comment;
};

struct CaptureScan {
    std::uint64_t packets = 0;       // packets handed over
    bool sectionSeen = false;        // it began as a pcapng capture
    bool interfaceSeen = false;      // it describes an interface of link type 147
    std::string error;               // empty when read to its end
    std::uint64_t breakAt = 0;       // the byte where the block that broke begins
    bool cutShort = false;           // the file ends inside that block
    std::uint64_t damagedBlocks = 0; // damaged places skipped, each up to the next whole block
    bool cancelled = false;          // ScanControl::cancel ended it before the end
    bool Ok() const { return error.empty(); }
    // Not a capture of the bus at all, rather than one that breaks off.
    bool NotACapture() const { return !sectionSeen || !interfaceSeen; }
};

using PacketSink = std::function<void(const PacketView&)>;

// A file read on a thread of its own, as another thread sees it: how far it has come, and a
// cancel that ends the reading at the next block.
struct ScanControl {
    std::atomic<std::uint64_t> bytesRead{0};
    std::atomic<std::uint64_t> size{0};
    std::atomic<bool> cancel{false};
};

// Any input gives its packets, skipping damaged blocks, up to where it breaks, and the reason;
// nothing beyond `size` is read, and no block larger than 16 MiB is taken.
CaptureScan ScanPcapng(const std::uint8_t* data, std::size_t size, const PacketSink& sink);
CaptureScan ScanPcapngFile(const std::string& path, const PacketSink& sink,
                           ScanControl* control = nullptr);

} // namespace orvik
