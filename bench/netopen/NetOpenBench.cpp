// Builds the real main window with COM1 on a network port that fails, and measures how long
// its main thread is held up: the window's construction (which opens the port) and the longest
// gap between the ticks of a 5 ms timer until the status line gives the reason, and closing it.
// Cases: a port nothing listens on, a host that does not answer (a listener whose backlog is full
// drops the connection request), a server that accepts and says nothing, a server that refuses
// 57600. Prints "case round stall_ms reason_ms status" lines, then per case the median and maximum.
//
//   net_open_bench [--rounds N]
#include "app/Unit1.h"
#include "serial/Rfc2217.h"
#include "tests/support/FakeTcpServer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace orvik;
namespace fs = std::filesystem;

namespace {

struct Case {
    const char* name;
    const char* reason; // what the status line says once the open failed
};

// A listener on 127.0.0.1 that takes no connection, its backlog filled: the next connection
// request is dropped, as by a host that does not answer.
struct FullBacklog {
    int listener = -1;
    std::vector<int> fillers;
    std::uint16_t port = 0;
    FullBacklog() {
        listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof at;
        bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at);
        listen(listener, 0);
        getsockname(listener, reinterpret_cast<sockaddr*>(&at), &length);
        port = ntohs(at.sin_port);
        for (int i = 0; i < 4; ++i) {
            const int s = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            connect(s, reinterpret_cast<sockaddr*>(&at), sizeof at);
            fillers.push_back(s);
        }
        usleep(100000);
    }
    ~FullBacklog() {
        for (int s : fillers)
            close(s);
        close(listener);
    }
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char* argv[]) {
    int rounds = 5;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--rounds") == 0)
            rounds = std::max(1, std::atoi(argv[i + 1]));
    QApplication app(argc, argv);

    test::FakeTcpServer silent([](test::FakeClient& c) { c.Drain(8000); });
    test::FakeTcpServer at9600([](test::FakeClient& c) {
        using namespace telnet;
        std::string answer = {char(IAC), char(DO), char(COM_PORT)};
        AppendComPortCommand(answer, SERVER_OFFSET + SET_BAUDRATE, 9600, 4);
        c.Write(std::vector<std::uint8_t>(answer.begin(), answer.end()));
        c.Drain(8000);
    });
    FullBacklog full;
    const std::uint16_t refused = test::FakeTcpServer::RefusingPort();

    const Case cases[] = {{"refused", "connection refused"},
                          {"silent_host", "no answer"},
                          {"silent_server", "57600 8N1 not accepted"},
                          {"refuses_57600", "57600 8N1 not accepted"}};
    const std::uint16_t ports[] = {refused, full.port, silent.Port(), at9600.Port()};

    const fs::path dir =
        fs::temp_directory_path() / ("orvik-net-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::printf("case round stall_ms reason_ms status\n");
    for (std::size_t c = 0; c < std::size(cases); ++c) {
        std::vector<double> stalls;
        std::vector<double> reasons;
        for (int r = 0; r < rounds; ++r) {
            const std::string settings = (dir / "Orvik.INI").string();
            std::ofstream(settings) << "[Ports]\nCOM1=rfc2217://127.0.0.1:" << ports[c] << "\n";
            QElapsedTimer clock;
            clock.start();
            double stall = 0;
            auto form = std::make_unique<TForm1>(settings); // opens COM1
            stall = std::max(stall, clock.nsecsElapsed() / 1e6);
            form->show();
            QEventLoop loop;
            QTimer tick;
            tick.setTimerType(Qt::PreciseTimer);
            qint64 last = clock.nsecsElapsed();
            double reasonMs = -1;
            QObject::connect(&tick, &QTimer::timeout, [&] {
                const qint64 now = clock.nsecsElapsed();
                stall = std::max(stall, (now - last) / 1e6);
                last = now;
                if (form->StatusLineText().contains(cases[c].reason)) {
                    reasonMs = now / 1e6;
                    loop.quit();
                }
                if (now > 9'000'000'000LL)
                    loop.quit();
            });
            tick.start(5);
            loop.exec();
            const std::string status = form->StatusLineText().toStdString();
            const qint64 closing = clock.nsecsElapsed();
            form.reset(); // closes the port, while it connects again after a back-off or not
            stall = std::max(stall, (clock.nsecsElapsed() - closing) / 1e6);
            std::printf("%s %d %.1f %.0f %s\n", cases[c].name, r + 1, stall, reasonMs,
                        status.c_str());
            std::fflush(stdout);
            stalls.push_back(stall);
            reasons.push_back(reasonMs);
        }
        std::printf("%s_stall_ms median %.1f max %.1f\n", cases[c].name, Median(stalls),
                    *std::max_element(stalls.begin(), stalls.end()));
        std::printf("%s_reason_ms median %.0f min %.0f max %.0f\n", cases[c].name, Median(reasons),
                    *std::min_element(reasons.begin(), reasons.end()),
                    *std::max_element(reasons.begin(), reasons.end()));
    }
    fs::remove_all(dir);
    return 0;
}
