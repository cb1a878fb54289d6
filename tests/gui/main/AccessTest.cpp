// The main window for a screen reader and at a glance: the menu in order, what the indicators
// and edits say, the fault marks, and the bus overview window. (Keys alone, and the reading
// through AT-SPI, are tested end to end.)
#include "app/BusOverview.h"
#include "app/Shape.h"
#include "tests/gui/main/MainWindowSupport.h"

#include <QAccessible>
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

using namespace orvik;
using namespace orvik::test;

namespace {

class Access : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.filePath("Orvik.INI").toStdString();
        WriteFile(path, "[Ports]\nCOM1=" + dir.filePath("none").toStdString() + "\n");
        form = std::make_unique<TForm1>(path);
        form->Link().SetPort(&port);
        // Nodes 1, 2 and 4 on the bus; node 4's breaker 5 has a fault.
        bus.SetNodePresent(0x0B);
        bus.SetInputVoltage(0, 134);
        bus.SetBreakerFault(3, 0x10);
    }
    void Feed() {
        const Bytes frame = StatusFrame(bus);
        form->Link().FeedBytes(frame.data(), frame.size());
    }
    void Silence() {
        for (int tick = 0; tick < 10; ++tick)
            form->Timer1Timer();
    }
    QWidget* Child(const char* name) const { return form->findChild<QWidget*>(name); }
    QString Reading(const char* name, QAccessible::Text t = QAccessible::Name) const {
        return QAccessible::queryAccessibleInterface(Child(name))->text(t);
    }
    int Selected() const { return form->findChild<QSpinBox*>("SpinEdit1")->value(); }

    MessageRecorder recorder;
    QTemporaryDir dir;
    std::string path;
    FakePort port;
    StatusRecord bus;
    std::unique_ptr<TForm1> form;
};

} // namespace

TEST_F(Access, TheMenuBarHasComPortFirstThenViewNodeAndHelp) {
    QStringList bar;
    for (QAction* a : form->menuBar()->actions())
        bar << a->text();
    EXPECT_EQ(bar, (QStringList{"&COM port", "&View", "&Node", "&Help"}));
    auto items = [&](const char* menu) {
        QStringList out;
        for (QAction* a : form->findChild<QMenu*>(menu)->actions())
            out << a->objectName() + " " + a->shortcut().toString() +
                       (a->isEnabled() ? "" : " off");
        return out;
    };
    EXPECT_EQ(items("ViewMenu"), (QStringList{"BusMonitorMenu Ctrl+M", "HistoryMenu Ctrl+H",
                                              "BusOverviewMenu Ctrl+B"}));
    EXPECT_EQ(items("NodeMenu"), (QStringList{"SaveNodeSettings Ctrl+S", "ApplyNodeSettings "}));
    EXPECT_EQ(items("HelpMenu"), (QStringList{"Manual1 F1", "About1 "}));
}

TEST_F(Access, IndicatorsAndEditsSayWhatTheyShowAndAFaultIsMarked) {
    EXPECT_EQ(Reading("Shape5"), "Orvik node 5: no data");
    EXPECT_EQ(Reading("Shape13"), "Breaker 5: no data");
    Feed();
    EXPECT_EQ(Reading("Shape3"), "Orvik node 3: not on the bus");
    EXPECT_EQ(Reading("Edit9"), "Input voltage"); // by its label
    EXPECT_EQ(Reading("Edit9", QAccessible::Value), "13.4");
    // Node 4's fault: a red mark beside its circle, which stays green.
    EXPECT_TRUE(Child("FaultMark4")->isVisibleTo(form.get()));
    EXPECT_FALSE(Child("FaultMark1")->isVisibleTo(form.get()));
    EXPECT_EQ(form->findChild<Shape*>("Shape4")->BrushColor(), QColor(0, 255, 0));
    EXPECT_EQ(Reading("Shape4", QAccessible::Description), "fault on breaker 5");
    Silence();
    EXPECT_EQ(Reading("Shape4"), "Orvik node 4: no data");
    EXPECT_FALSE(Child("FaultMark4")->isVisibleTo(form.get()));
}

TEST_F(Access, TheBusOverviewShowsEveryNodeAFaultInRedAndEnterSelectsANode) {
    form->show();
    form->findChild<QAction*>("BusOverviewMenu")->trigger();
    ASSERT_TRUE(form->Overview() && form->Overview()->isVisible());
    QTableWidget* table = form->Overview()->Table();
    Feed();
    const QColor red(255, 0, 0);
    auto cell = [&](int row, int column) { return table->item(row, column); };
    EXPECT_EQ(cell(0, 0)->text(), "Orvik node 1\non the bus");
    EXPECT_EQ(cell(0, BusOverview::COL_VOLTAGE)->text(), "13.4 V");
    EXPECT_EQ(cell(2, 0)->text(), "Orvik node 3\nnot on the bus");
    EXPECT_EQ(cell(3, 0)->data(Qt::AccessibleTextRole), "Orvik node 4, fault on breaker 5");
    EXPECT_EQ(cell(3, 5)->text(), "fault, off\n0.0 A");
    EXPECT_EQ(cell(3, 0)->background().color(), red);
    EXPECT_EQ(cell(3, 5)->background().color(), red);
    EXPECT_NE(cell(3, 4)->background().color(), red);
    EXPECT_NE(cell(0, 0)->background().color(), red);

    table->setFocus();
    table->setCurrentCell(1, 4);
    QTest::keyClick(table, Qt::Key_Return);
    EXPECT_EQ(Selected(), 2);
    EXPECT_TRUE(cell(1, 0)->font().bold()); // the node the main window shows
    EXPECT_TRUE(port.written.empty());      // it sends nothing
    Silence();
    EXPECT_EQ(cell(3, 0)->text(), "Orvik node 4\nno data");
    EXPECT_NE(cell(3, 5)->background().color(), red);
}
