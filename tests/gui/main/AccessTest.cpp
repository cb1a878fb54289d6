// The main window without a mouse and for a screen reader: the menu in order, the keyboard's
// way through the window, what the indicators and edits say, the fault marks, and the bus
// overview window.
#include "app/BusOverview.h"
#include "app/Shape.h"
#include "tests/gui/main/MainWindowSupport.h"
#include "widgets/Switch.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QLineEdit>
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
    }
    void Feed(const StatusRecord& r) {
        const Bytes frame = StatusFrame(r);
        form->Link().FeedBytes(frame.data(), frame.size());
    }
    template <typename T = QWidget> T* Child(const QString& name) const {
        return form->findChild<T*>(name);
    }
    QString Reading(const QString& name, QAccessible::Text t = QAccessible::Name) const {
        return QAccessible::queryAccessibleInterface(Child(name))->text(t);
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers mods = {}) {
        QTest::keyClick(QApplication::focusWidget(), key, mods);
    }
    int Selected() const { return Child<QSpinBox>("SpinEdit1")->value(); }

    MessageRecorder recorder;
    QTemporaryDir dir;
    std::string path;
    FakePort port;
    std::unique_ptr<TForm1> form;
};

// Nodes 1, 2 and 4 on the bus; node 4's breaker 5 has a fault.
StatusRecord Bus() {
    StatusRecord r;
    r.SetNodePresent(0x0B);
    r.SetBreakerOn(0, 0x07);
    r.SetCurrent(0, 2, 24);
    r.SetInputVoltage(0, 134);
    r.SetBreakerFault(3, 0x10);
    return r;
}

} // namespace

TEST_F(Access, TheMenuBarHasComPortFirstThenViewNodeAndHelp) {
    QStringList bar;
    for (QAction* a : form->menuBar()->actions())
        bar << a->text();
    EXPECT_EQ(bar, (QStringList{"&COM port", "&View", "&Node", "&Help"}));
    auto items = [&](const char* menu) {
        QStringList out;
        for (QAction* a : Child<QMenu>(menu)->actions())
            out << a->text() + " " + a->shortcut().toString() + (a->isEnabled() ? "" : " off");
        return out;
    };
    EXPECT_EQ(items("ViewMenu"),
              (QStringList{"Bus &monitor Ctrl+M", "&History Ctrl+H off", "Bus &overview Ctrl+B"}));
    EXPECT_EQ(items("NodeMenu"),
              (QStringList{"Save node settings... Ctrl+S", "Apply node settings... "}));
    EXPECT_EQ(items("HelpMenu"), (QStringList{"Manual F1", "About "}));
    EXPECT_EQ(form->findChild<QAction*>("HistoryMenu")->text(), "&History");
}

TEST_F(Access, KeysAloneSelectANodeAndSwitchABreaker) {
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get(), 5000));
    ASSERT_EQ(QApplication::focusWidget(), Child("SpinEdit1")); // as it always opened
    Key(Qt::Key_Tab, Qt::ShiftModifier);
    ASSERT_EQ(QApplication::focusWidget(), Child("Shape1")); // the node strip: one stop
    Key(Qt::Key_Left);
    Key(Qt::Key_Right);
    ASSERT_EQ(QApplication::focusWidget(), Child("Shape2"));
    Key(Qt::Key_Space);
    EXPECT_EQ(Selected(), 2);
    EXPECT_TRUE(port.written.empty()); // selecting sends nothing
    Key(Qt::Key_Tab);
    Key(Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), Child("SwitchArray1"));
    Key(Qt::Key_Right);
    Key(Qt::Key_Right);
    Key(Qt::Key_Space);
    ASSERT_EQ(port.written.size(), 1u);
    EXPECT_EQ(port.written[0], Frame(CMD_SWITCH_BREAKER, {1, 2, 1})); // node 2, breaker 3 on
    // Back again, Shift+Tab meets the selected node's indicator.
    Key(Qt::Key_Tab, Qt::ShiftModifier);
    Key(Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), Child("Shape2"));
    // The buttons follow in the order of their rows; the last one is Close.
    Child("Edit16")->setFocus(Qt::TabFocusReason);
    Key(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), Child("Button7"));
    Key(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), Child("Button9"));
}

TEST_F(Access, IndicatorsAndEditsSayWhatTheyShowAndAFaultIsMarked) {
    EXPECT_EQ(Reading("Shape5"), "Orvik node 5: no data");
    EXPECT_EQ(Reading("Shape13"), "Breaker 5: no data");
    Feed(Bus());
    EXPECT_EQ(Reading("Shape1"), "Orvik node 1: on the bus");
    EXPECT_EQ(Reading("Shape3"), "Orvik node 3: not on the bus");
    EXPECT_EQ(Reading("Shape9"), "Breaker 1: no fault");
    EXPECT_EQ(Reading("Edit3"), "Current, breaker 3");
    EXPECT_EQ(Reading("Edit3", QAccessible::Value), "2.4");
    EXPECT_EQ(Reading("Edit9"), "Input voltage");
    EXPECT_EQ(Reading("Edit9", QAccessible::Value), "13.4");
    EXPECT_EQ(Reading("SpinEdit1"), "Showing Orvik: ");
    // Node 4's fault: a red mark beside its circle, which stays green.
    EXPECT_TRUE(Child("FaultMark4")->isVisibleTo(form.get()));
    EXPECT_FALSE(Child("FaultMark1")->isVisibleTo(form.get()));
    EXPECT_EQ(Child<Shape>("Shape4")->BrushColor(), QColor(0, 255, 0));
    EXPECT_EQ(Reading("Shape4", QAccessible::Description), "fault on breaker 5");
    // Node 4 shown: its fault indicator reads so.
    QAccessible::queryAccessibleInterface(Child("Shape4"))
        ->actionInterface()
        ->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(Selected(), 4);
    Feed(Bus());
    EXPECT_EQ(Reading("Shape13"), "Breaker 5 fault");
    for (int tick = 0; tick < 10; ++tick)
        form->Timer1Timer();
    EXPECT_EQ(Reading("Shape4"), "Orvik node 4: no data");
    EXPECT_FALSE(Child("FaultMark4")->isVisibleTo(form.get()));
    EXPECT_TRUE(port.written.empty());
}

TEST_F(Access, TheBusOverviewShowsEveryNodeAFaultInRedAndSelectsANode) {
    form->show();
    form->findChild<QAction*>("BusOverviewMenu")->trigger();
    BusOverview* overview = form->Overview();
    ASSERT_TRUE(overview && overview->isVisible());
    QTableWidget* table = overview->Table();
    EXPECT_EQ(table->item(0, 0)->text(), "Orvik node 1\nno data");
    Feed(Bus());
    const QColor red(255, 0, 0);
    EXPECT_EQ(table->item(0, 0)->text(), "Orvik node 1\non the bus");
    EXPECT_EQ(table->item(0, 0)->font().bold(), true); // the node shown in the main window
    EXPECT_EQ(table->item(0, 3)->text(), "on\n2.4 A");
    EXPECT_EQ(table->item(0, BusOverview::COL_VOLTAGE)->text(), "13.4 V");
    EXPECT_EQ(table->item(2, 0)->text(), "Orvik node 3\nnot on the bus");
    EXPECT_EQ(table->item(3, 0)->text(), "Orvik node 4\nfault on breaker 5");
    EXPECT_EQ(table->item(3, 0)->data(Qt::AccessibleTextRole), "Orvik node 4, fault on breaker 5");
    EXPECT_EQ(table->item(3, 0)->background().color(), red);
    EXPECT_EQ(table->item(3, 5)->background().color(), red);
    EXPECT_EQ(table->item(3, 5)->text(), "fault, off\n0.0 A");
    EXPECT_NE(table->item(3, 4)->background().color(), red);
    EXPECT_NE(table->item(0, 0)->background().color(), red);

    QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                      table->visualItemRect(table->item(3, 2)).center());
    EXPECT_EQ(Selected(), 4);
    EXPECT_TRUE(table->item(3, 0)->font().bold());
    EXPECT_FALSE(table->item(0, 0)->font().bold());
    table->setFocus();
    table->setCurrentCell(1, 4);
    QTest::keyClick(table, Qt::Key_Return);
    EXPECT_EQ(Selected(), 2);
    EXPECT_TRUE(port.written.empty()); // it sends nothing
    for (int tick = 0; tick < 10; ++tick)
        form->Timer1Timer();
    EXPECT_EQ(table->item(3, 0)->text(), "Orvik node 4\nno data");
    EXPECT_NE(table->item(3, 5)->background().color(), red);
}
