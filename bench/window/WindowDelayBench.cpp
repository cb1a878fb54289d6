// Builds the real main window on one end of a pseudo-terminal and plays the bus on the other
// from a writer thread. For each status frame it writes all bytes but the last, lets the
// program take them, notes the time, writes the last byte, and waits for the end of
// UpdateDisplay (the display sink calls the window's UpdateDisplay, then notes the time).
// Prints "name value unit" lines: median, 99th percentile and maximum of the delay.
//
//   window_delay_bench [--frames N] [--serial comm|qt]
//   comm: the program's own serial component, as the program runs it.
//   qt:   the window's port stays closed; Qt's serial port reads the line and feeds the same
//         LinkState, so the difference is the serial component's alone.
#include "app/Messages.h"
#include "app/Unit1.h"
#include "link/protocol/LinkFrame.h"

#include <QApplication>
#include <QTimer>
#ifdef ORVIK_BENCH_QSERIALPORT
#include <QSerialPort>
#endif

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <pty.h>
#include <termios.h>
#include <unistd.h>

using namespace orvik;
using Clock = std::chrono::steady_clock;

namespace {

std::int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

bool WriteAll(int fd, const std::uint8_t* bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t n = ::write(fd, bytes, count);
        if (n <= 0)
            return false;
        bytes += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

// A status frame with node 1 present and values that change from frame to frame.
std::size_t StatusFrame(int i, std::uint8_t* out) {
    std::uint8_t data[STATUS_RECORD_SIZE] = {};
    data[status_offset::NodePresent] = 0x0B;
    data[status_offset::BreakerOn] = static_cast<std::uint8_t>(i);
    for (std::size_t b = 0; b < 8; ++b)
        data[status_offset::Current + 2 * b] = static_cast<std::uint8_t>((i + b) % 200);
    data[status_offset::InputVoltage] = static_cast<std::uint8_t>(130 + i % 8);
    data[status_offset::OptionFlags] = OPT_PROGRAMMABLE;
    return EncodeFrame(FRAME_STATUS, data, sizeof data, out);
}

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    const std::size_t k =
        std::min(v.size() - 1, static_cast<std::size_t>(p * (v.size() - 1) + 0.5));
    return v[k];
}

} // namespace

int main(int argc, char* argv[]) {
    int frames = 1000;
    std::string serial = "comm";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--frames") == 0)
            frames = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--serial") == 0)
            serial = argv[i + 1];
    }
#ifndef ORVIK_BENCH_QSERIALPORT
    if (serial == "qt") {
        std::fprintf(stderr, "built without Qt's serial port\n");
        return 2;
    }
#endif

    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    termios raw{};
    ::tcgetattr(master, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(master, TCSANOW, &raw);

    const auto dir = std::filesystem::temp_directory_path() /
                     ("orvik-delay-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string settings = (dir / "Orvik.INI").string();
    {
        std::ofstream ini(settings);
        ini << "[Ports]\nCOM1=" << (serial == "comm" ? std::string(name) : dir.string() + "/none")
            << "\n";
    }

    QApplication app(argc, argv);
    messages::SetHooks(
        {[](const QString& text) { std::fprintf(stderr, "message: %s\n", qPrintable(text)); },
         {},
         {}});
    TForm1 form(settings);
    form.show();

    // The writer sleeps until the sink wakes it, after the time is noted: a writer that polled
    // would take a core from the threads being measured.
    std::mutex shownLock;
    std::condition_variable shown;
    std::int64_t shownAt = 0;
    int shownCount = 0;
    form.Link().SetDisplaySink([&](const DisplayUpdate& u) {
        form.UpdateDisplay(u);
        const std::int64_t at = NowNs();
        {
            const std::lock_guard<std::mutex> hold(shownLock);
            shownAt = at;
            ++shownCount;
        }
        shown.notify_one();
    });

#ifdef ORVIK_BENCH_QSERIALPORT
    QSerialPort port;
    std::uint8_t chunk[RX_CHUNK_SIZE];
    if (serial == "qt") {
        port.setPortName(QString::fromLocal8Bit(name));
        port.setBaudRate(57600);
        if (!port.open(QIODevice::ReadWrite)) {
            std::fprintf(stderr, "QSerialPort: %s\n", qPrintable(port.errorString()));
            return 1;
        }
        QObject::connect(&port, &QSerialPort::readyRead, &port, [&] {
            const qint64 n = port.read(reinterpret_cast<char*>(chunk), sizeof chunk);
            if (n > 0)
                form.Link().FeedBytes(chunk, static_cast<std::size_t>(n));
        });
    }
#endif
    if (serial == "comm" && !form.Comm1().IsOpen()) {
        std::fprintf(stderr, "the window did not open %s\n", name);
        return 1;
    }

    std::vector<double> delaysMs;
    delaysMs.reserve(static_cast<std::size_t>(frames));
    int lost = 0;
    std::thread writer([&] {
        std::mt19937 rng(3);
        std::uint8_t frame[MAX_FRAME_SIZE];
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        for (int i = 0; i < frames + 10; ++i) {
            const std::size_t n = StatusFrame(i, frame);
            int before = 0;
            {
                const std::lock_guard<std::mutex> hold(shownLock);
                before = shownCount;
            }
            WriteAll(master, frame, n - 1);
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
            const std::int64_t t0 = NowNs();
            WriteAll(master, frame + n - 1, 1);
            std::unique_lock<std::mutex> hold(shownLock);
            if (!shown.wait_for(hold, std::chrono::seconds(2),
                                [&] { return shownCount != before; }))
                ++lost;
            else if (i >= 10) // the first few warm up
                delaysMs.push_back((shownAt - t0) / 1e6);
            hold.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(1 + rng() % 8));
        }
        QMetaObject::invokeMethod(
            &app, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    });
    app.exec();
    writer.join();
    std::filesystem::remove_all(dir);
    ::close(slave);
    ::close(master);

    if (delaysMs.empty()) {
        std::fprintf(stderr, "no frame reached the display\n");
        return 1;
    }
    std::printf("frames %zu frames\n", delaysMs.size());
    std::printf("lost %d frames\n", lost);
    std::printf("median %.3f ms\n", Percentile(delaysMs, 0.5));
    std::printf("p99 %.3f ms\n", Percentile(delaysMs, 0.99));
    std::printf("max %.3f ms\n", *std::max_element(delaysMs.begin(), delaysMs.end()));
    return 0;
}
