// Reads the bus from DEVICE and parses it with the link core, as the program does but without
// a window, for SECONDS; then prints the frames shown and ends. From the third second on it
// prints once a second, over the time since then, a line
//   figures FRAMES_PER_S DELIVERIES_PER_FRAME ALLOCATIONS_PER_DELIVERY
// (a delivery: one OnRxChar call, or one readyRead of Qt's port).
//
//   orvik_ref_reader qt|comm DEVICE SECONDS
//   qt:   Qt's serial port, readyRead, read into a fixed chunk, LinkState::FeedBytes
//   comm: the program's serial component, OnRxChar, LinkState::Comm1RxChar
#include "bench/receive/CountingNew.h"
#include "link/line/CommLinkPort.h"
#include "link/state/LinkState.h"
#include "serial/CommPort.h"
#include "serial/qt/QtMainThreadInvoker.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#ifdef ORVIK_BENCH_QSERIALPORT
#include <QSerialPort>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

using namespace orvik;

int main(int argc, char* argv[]) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: orvik_ref_reader qt|comm DEVICE SECONDS\n");
        return 2;
    }
    const bool useQt = std::strcmp(argv[1], "qt") == 0;
    const char* device = argv[2];
    const int seconds = std::atoi(argv[3]);
    QCoreApplication app(argc, argv);

    LinkState link;
    link.SetNodeSelector([] { return 1; });
    long shown = 0;
    long deliveries = 0;
    link.SetDisplaySink([&shown](const DisplayUpdate&) { ++shown; });
    // Figures from the third second on: the first bring the frames the line kept meanwhile.
    struct {
        long shown = 0;
        long deliveries = 0;
        std::uint64_t allocations = 0;
        QElapsedTimer since;
    } mark;
    QTimer figures;
    QObject::connect(&figures, &QTimer::timeout, [&] {
        const std::uint64_t allocations = bench::AllocationCount();
        if (!mark.since.isValid()) {
            mark.shown = shown;
            mark.deliveries = deliveries;
            mark.allocations = allocations;
            mark.since.start();
            return;
        }
        const double s = static_cast<double>(mark.since.elapsed()) / 1000.0;
        const long frames = shown - mark.shown;
        const long calls = deliveries - mark.deliveries;
        std::printf("figures %.2f %.2f %.3f\n", s > 0 ? static_cast<double>(frames) / s : 0.0,
                    frames > 0 ? static_cast<double>(calls) / static_cast<double>(frames) : 0.0,
                    calls > 0 ? static_cast<double>(allocations - mark.allocations) /
                                    static_cast<double>(calls)
                              : 0.0);
        std::fflush(stdout);
    });
    QTimer::singleShot(2000, [&figures] { figures.start(1000); });
    // The program's 100 ms timer, so that both sleep the same way.
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&link] { link.Timer1Timer(); });
    timer.start(100);
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);

    TComm comm(std::make_shared<TQtMainThreadInvoker>());
    CommLinkPort commPort(comm);
#ifdef ORVIK_BENCH_QSERIALPORT
    QSerialPort port;
    std::uint8_t chunk[RX_CHUNK_SIZE];
#endif
    if (useQt) {
#ifdef ORVIK_BENCH_QSERIALPORT
        port.setPortName(QString::fromLocal8Bit(device));
        if (!port.open(QIODevice::ReadWrite) || !port.setBaudRate(57600)) {
            std::fprintf(stderr, "QSerialPort: %s\n", qPrintable(port.errorString()));
            return 1;
        }
        QObject::connect(&port, &QSerialPort::readyRead, &port, [&] {
            ++deliveries;
            const qint64 n = port.read(reinterpret_cast<char*>(chunk), sizeof chunk);
            if (n > 0)
                link.FeedBytes(chunk, static_cast<std::size_t>(n));
        });
#else
        std::fprintf(stderr, "built without Qt's serial port\n");
        return 2;
#endif
    } else {
        link.SetPort(&commPort);
        comm.OnRxChar = [&](TCustomComm*, std::int32_t count) {
            ++deliveries;
            link.Comm1RxChar(count);
        };
        comm.SetDeviceName(device);
        try {
            comm.SetBaudRate(cbr57600);
            comm.Open();
        } catch (const ECommError& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
    }
    app.exec();
    comm.Close();
    std::printf("frames_shown %ld\n", shown);
    return 0;
}
