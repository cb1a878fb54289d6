// The History window's plot over 24 hours of the full bus (eight nodes at the bus's full rate):
// the time of one whole paint (eight curves, trip levels, the voltage, the bands, the axis and
// the event marks) into a 1000-pixel-wide picture, for the whole day and for the last hour.
// Prints "name value unit (min, max)" lines over the rounds given. With --save FILE the whole
// day's picture is written there too, to look at.
#include "app/HistoryPlot.h"
#include "bench/history/FullBus.h"
#include "link/history/BusHistory.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

using namespace orvik;
using Clock = std::chrono::steady_clock;

namespace {

void Report(const char* name, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%s %.2f ms (min %.2f, max %.2f)\n", name, ms[ms.size() / 2], ms.front(),
                ms.back());
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const char* save = argc > 3 && std::string(argv[2]) == "--save" ? argv[3] : nullptr;
    BusHistory history;
    StatusRecord record;
    const auto day = static_cast<std::uint64_t>(24 * 3600 * 1000 / fullbus::FRAME_MS);
    for (std::uint64_t i = 0; i < day; ++i) {
        fullbus::Fill(record, i);
        history.AddStatus(fullbus::TimeOf(i), record);
    }
    const std::int64_t end = history.LastMs();
    HistoryPlot plot(
        history, [end] { return end; }, nullptr);
    QImage image(1000 + HistoryPlot::MARGIN_LEFT + HistoryPlot::MARGIN_RIGHT, 600,
                 QImage::Format_RGB32); // 1000 columns of plot
    for (const auto& [name, span] : {std::pair{"repaint_24h", std::int64_t{0}},
                                     std::pair{"repaint_1h", std::int64_t{3600 * 1000}}}) {
        plot.SetSpan(span);
        std::vector<double> ms;
        for (int r = 0; r < rounds; ++r) {
            const auto t0 = Clock::now();
            QPainter painter(&image);
            plot.Render(painter, image.size());
            painter.end();
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        }
        Report(name, ms);
        if (save && span == 0)
            image.save(save);
    }
    return 0;
}
