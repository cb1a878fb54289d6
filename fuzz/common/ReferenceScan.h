// A second, independent reading of a received byte stream: walks the whole stream by offsets
// instead of byte by byte, and lists every frame whose sum and XOR bytes are right. A frame
// start is D5 followed directly by 82; a byte other than 82 after D5 is dropped with it; the
// bytes of a frame that fails its checks are not looked at again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvik::reference {

struct ScannedFrame {
    std::size_t last = 0; // offset of the frame's XOR byte
    std::uint8_t type = 0;
    std::uint8_t lengthByte = 0;
    std::vector<std::uint8_t> data;
};

inline std::vector<ScannedFrame> ScanFrames(const std::uint8_t* bytes, std::size_t size) {
    std::vector<ScannedFrame> frames;
    std::size_t i = 0;
    while (i < size) {
        if (bytes[i] != 0xD5) {
            ++i;
            continue;
        }
        if (i + 1 >= size)
            break;
        if (bytes[i + 1] != 0x82) {
            i += 2;
            continue;
        }
        if (i + 3 >= size)
            break;
        const std::size_t length = bytes[i + 3] == 0 ? 256 : bytes[i + 3];
        const std::size_t sumAt = i + 4 + length;
        if (sumAt >= size)
            break;
        unsigned sum = 0;
        unsigned x = 0;
        for (std::size_t k = i + 2; k < sumAt; ++k) {
            sum += bytes[k];
            x ^= bytes[k];
        }
        if (bytes[sumAt] != (sum & 0xFF)) {
            i = sumAt + 1;
            continue;
        }
        if (sumAt + 1 >= size)
            break;
        if (bytes[sumAt + 1] != x) {
            i = sumAt + 2;
            continue;
        }
        ScannedFrame f;
        f.last = sumAt + 1;
        f.type = bytes[i + 2];
        f.lengthByte = bytes[i + 3];
        f.data.assign(bytes + i + 4, bytes + sumAt);
        frames.push_back(std::move(f));
        i = sumAt + 2;
    }
    return frames;
}

} // namespace orvik::reference
