// The serial port setup dialog over real pseudo-terminals named through the [Ports] map.
#include "dialogs/Unit15.h"
#include "link/line/LineConnection.h"
#include "link/protocol/StatusTexts.h"
#include "serial/CommPort.h"
#include "tests/gui/dialogs/DialogTestSupport.h"
#include "widgets/FindComponent.h"

#include <QGroupBox>
#include <QRadioButton>

#include "tests/support/Pty.h"

#include <memory>
#include <stdexcept>
#include <string>

using namespace orvik;
using namespace orvik::test;

namespace {

class PortDialog : public ::testing::Test {
protected:
    PseudoTerminal com3, com5;
    PortMap ports{{"COM3", com3.name}, {"COM5", com5.name}, {"COM7", "/nonexistent/ttyOrvik7"}};
    std::shared_ptr<TPumpedInvoker> invoker = std::make_shared<TPumpedInvoker>();
    Bench bench;
    QStringList messages;
    QStringList reasons;
    TComm comm{invoker};
    LineConnection line{comm, bench.link, ""};
    std::unique_ptr<TForm15> form = std::make_unique<TForm15>(bench.link, line);

    void SetUp() override {
        line.SetPorts(ports);
        comm.SetPortMap(ports);
        comm.SetBaudRate(cbr57600);
        form->ShowMessage = [this](const QString& text, const QString& reason) {
            messages << text;
            reasons << reason;
        };
    }
    void TearDown() override {
        form->hide();
        comm.Close();
    }
    QRadioButton* Item(int index) {
        return FindComponent<QGroupBox>(form.get(), QStringLiteral("RadioGroup2"))
            ->findChildren<QRadioButton*>()
            .at(index);
    }
    void Click(int index) {
        QRadioButton* b = Item(index);
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
    }
    // Whether another component can take the device now, that is whether `comm` let it go.
    static bool Free(const std::string& device) {
        TComm probe{std::make_shared<TPumpedInvoker>()};
        probe.SetDeviceName(device);
        try {
            probe.Open();
        } catch (const ECommError&) {
            return false;
        }
        probe.Close();
        return true;
    }
};

TEST_F(PortDialog, ShowingSelectsThePortWithoutReopeningIt) {
    comm.SetDeviceName("COM3");
    comm.Open();
    ASSERT_TRUE(comm.IsOpen());
    // Were the dialog to reopen COM3 now, it would fail and say so.
    line.SetPorts({{"COM3", "/nonexistent/ttyOrvik3"}});
    bench.link.ComPortIndex = 2;
    ASSERT_TRUE(ShowActive(form.get()));
    SavePicture(form.get(), "Form15");
    EXPECT_TRUE(Item(2)->isChecked());
    EXPECT_EQ(Item(2)->text(), "COM3");
    EXPECT_EQ(Item(15)->text(), "COM16");
    EXPECT_TRUE(comm.IsOpen());
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_FALSE(Free(com3.name));

    // Choosing the selected item again does nothing either.
    Click(2);
    EXPECT_TRUE(comm.IsOpen());
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(PortDialog, EachItemNamesTheDeviceItOpens) {
    ASSERT_TRUE(ShowActive(form.get()));
    EXPECT_EQ(Item(2)->toolTip().toStdString(), com3.name);
    EXPECT_EQ(Item(4)->toolTip().toStdString(), com5.name);
    EXPECT_EQ(Item(6)->toolTip(), "/nonexistent/ttyOrvik7, not connected");
    EXPECT_FALSE(Item(0)->toolTip().isEmpty());
}

TEST_F(PortDialog, ChoosingAnotherPortMovesTheOpenPortThere) {
    comm.SetDeviceName("COM3");
    comm.Open();
    bench.link.ComPortIndex = 2;
    ASSERT_TRUE(ShowActive(form.get()));
    Click(4);
    EXPECT_EQ(comm.DeviceName(), "COM5");
    EXPECT_TRUE(comm.IsOpen());
    EXPECT_EQ(bench.link.ComPortIndex, 4);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_TRUE(Free(com3.name));
    EXPECT_FALSE(Free(com5.name));
    EXPECT_EQ(comm.BaudRate(), cbr57600);
}

TEST_F(PortDialog, APortThatDoesNotOpenIsReportedAndStillChosen) {
    comm.SetDeviceName("COM3");
    comm.Open();
    bench.link.ComPortIndex = 2;
    ASSERT_TRUE(ShowActive(form.get()));
    Click(6);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0], "The selected port COM7 is not available, please choose another if "
                           "possible or free this port if it is in use by another application.");
    EXPECT_EQ(reasons[0], "/nonexistent/ttyOrvik7 is not connected.");
    EXPECT_FALSE(comm.IsOpen());
    EXPECT_TRUE(Free(com3.name));
    EXPECT_EQ(bench.link.ComPortIndex, 6);
    EXPECT_TRUE(Item(6)->isChecked());

    // Shown again, the failed port stays selected and is not retried.
    form->hide();
    ASSERT_TRUE(ShowActive(form.get()));
    EXPECT_TRUE(Item(6)->isChecked());
    EXPECT_EQ(messages.size(), 1);
}

TEST_F(PortDialog, AnIndexBeyondTheListShowsCom16AndKeepsItsValue) {
    bench.link.ComPortIndex = 20;
    ASSERT_TRUE(ShowActive(form.get()));
    EXPECT_TRUE(Item(15)->isChecked());
    EXPECT_EQ(bench.link.ComPortIndex, 20);
    EXPECT_FALSE(comm.IsOpen());
    EXPECT_TRUE(messages.isEmpty());
}

} // namespace
