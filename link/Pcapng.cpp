#include "link/Pcapng.h"

#include "link/RegularFile.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <limits>

namespace orvik {

namespace {

constexpr std::uint32_t BLOCK_SECTION = 0x0A0D0D0A;
constexpr std::uint32_t BLOCK_INTERFACE = 1;
constexpr std::uint32_t BLOCK_ENHANCED_PACKET = 6;
constexpr std::uint32_t BYTE_ORDER_MAGIC = 0x1A2B3C4D;
constexpr std::uint16_t OPT_END = 0;
constexpr std::uint16_t OPT_COMMENT = 1;
constexpr std::uint16_t OPT_SHB_USERAPPL = 4;
constexpr std::uint16_t OPT_IF_NAME = 2;
constexpr std::uint16_t OPT_IF_DESCRIPTION = 3;
constexpr std::uint16_t OPT_IF_TSRESOL = 9;
constexpr std::uint16_t OPT_EPB_FLAGS = 2;
constexpr std::uint64_t NS_PER_SECOND = 1'000'000'000;
constexpr std::size_t MAX_FILE_SIZE = std::size_t{1} << 30;

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

// --- reading -------------------------------------------------------------------------------

class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    CaptureReadResult Run() {
        while (at_ < size_ && result_.error.empty())
            Block();
        if (result_.error.empty() && !sectionSeen_)
            result_.error = "not a pcapng capture (no section header)";
        return std::move(result_);
    }

private:
    struct Interface {
        bool ours = false;
        std::uint8_t tsresol = 6;
    };

    std::uint16_t U16(std::size_t at) const {
        const unsigned a = data_[at], b = data_[at + 1];
        return static_cast<std::uint16_t>(bigEndian_ ? (a << 8 | b) : (b << 8 | a));
    }
    std::uint32_t U32(std::size_t at) const {
        const std::uint32_t lo = U16(at), hi = U16(at + 2);
        return bigEndian_ ? (lo << 16 | hi) : (hi << 16 | lo);
    }
    bool Fail(const std::string& what, std::size_t at) {
        result_.error = what + " at byte " + std::to_string(at);
        return false;
    }

    void Block() {
        const std::size_t start = at_;
        if (size_ - start < 12) {
            Fail("truncated block", start);
            return;
        }
        const std::uint32_t rawType = U32(start);
        if (rawType == BLOCK_SECTION) {
            // The byte-order magic decides how this section and its lengths are read.
            const std::uint32_t magic = data_[start + 8] | data_[start + 9] << 8 |
                                        data_[start + 10] << 16 |
                                        static_cast<std::uint32_t>(data_[start + 11]) << 24;
            if (magic == BYTE_ORDER_MAGIC)
                bigEndian_ = false;
            else if (magic == 0x4D3C2B1A)
                bigEndian_ = true;
            else {
                Fail("bad byte-order magic in a section header", start);
                return;
            }
        } else if (!sectionSeen_) {
            Fail("not a pcapng capture (no section header)", start);
            return;
        }
        const std::uint32_t length = U32(start + 4);
        if (length < 12 || length % 4 != 0 || length > size_ - start) {
            Fail(length > size_ - start ? "truncated block" : "bad block length", start);
            return;
        }
        if (U32(start + length - 4) != length) {
            Fail("block lengths differ", start);
            return;
        }
        const std::size_t body = start + 8;
        const std::size_t end = start + length - 4; // the trailing length
        at_ = start + length;
        switch (rawType) {
        case BLOCK_SECTION:
            Section(body, end);
            break;
        case BLOCK_INTERFACE:
            InterfaceBlock(body, end);
            break;
        case BLOCK_ENHANCED_PACKET:
            Packet(body, end);
            break;
        default:
            break; // blocks we do not need
        }
    }

    void Section(std::size_t body, std::size_t end) {
        if (end - body < 16) {
            Fail("short section header", body - 8);
            return;
        }
        if (U16(body + 4) != 1) {
            Fail("pcapng version " + std::to_string(U16(body + 4)) + " not supported", body - 8);
            return;
        }
        sectionSeen_ = true;
        interfaces_.clear();
    }

    // Calls fn(code, at, length) for each option in [at, end).
    template <typename Fn> bool Options(std::size_t at, std::size_t end, Fn&& fn) {
        while (end - at >= 4) {
            const std::uint16_t code = U16(at);
            const std::uint16_t length = U16(at + 2);
            if (code == OPT_END)
                return true;
            const std::size_t padded = (std::size_t{length} + 3) & ~std::size_t{3};
            if (padded > end - at - 4)
                return Fail("option runs past its block", at);
            fn(code, at + 4, length);
            at += 4 + padded;
        }
        return true;
    }

    void InterfaceBlock(std::size_t body, std::size_t end) {
        if (end - body < 8) {
            Fail("short interface description", body - 8);
            return;
        }
        Interface i;
        i.ours = U16(body) == LINKTYPE_USER0;
        Options(body + 8, end, [&](std::uint16_t code, std::size_t at, std::uint16_t length) {
            if (code == OPT_IF_TSRESOL && length >= 1)
                i.tsresol = data_[at];
        });
        interfaces_.push_back(i);
    }

    // Time stamp units -> nanoseconds; false when it does not fit.
    static bool ToNs(std::uint64_t ts, std::uint8_t tsresol, std::uint64_t& ns) {
        const unsigned e = tsresol & 0x7F;
        if (tsresol & 0x80) { // 2^-e seconds
            if (e > 63)
                return false;
            const std::uint64_t seconds = e == 0 ? ts : ts >> e;
            std::uint64_t frac = e == 0 ? 0 : ts & ((std::uint64_t{1} << e) - 1);
            unsigned bits = e;
            if (bits > 30) { // keep frac * 1e9 within 64 bits
                frac >>= bits - 30;
                bits = 30;
            }
            if (seconds > std::numeric_limits<std::uint64_t>::max() / NS_PER_SECOND)
                return false;
            ns = seconds * NS_PER_SECOND + ((frac * NS_PER_SECOND) >> bits);
            return ns >= seconds * NS_PER_SECOND;
        }
        if (e > 19)
            return false;
        std::uint64_t scale = 1;
        for (unsigned k = e < 9 ? e : 9; k < 9; ++k)
            scale *= 10; // e < 9: multiply by 10^(9-e)
        if (e <= 9) {
            if (ts > std::numeric_limits<std::uint64_t>::max() / scale)
                return false;
            ns = ts * scale;
            return true;
        }
        std::uint64_t divisor = 1;
        for (unsigned k = 9; k < e; ++k)
            divisor *= 10;
        ns = ts / divisor;
        return true;
    }

    void Packet(std::size_t body, std::size_t end) {
        if (end - body < 20) {
            Fail("short packet block", body - 8);
            return;
        }
        const std::uint32_t id = U32(body);
        if (id >= interfaces_.size()) {
            Fail("packet of an unknown interface", body - 8);
            return;
        }
        const std::uint32_t captured = U32(body + 12);
        const std::size_t dataAt = body + 20;
        if (captured > end - dataAt) {
            Fail("packet data runs past its block", body - 8);
            return;
        }
        const Interface& i = interfaces_[id];
        if (!i.ours)
            return;
        CapturedPacket p;
        const std::uint64_t ts = std::uint64_t{U32(body + 4)} << 32 | U32(body + 8);
        if (!ToNs(ts, i.tsresol, p.timestampNs)) {
            Fail("time stamp out of range", body - 8);
            return;
        }
        p.bytes.assign(data_ + dataAt, data_ + dataAt + captured);
        const std::size_t optionsAt = dataAt + ((std::size_t{captured} + 3) & ~std::size_t{3});
        if (optionsAt < end) {
            const bool ok =
                Options(optionsAt, end, [&](std::uint16_t code, std::size_t at, std::uint16_t n) {
                    if (code == OPT_EPB_FLAGS && n >= 4)
                        p.direction = static_cast<std::uint8_t>(U32(at) & 3);
                    else if (code == OPT_COMMENT)
                        p.comment.assign(reinterpret_cast<const char*>(data_ + at), n);
                });
            if (!ok)
                return;
        }
        result_.packets.push_back(std::move(p));
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
    bool bigEndian_ = false;
    bool sectionSeen_ = false;
    std::vector<Interface> interfaces_;
    CaptureReadResult result_;
};

} // namespace

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
                 OutcomeText(r.outcome));
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
    return Reader(data, size).Run();
}

CaptureReadResult ReadPcapngFile(const std::string& path) {
    if (std::string reason; !CheckRegularFile(path, MAX_FILE_SIZE, reason)) {
        CaptureReadResult r;
        r.error = path + " " + reason;
        return r;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        CaptureReadResult r;
        r.error = "cannot open " + path;
        return r;
    }
    in.seekg(0, std::ios::end);
    const auto size = static_cast<std::streamoff>(in.tellg());
    if (size < 0 || static_cast<std::uint64_t>(size) > MAX_FILE_SIZE) {
        CaptureReadResult r;
        r.error = path + " is larger than 1 GiB";
        return r;
    }
    in.seekg(0);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data()), size);
    if (!in) {
        CaptureReadResult r;
        r.error = "cannot read " + path;
        return r;
    }
    CaptureReadResult r = ReadPcapng(bytes.data(), bytes.size());
    if (!r.Ok())
        r.error = path + ": " + r.error;
    return r;
}

} // namespace orvik
