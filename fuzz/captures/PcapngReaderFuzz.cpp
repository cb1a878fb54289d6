// Arbitrary bytes as a capture file: the reader either names what is wrong or gives packets,
// never reads past the input; what it gives, written again by our writer, reads back the same
// (time stamps to the microsecond).
#include "link/capture/Pcapng.h"

#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool ok) {
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orvik;
    const CaptureReadResult first = ReadPcapng(data, size);
    if (!first.Ok())
        return 0;
    std::vector<std::uint8_t> again;
    PcapngWriter::AppendHeader(again, {"fuzz", "line", ""});
    for (const CapturedPacket& p : first.packets)
        PcapngWriter::AppendPacket(again, p.timestampNs, p.direction, p.bytes.data(),
                                   p.bytes.size(), p.comment);
    const CaptureReadResult second = ReadPcapng(again.data(), again.size());
    Check(second.Ok());
    Check(second.packets.size() == first.packets.size());
    for (std::size_t i = 0; i < first.packets.size(); ++i) {
        const CapturedPacket& a = first.packets[i];
        const CapturedPacket& b = second.packets[i];
        Check(b.bytes == a.bytes && b.direction == a.direction && b.comment == a.comment);
        Check(b.timestampNs == a.timestampNs / 1000 * 1000);
    }
    return 0;
}
