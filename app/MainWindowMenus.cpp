// The main window's menus: "&COM port", View with the windows it opens, Node with the node
// settings files, and Help.
#include "app/Unit1.h"

#include "app/FileChooser.h"
#include "app/HelpMenu.h"
#include "app/NodeSettingsDialog.h"

#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

using namespace orvik;

// "&COM port" first, then the menus of the windows, the node settings and help.
void TForm1::CreateMenus() {
    Setup1 = menuBar()->addAction("&COM port");
    Setup1->setObjectName("Setup1");
    connect(Setup1, &QAction::triggered, this, [this] { Setup1Click(); });

    QMenu* view = menuBar()->addMenu("&View");
    view->setObjectName("ViewMenu");
    auto* monitor = view->addAction("Bus &monitor");
    monitor->setObjectName("BusMonitorMenu");
    monitor->setShortcut(QKeySequence("Ctrl+M"));
    connect(monitor, &QAction::triggered, this, [this] { BusMonitorClick(); });
    auto* history = view->addAction("&History");
    history->setObjectName("HistoryMenu");
    history->setShortcut(QKeySequence("Ctrl+H"));
    connect(history, &QAction::triggered, this, [this] { HistoryClick(); });
    auto* overview = view->addAction("Bus &overview");
    overview->setObjectName("BusOverviewMenu");
    overview->setShortcut(QKeySequence("Ctrl+B"));
    connect(overview, &QAction::triggered, this, [this] { BusOverviewClick(); });
    view->addSeparator();
    RecordAction = view->addAction("&Record");
    RecordAction->setObjectName("RecordMenu");
    RecordAction->setShortcut(QKeySequence("Ctrl+R"));
    RecordAction->setCheckable(true);
    connect(RecordAction, &QAction::triggered, this, [this](bool on) { Record(on); });

    QMenu* node = menuBar()->addMenu("&Node");
    node->setObjectName("NodeMenu");
    CreateNodeSettingsMenu(node);
    AddHelpMenu(this, {QString::fromStdString(settingsPath_), [this] {
                           return QString::fromStdString(line_->ComName()) +
                                  (line_->DeviceName().empty()
                                       ? QString()
                                       : " - " + QString::fromStdString(line_->DeviceName()));
                       }});
}

void TForm1::CreateNodeSettingsMenu(QMenu* menu) {
    nodeSettings_ = new NodeSettingsDialog(link_, this);
    auto* save = menu->addAction("&Save node settings...");
    save->setObjectName("SaveNodeSettings");
    save->setShortcut(QKeySequence("Ctrl+S"));
    connect(save, &QAction::triggered, this, [this] { SaveNodeSettingsClick(); });
    auto* apply = menu->addAction("&Apply node settings...");
    apply->setObjectName("ApplyNodeSettings");
    connect(apply, &QAction::triggered, this, [this] { ApplyNodeSettingsClick(); });
    ChooseNodeSettingsFile = [this](bool saving) {
        const QString filter = "Node settings (*.ini);;All files (*)";
        return saving ? ChooseFileToSave(this, "Save node settings", {}, filter)
                      : ChooseFileToOpen(this, "Apply node settings", filter);
    };
}
