// The message boxes of every window carry the program's name; the icon holds every size.
#include "MainWindowSupport.h"
#include "ProgramIcon.h"
#include "Switch.h"
#include "Unit15.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using namespace orvik;
using namespace orvik::test;

namespace {

// The caption of the box that `open` shows; the box is closed at once.
QString CaptionOf(const std::function<void()>& open) {
    QString caption;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            caption = box->windowTitle();
            box->accept();
        }
    });
    poll.start(10);
    QTimer::singleShot(5000, [] { // bound, should not be needed
        if (QWidget* box = QApplication::activeModalWidget())
            box->close();
    });
    open();
    return caption;
}

} // namespace

TEST(Windows, PlainMessageBoxesCarryTheProgramsName) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("Orvik.INI").toStdString();
    WriteFile(path, "[Ports]\nCOM1=" + dir.filePath("absent").toStdString() + "\n");
    const QString name = "Tarnwell Orvik interface";
    // The main window's box at start: COM1 is not there.
    std::unique_ptr<TForm1> form1;
    EXPECT_EQ(CaptionOf([&] { form1 = std::make_unique<TForm1>(path); }), name);
    TForm15 form15(form1->Link(), form1->Line());
    EXPECT_EQ(CaptionOf([&] { form15.RadioGroup2Click(6); }), name); // COM7 is not there
    TSwitchArray switches;
    EXPECT_EQ(CaptionOf([&] { switches.SetSwitches({"Breaker 1,lever"}); }), name);
}

TEST(Windows, TheIconHoldsEverySizeOfABreakerModule) {
    const QIcon icon = ProgramIcon();
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QImage picture = icon.pixmap(size).toImage();
        EXPECT_EQ(picture.size(), QSize(size, size));
        EXPECT_EQ(qAlpha(picture.pixel(size / 2, size / 2)), 255) << size; // drawn, not empty
    }
    EXPECT_EQ(icon.availableSizes().size(), 7);
}
