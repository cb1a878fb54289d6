// Captures in pcapng, as Wireshark and tshark open them: one section, one interface of link
// type LINKTYPE_USER0 (147) with microsecond time stamps (if_tsresol 6), one enhanced packet
// block per record. The packet flags carry the direction (inbound 1, outbound 2, seen from the
// PC); a comment carries the outcome ("accepted", "bad XOR", "noise", ...). The reader takes
// any pcapng file and keeps the packets of its link type 147 interfaces.
#pragma once

#include "link/capture/PcapngStream.h"
#include "link/protocol/FrameLog.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvik {

struct CaptureInfo {
    std::string application;          // shb_userappl
    std::string interfaceName;        // if_name: the port or the line
    std::string interfaceDescription; // if_description
};

struct CapturedPacket {
    std::uint64_t timestampNs = 0; // since 1970-01-01 UTC
    std::uint8_t direction = 0;    // 0 not given, 1 inbound, 2 outbound
    std::vector<std::uint8_t> bytes;
    std::string comment;

    friend bool operator==(const CapturedPacket&, const CapturedPacket&) = default;
};

class PcapngWriter {
public:
    // Starts `out` with the section header and the interface description.
    static void AppendHeader(std::vector<std::uint8_t>& out, const CaptureInfo& info);
    // One enhanced packet block; the time stamp is kept in whole microseconds.
    static void AppendPacket(std::vector<std::uint8_t>& out, std::uint64_t timestampNs,
                             std::uint8_t direction, const std::uint8_t* bytes, std::size_t length,
                             std::string_view comment);
    // A frame log record, stamped with the log's wall-clock start plus its time.
    static void AppendRecord(std::vector<std::uint8_t>& out, const FrameLog& log,
                             const FrameRecord& record);
};

// A whole capture of the records the log keeps, oldest first.
std::vector<std::uint8_t> CaptureOfLog(const FrameLog& log, const CaptureInfo& info);

struct CaptureReadResult {
    std::vector<CapturedPacket> packets;
    std::string error; // empty when the file was read whole
    bool Ok() const { return error.empty(); }
};

// Reads a pcapng capture from memory. Any input gives either the packets or an error naming
// what is wrong and where; nothing beyond `size` is read.
CaptureReadResult ReadPcapng(const std::uint8_t* data, std::size_t size);

// The comment that records a packet's outcome, and the outcome a comment records: nullopt for
// one this program does not write.
std::string_view OutcomeComment(FrameOutcome outcome) noexcept;
std::optional<FrameOutcome> RecordedOutcome(std::string_view comment) noexcept;

} // namespace orvik
