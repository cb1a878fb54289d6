#include "link/capture/Pcapng.h"

#include "link/capture/PcapngFormat.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <limits>

namespace orvik {

namespace {

using namespace pcapng;

// --- writing (little-endian) ---------------------------------------------------------------

void Put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Put16(out, static_cast<std::uint16_t>(v));
    Put16(out, static_cast<std::uint16_t>(v >> 16));
}
void Pad(std::vector<std::uint8_t>& out) {
    while (out.size() % 4)
        out.push_back(0);
}
void PutOption(std::vector<std::uint8_t>& out, std::uint16_t code, const void* value,
               std::size_t length) {
    length = std::min<std::size_t>(length, 0xFFFF);
    Put16(out, code);
    Put16(out, static_cast<std::uint16_t>(length));
    const auto* p = static_cast<const std::uint8_t*>(value);
    out.insert(out.end(), p, p + length);
    Pad(out);
}
void PutText(std::vector<std::uint8_t>& out, std::uint16_t code, std::string_view text) {
    if (!text.empty())
        PutOption(out, code, text.data(), text.size());
}

// Opens a block at the (4-aligned) end of `out`; Close writes both lengths.
std::size_t Open(std::vector<std::uint8_t>& out, std::uint32_t type) {
    Pad(out);
    const std::size_t at = out.size();
    Put32(out, type);
    Put32(out, 0);
    return at;
}
void Close(std::vector<std::uint8_t>& out, std::size_t at) {
    Pad(out);
    const auto length = static_cast<std::uint32_t>(out.size() - at + 4);
    Put32(out, length);
    for (int i = 0; i < 4; ++i)
        out[at + 4 + i] = static_cast<std::uint8_t>(length >> (8 * i));
}

// The words a packet's comment records its outcome in, by FrameOutcome. Captures keep them.
constexpr std::array<std::string_view, OUTCOME_COUNT> OUTCOME_COMMENTS = {"accepted",
                                                                          "bad sum",
                                                                          "bad XOR",
                                                                          "short status frame",
                                                                          "short setup frame",
                                                                          "ignored type",
                                                                          "reply from another node",
                                                                          "noise",
                                                                          "sent",
                                                                          "not sent"};

} // namespace

std::string_view OutcomeComment(FrameOutcome outcome) noexcept {
    const auto i = static_cast<std::size_t>(outcome);
    return i < OUTCOME_COMMENTS.size() ? OUTCOME_COMMENTS[i] : std::string_view{};
}

std::optional<FrameOutcome> RecordedOutcome(std::string_view comment) noexcept {
    for (std::size_t i = 0; i < OUTCOME_COMMENTS.size(); ++i)
        if (comment == OUTCOME_COMMENTS[i])
            return static_cast<FrameOutcome>(i);
    return std::nullopt;
}

void PcapngWriter::AppendHeader(std::vector<std::uint8_t>& out, const CaptureInfo& info) {
    std::size_t at = Open(out, BLOCK_SECTION);
    Put32(out, BYTE_ORDER_MAGIC);
    Put16(out, 1); // version 1.0
    Put16(out, 0);
    Put32(out, 0xFFFFFFFF); // section length not given
    Put32(out, 0xFFFFFFFF);
    PutText(out, OPT_SHB_USERAPPL, info.application);
    Put32(out, OPT_END);
    Close(out, at);

    at = Open(out, BLOCK_INTERFACE);
    Put16(out, LINKTYPE_USER0);
    Put16(out, 0);
    Put32(out, 0); // no snap length limit
    PutText(out, OPT_IF_NAME, info.interfaceName);
    PutText(out, OPT_IF_DESCRIPTION, info.interfaceDescription);
    const std::uint8_t microseconds = 6;
    PutOption(out, OPT_IF_TSRESOL, &microseconds, 1);
    Put32(out, OPT_END);
    Close(out, at);
}

void PcapngWriter::AppendPacket(std::vector<std::uint8_t>& out, std::uint64_t timestampNs,
                                std::uint8_t direction, const std::uint8_t* bytes,
                                std::size_t length, std::string_view comment) {
    const std::uint64_t us = timestampNs / 1000;
    const std::size_t at = Open(out, BLOCK_ENHANCED_PACKET);
    Put32(out, 0); // the one interface
    Put32(out, static_cast<std::uint32_t>(us >> 32));
    Put32(out, static_cast<std::uint32_t>(us));
    Put32(out, static_cast<std::uint32_t>(length));
    Put32(out, static_cast<std::uint32_t>(length));
    out.insert(out.end(), bytes, bytes + length);
    Pad(out);
    if (direction != 0) {
        std::uint8_t flags[4] = {static_cast<std::uint8_t>(direction & 3), 0, 0, 0};
        PutOption(out, OPT_EPB_FLAGS, flags, sizeof flags);
    }
    PutText(out, OPT_COMMENT, comment);
    Put32(out, OPT_END);
    Close(out, at);
}

void PcapngWriter::AppendRecord(std::vector<std::uint8_t>& out, const FrameLog& log,
                                const FrameRecord& r) {
    const std::int64_t t = log.WallStartNs() + r.timeNs;
    AppendPacket(out, t > 0 ? static_cast<std::uint64_t>(t) : 0,
                 static_cast<std::uint8_t>(r.direction), r.bytes.data(), r.length,
                 OutcomeComment(r.outcome));
}

std::vector<std::uint8_t> CaptureOfLog(const FrameLog& log, const CaptureInfo& info) {
    std::vector<std::uint8_t> out;
    out.reserve(256 + log.Size() * 300);
    PcapngWriter::AppendHeader(out, info);
    for (std::uint64_t seq = log.FirstSeq(); seq < log.NextSeq(); ++seq)
        PcapngWriter::AppendRecord(out, log, *log.Find(seq));
    return out;
}

CaptureReadResult ReadPcapng(const std::uint8_t* data, std::size_t size) {
    CaptureReadResult r;
    const CaptureScan scan = ScanPcapng(data, size, [&r](const PacketView& p) {
        r.packets.push_back(
            {p.timestampNs, p.direction, {p.bytes, p.bytes + p.length}, std::string(p.comment)});
    });
    r.error = scan.error;
    return r;
}

} // namespace orvik
