#include "app/SteadyLabel.h"
#include "app/StatusLine.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

struct LayoutRequests : QObject {
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        count += event->type() == QEvent::LayoutRequest;
        return false;
    }
};

// The status line's text changes every second; only a text that no longer fits may lay the
// window out again.
TEST(SteadyLabel, ANewTextLaysOutTheWindowOnlyWhenItNoLongerFits) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* steady = new SteadyLabel(&window);
    layout->addWidget(steady);
    layout->addWidget(new QLabel("below", &window));
    steady->setText("COM1: receiving, 41.3 frames/s");
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QApplication::sendPostedEvents();
    EXPECT_EQ(steady->Label()->size(), steady->size());

    LayoutRequests requests;
    window.installEventFilter(&requests);
    steady->installEventFilter(&requests);
    steady->setText("COM1: receiving, 41.2 frames/s");
    steady->setText("COM1: open");
    QApplication::sendPostedEvents();
    EXPECT_EQ(requests.count, 0);
    EXPECT_EQ(steady->Label()->text(), "COM1: open");

    const QString longer = "COM1 - /dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0: open, "
                           "no valid frame for 12 s";
    steady->setText(longer);
    for (int i = 0; i < 100 && steady->width() < steady->Label()->sizeHint().width(); ++i)
        QTest::qWait(10);
    EXPECT_GT(requests.count, 0);
    EXPECT_GE(steady->width(), steady->Label()->sizeHint().width());
    EXPECT_EQ(steady->Label()->size(), steady->size());
}

} // namespace

// A long network address gives way, in its middle, to the reason and the countdown.
TEST(StatusLineText, ALongAddressGivesWayToTheReasonAndTheCountdown) {
    const QFontMetrics metrics(QApplication::font());
    const QString url = "rfc2217://bench-adapter-in-the-far-workshop.fleet.example.net:2217";
    const QString text = "COM1 - " + url + ": connection refused, next try in 4 s";
    const int width = metrics.horizontalAdvance(text) * 2 / 3;
    const QString fitted = FitStatusText(text, url, metrics, width);
    EXPECT_LE(metrics.horizontalAdvance(fitted), width);
    EXPECT_TRUE(fitted.startsWith("COM1 - rfc2217://")) << fitted.toStdString();
    EXPECT_TRUE(fitted.endsWith(": connection refused, next try in 4 s")) << fitted.toStdString();
    EXPECT_TRUE(fitted.contains(QChar(0x2026))) << fitted.toStdString();
    EXPECT_EQ(FitStatusText(text, url, metrics, metrics.horizontalAdvance(text)), text);
    // Without the address in it, the text itself gives way in its middle.
    EXPECT_LE(metrics.horizontalAdvance(FitStatusText(text, "COM9", metrics, width)), width);
}
