#include "link/capture/PcapngStream.h"
#include "link/base/Utf8Path.h"

#include "link/base/RegularFile.h"
#include "link/capture/PcapngFormat.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <vector>

namespace orvik {

namespace {

using namespace pcapng;

constexpr std::uint64_t NS_PER_SECOND = 1'000'000'000;
constexpr std::size_t MAX_BLOCK = std::size_t{16} << 20;
constexpr std::size_t READ_CHUNK = std::size_t{1} << 20;

// Where the bytes come from: Bytes(at, n) gives n bytes from offset `at`, or null when they
// cannot be read.
class Source {
public:
    virtual ~Source() = default;
    virtual std::uint64_t Size() const = 0;
    virtual const std::uint8_t* Bytes(std::uint64_t at, std::size_t n) = 0;
};

class MemorySource : public Source {
public:
    MemorySource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    const std::uint8_t* Bytes(std::uint64_t at, std::size_t n) override {
        return at + n <= size_ ? data_ + at : nullptr;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

int Seek(std::FILE* f, std::uint64_t at);

// Reads ahead in chunks of a megabyte and keeps the chunk that holds the block asked for.
class FileSource : public Source {
public:
    FileSource(std::FILE* file, std::uint64_t size) : file_(file), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    const std::uint8_t* Bytes(std::uint64_t at, std::size_t n) override {
        if (at >= start_ && at + n <= start_ + buffer_.size())
            return buffer_.data() + (at - start_);
        if (at + n > size_)
            return nullptr;
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(std::max(n, READ_CHUNK), size_ - at));
        buffer_.resize(want);
        if (at != position_ && Seek(file_, at) != 0)
            return nullptr;
        const std::size_t got = std::fread(buffer_.data(), 1, want, file_);
        position_ = at + got;
        start_ = at;
        buffer_.resize(got);
        return got >= n ? buffer_.data() : nullptr;
    }

private:
    std::FILE* file_;
    std::uint64_t size_;
    std::uint64_t start_ = 0;
    std::uint64_t position_ = 0;
    std::vector<std::uint8_t> buffer_;
};

class BlockReader {
public:
    BlockReader(Source& source, const PacketSink& sink, ScanControl* control = nullptr)
        : source_(source), sink_(sink), control_(control) {}

    CaptureScan Run() {
        while (at_ < source_.Size()) {
            const std::uint64_t start = at_;
            if (control_) {
                control_->bytesRead = at_;
                if (control_->cancel) {
                    scan_.cancelled = true;
                    break;
                }
            }
            if (Block())
                continue;
            // Damage inside a capture: go on from the next whole block, if there is one. A
            // file that ends inside its last block was cut short, as a crash leaves it.
            if (!damage_ || !Resync(start))
                break;
            ++scan_.damagedBlocks;
            scan_.error.clear();
            scan_.breakAt = 0;
            scan_.cutShort = false;
        }
        if (scan_.Ok() && !scan_.sectionSeen)
            Fail("not a pcapng capture (no section header)", 0);
        return std::move(scan_);
    }

private:
    struct Interface {
        bool ours = false;
        std::uint8_t tsresol = 6;
    };

    std::uint16_t U16(const std::uint8_t* p) const {
        const unsigned a = p[0], b = p[1];
        return static_cast<std::uint16_t>(bigEndian_ ? (a << 8 | b) : (b << 8 | a));
    }
    std::uint32_t U32(const std::uint8_t* p) const {
        const std::uint32_t lo = U16(p), hi = U16(p + 2);
        return bigEndian_ ? (lo << 16 | hi) : (hi << 16 | lo);
    }
    bool Fail(const std::string& what, std::uint64_t at) {
        scan_.error = what + " at byte " + std::to_string(at);
        scan_.breakAt = at;
        damage_ = false;
        return false;
    }
    // A block of the capture that cannot be read: skipped when a whole block follows.
    bool Damaged(const std::string& what, std::uint64_t at) {
        Fail(what, at);
        damage_ = scan_.sectionSeen;
        return false;
    }

    // A block that can be one of ours: a known type, a length that fits, the same at its end.
    bool Plausible(std::uint64_t at) {
        const std::uint8_t* head = source_.Bytes(at, 12);
        if (!head)
            return false;
        const std::uint32_t type = U32(head);
        const std::uint32_t length = U32(head + 4);
        if ((type != BLOCK_ENHANCED_PACKET && type != BLOCK_INTERFACE && type != BLOCK_SECTION) ||
            length < 12 || length % 4 != 0 || length > MAX_BLOCK || length > source_.Size() - at)
            return false;
        const std::uint8_t* block = source_.Bytes(at, length);
        return block && U32(block + length - 4) == length;
    }

    // Moves to the next plausible block after the damaged one at `start`; false when none
    // follows.
    bool Resync(std::uint64_t start) {
        for (std::uint64_t at = start + 4; at + 12 <= source_.Size(); at += 4)
            if (Plausible(at)) {
                at_ = at;
                return true;
            }
        return false;
    }
    bool CutShort(std::uint64_t at) {
        Damaged("cut short in the block", at);
        scan_.cutShort = true;
        return false;
    }

    bool Block() {
        const std::uint64_t start = at_;
        const std::uint64_t left = source_.Size() - start;
        if (left < 12) {
            // Too short for a block; a file that never began as a capture is not cut short.
            const std::uint8_t* b = source_.Bytes(start, static_cast<std::size_t>(left));
            if (!scan_.sectionSeen &&
                (left < 4 || !b || b[0] != 0x0A || b[1] != 0x0D || b[2] != 0x0D || b[3] != 0x0A))
                return Fail("not a pcapng capture (no section header)", start);
            return CutShort(start);
        }
        const std::uint8_t* head = source_.Bytes(start, 12);
        if (!head)
            return Fail("read error", start);
        const std::uint32_t le =
            head[0] | head[1] << 8 | head[2] << 16 | static_cast<std::uint32_t>(head[3]) << 24;
        if (le == BLOCK_SECTION) {
            // The byte-order magic decides how this section and its lengths are read.
            const std::uint32_t magic = head[8] | head[9] << 8 | head[10] << 16 |
                                        static_cast<std::uint32_t>(head[11]) << 24;
            if (magic == BYTE_ORDER_MAGIC)
                bigEndian_ = false;
            else if (magic == BYTE_ORDER_SWAPPED)
                bigEndian_ = true;
            else
                return Damaged(scan_.sectionSeen ? "bad byte-order magic in a section header"
                                                 : "not a pcapng capture (bad byte-order magic)",
                               start);
        } else if (!scan_.sectionSeen) {
            return Fail("not a pcapng capture (no section header)", start);
        }
        const std::uint32_t type = U32(head);
        const std::uint32_t length = U32(head + 4);
        if (length < 12 || length % 4 != 0)
            return Damaged("bad block length", start);
        if (length > MAX_BLOCK)
            return Damaged("block of " + std::to_string(length) + " bytes", start);
        if (length > left)
            return CutShort(start);
        const std::uint8_t* block = source_.Bytes(start, length);
        if (!block)
            return Fail("read error", start);
        if (U32(block + length - 4) != length)
            return Damaged("block lengths differ", start);
        at_ = start + length;
        const std::uint8_t* body = block + 8;
        const std::size_t bodyLength = length - 12;
        switch (type) {
        case BLOCK_SECTION:
            return Section(body, bodyLength, start);
        case BLOCK_INTERFACE:
            return InterfaceBlock(body, bodyLength, start);
        case BLOCK_ENHANCED_PACKET:
            return Packet(body, bodyLength, start);
        default:
            return true; // blocks we do not need
        }
    }

    bool Section(const std::uint8_t* body, std::size_t n, std::uint64_t start) {
        if (n < 16)
            return Damaged("short section header", start);
        if (U16(body + 4) != 1)
            return Fail("pcapng version " + std::to_string(U16(body + 4)) + " not supported",
                        start);
        scan_.sectionSeen = true;
        interfaces_.clear();
        return true;
    }

    // Calls fn(code, value, length) for each option in [p, p + n).
    template <typename Fn>
    bool Options(const std::uint8_t* p, std::size_t n, std::uint64_t start, Fn&& fn) {
        std::size_t at = 0;
        while (n - at >= 4) {
            const std::uint16_t code = U16(p + at);
            const std::uint16_t length = U16(p + at + 2);
            if (code == OPT_END)
                return true;
            const std::size_t padded = (std::size_t{length} + 3) & ~std::size_t{3};
            if (padded > n - at - 4)
                return Damaged("option runs past its block", start);
            fn(code, p + at + 4, length);
            at += 4 + padded;
        }
        return true;
    }

    bool InterfaceBlock(const std::uint8_t* body, std::size_t n, std::uint64_t start) {
        if (n < 8)
            return Damaged("short interface description", start);
        Interface i;
        i.ours = U16(body) == LINKTYPE_USER0;
        scan_.interfaceSeen = scan_.interfaceSeen || i.ours;
        const bool ok = Options(body + 8, n - 8, start,
                                [&](std::uint16_t code, const std::uint8_t* v, std::uint16_t len) {
                                    if (code == OPT_IF_TSRESOL && len >= 1)
                                        i.tsresol = v[0];
                                });
        interfaces_.push_back(i);
        return ok;
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
        if (e <= 9) {
            std::uint64_t scale = 1;
            for (unsigned k = e; k < 9; ++k)
                scale *= 10;
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

    bool Packet(const std::uint8_t* body, std::size_t n, std::uint64_t start) {
        if (n < 20)
            return Damaged("short packet block", start);
        const std::uint32_t id = U32(body);
        if (id >= interfaces_.size())
            return Damaged("packet of an unknown interface", start);
        const std::uint32_t captured = U32(body + 12);
        if (captured > n - 20)
            return Damaged("packet data runs past its block", start);
        const Interface& i = interfaces_[id];
        if (!i.ours)
            return true;
        PacketView p;
        const std::uint64_t ts = std::uint64_t{U32(body + 4)} << 32 | U32(body + 8);
        if (!ToNs(ts, i.tsresol, p.timestampNs))
            return Damaged("time stamp out of range", start);
        p.bytes = body + 20;
        p.length = captured;
        const std::size_t optionsAt = 20 + ((std::size_t{captured} + 3) & ~std::size_t{3});
        if (optionsAt < n) {
            const bool ok =
                Options(body + optionsAt, n - optionsAt, start,
                        [&](std::uint16_t code, const std::uint8_t* v, std::uint16_t len) {
                            if (code == OPT_EPB_FLAGS && len >= 4)
                                p.direction = static_cast<std::uint8_t>(U32(v) & 3);
                            else if (code == OPT_COMMENT)
                                p.comment = {reinterpret_cast<const char*>(v), len};
                        });
            if (!ok)
                return false;
        }
        ++scan_.packets;
        sink_(p);
        return true;
    }

    Source& source_;
    const PacketSink& sink_;
    ScanControl* control_;
    std::uint64_t at_ = 0;
    bool bigEndian_ = false;
    bool damage_ = false; // the last failure was a damaged block of a capture
    std::vector<Interface> interfaces_;
    CaptureScan scan_;
};

int Seek(std::FILE* f, std::uint64_t at) {
#ifdef _WIN32
    return _fseeki64(f, static_cast<long long>(at), SEEK_SET);
#else
    return fseeko(f, static_cast<off_t>(at), SEEK_SET);
#endif
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

} // namespace

CaptureScan ScanPcapng(const std::uint8_t* data, std::size_t size, const PacketSink& sink) {
    MemorySource source(data, size);
    return BlockReader(source, sink).Run();
}

CaptureScan ScanPcapngFile(const std::string& path, const PacketSink& sink, ScanControl* control) {
    CaptureScan failed;
    // A capture may be large, but it is a regular file: never a FIFO or a device.
    if (std::string reason; !CheckRegularFile(path, UINT64_MAX, reason)) {
        failed.error = path + " " + reason;
        return failed;
    }
    std::error_code ec;
    const auto size = std::filesystem::file_size(PathOf(path), ec);
    std::unique_ptr<std::FILE, FileCloser> file(ec ? nullptr : std::fopen(path.c_str(), "rb"));
    if (!file) {
        failed.error = "cannot open " + path;
        return failed;
    }
    FileSource source(file.get(), size);
    if (control)
        control->size = size;
    CaptureScan scan = BlockReader(source, sink, control).Run();
    if (!scan.Ok())
        scan.error = path + ": " + scan.error;
    return scan;
}

} // namespace orvik
