// The main window for a screen reader and at a glance: the menu in order, what the indicators
// and edits say, the fault marks, and the bus overview window. (Keys alone, and the reading
// through AT-SPI, are tested end to end.)
#include "app/BusOverview.h"
#include "app/HistoryWindow.h"
#include "app/Shape.h"
#include "tests/gui/main/MainWindowSupport.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QMap>
#include <QMenu>
#include <QMenuBar>
#include <QSet>
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
                                              "BusOverviewMenu Ctrl+B", " ", "RecordMenu Ctrl+R"}));
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

// Alt and a letter reaches one thing only: the menu bar, the buttons and the labelled fields of
// a window share the letters; each menu's items have letters of their own.
TEST_F(Access, EveryMnemonicIsUniqueWithinItsWindowAndEveryMenuItemHasOne) {
    form->HistoryClick();
    for (QWidget* window :
         {static_cast<QWidget*>(form.get()), static_cast<QWidget*>(form->History())}) {
        QMap<QChar, QStringList> letters;
        auto note = [&](const QString& text) {
            const QKeySequence key = QKeySequence::mnemonic(text);
            if (!key.isEmpty())
                letters[QChar(key[0].key())] << text;
        };
        if (auto* main = qobject_cast<QMainWindow*>(window))
            for (QAction* a : main->menuBar()->actions())
                note(a->text());
        for (QAbstractButton* b : window->findChildren<QAbstractButton*>())
            if (b->window() == window)
                note(b->text());
        for (QLabel* l : window->findChildren<QLabel*>())
            if (l->buddy() && l->window() == window)
                note(l->text());
        for (auto it = letters.begin(); it != letters.end(); ++it)
            EXPECT_EQ(it.value().size(), 1) << window->windowTitle().toStdString() << ": "
                                            << it.value().join(", ").toStdString();
        for (QMenu* menu : window->findChildren<QMenu*>()) {
            if (menu->parentWidget() && menu->parentWidget()->window() != window)
                continue;
            QSet<QChar> inMenu;
            for (QAction* a : menu->actions()) {
                if (a->isSeparator() || a->menu())
                    continue;
                const QKeySequence key = QKeySequence::mnemonic(a->text());
                EXPECT_FALSE(key.isEmpty()) << a->text().toStdString();
                if (key.isEmpty())
                    continue;
                EXPECT_FALSE(inMenu.contains(QChar(key[0].key())))
                    << menu->title().toStdString() << ": " << a->text().toStdString();
                inMenu << QChar(key[0].key());
            }
        }
    }
}

// Buttons named by what they set, the "* 2" by its meaning, switches that show no data not
// read as off, and the History window as a window with named boxes and a plot in words.
TEST_F(Access, AScreenReaderHearsWhatEachControlIsAndWhatThePlotShows) {
    const std::pair<const char*, const char*> buttons[] = {
        {"Button1", "Doubling/tripling settings"},
        {"Button2", "Power on defaults settings"},
        {"Button6", "Wigwag settings"},
        {"Button4", "Wigwag interval settings"},
        {"Button5", "Flasher settings"},
        {"Button7", "Dual LED settings"}};
    for (const auto& [button, name] : buttons)
        EXPECT_EQ(Reading(button), name);
    for (QLabel* l : form->findChildren<QLabel*>()) {
        if (l->text() == "* 2") {
            EXPECT_EQ(QAccessible::queryAccessibleInterface(l)->text(QAccessible::Name),
                      "A wigwag cycle takes twice the interval");
        }
    }

    QAccessibleInterface* switches = QAccessible::queryAccessibleInterface(Child("SwitchArray1"));
    ASSERT_GT(switches->childCount(), 4);
    QAccessibleInterface* fifth = switches->child(4);
    EXPECT_TRUE(fifth->state().checkStateMixed);
    EXPECT_EQ(fifth->text(QAccessible::Description), "no data");
    bus.SetBreakerOn(0, 0x10);
    Feed();
    fifth = switches->child(4);
    EXPECT_TRUE(fifth->state().checked);
    EXPECT_FALSE(fifth->state().checkStateMixed);
    EXPECT_EQ(fifth->text(QAccessible::Description), "");
    Silence();
    EXPECT_TRUE(switches->child(4)->state().checkStateMixed);

    Feed();
    form->HistoryClick();
    QWidget* history = form->History();
    EXPECT_EQ(QAccessible::queryAccessibleInterface(history)->role(), QAccessible::Window);
    // The span box is labelled by "Span:" (a relation, as Linux screen readers read it).
    const auto labels =
        QAccessible::queryAccessibleInterface(history->findChild<QWidget*>("HistorySpan"))
            ->relations(QAccessible::Label);
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels[0].first->text(QAccessible::Name), "Span:");
    const QString plot =
        QAccessible::queryAccessibleInterface(history->findChild<QWidget*>("HistoryPlot"))
            ->text(QAccessible::Description);
    EXPECT_TRUE(plot.startsWith("Orvik node 1, the last 10 minutes, last reported at "))
        << plot.toStdString();
    EXPECT_TRUE(plot.contains("breaker 5 0.0 A on;")) << plot.toStdString();
    EXPECT_TRUE(plot.endsWith("input voltage 13.4 V")) << plot.toStdString();
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
