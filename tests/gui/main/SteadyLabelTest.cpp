#include "app/SteadyLabel.h"

#include <QApplication>
#include <QEvent>
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
