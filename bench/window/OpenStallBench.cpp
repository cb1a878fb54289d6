// "Open recording..." of 24 hours of the full bus (eight nodes at the bus's full rate) while the
// window's thread runs a 10 ms timer, as the live window's work would: how long the file takes
// and the longest the timer waited. Prints "name value unit" lines, one round by default.
#include "app/HistoryWindow.h"
#include "bench/history/FullBus.h"
#include "link/capture/Pcapng.h"

#include <QApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>

using namespace orvik;
using namespace orvik::fullbus;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
    const std::string path = "/tmp/orvik-open-stall-bench.pcapng";
    {
        std::ofstream out(path, std::ios::binary);
        std::vector<std::uint8_t> bytes;
        PcapngWriter::AppendHeader(bytes, {"bench", "COM1", "Orvik bus"});
        StatusRecord record;
        const auto day = static_cast<std::uint64_t>(24 * 3600 * 1000 / FRAME_MS);
        for (std::uint64_t k = 0; k < day; ++k) {
            AppendRecorded(bytes, record, k);
            if (bytes.size() > (64u << 20)) {
                out.write(reinterpret_cast<const char*>(bytes.data()),
                          static_cast<std::streamsize>(bytes.size()));
                bytes.clear();
            }
        }
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        std::printf("recording_24h %.0f MB, %llu status frames\n",
                    static_cast<double>(out.tellp()) / 1e6, static_cast<unsigned long long>(day));
    }
    for (int r = 0; r < rounds; ++r) {
        auto last = Clock::now();
        double longestMs = 0;
        QTimer beat;
        beat.setInterval(10);
        QObject::connect(&beat, &QTimer::timeout, [&] {
            const auto now = Clock::now();
            longestMs =
                std::max(longestMs, std::chrono::duration<double, std::milli>(now - last).count());
            last = now;
        });
        beat.start();
        QWidget parent;
        const auto t0 = Clock::now();
        last = t0;
        std::unique_ptr<HistoryWindow> window(
            HistoryWindow::OpenRecording(QString::fromStdString(path), &parent, -1));
        const auto end = Clock::now();
        const double seconds = std::chrono::duration<double>(end - t0).count();
        // A thread held to the end never let the timer run at all.
        longestMs =
            std::max(longestMs, std::chrono::duration<double, std::milli>(end - last).count());
        beat.stop();
        std::printf("open_24h %.2f s\nopen_24h_longest_stall %.1f ms%s\n", seconds, longestMs,
                    window ? "" : " (not opened)");
    }
    std::remove(path.c_str());
    return 0;
}
