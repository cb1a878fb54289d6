#include "app/Unit1.h"

#include "app/BusMonitor.h"
#include "app/BusOverview.h"
#include "app/FileChooser.h"
#include "app/HelpMenu.h"
#include "app/HistoryWindow.h"
#include "app/Messages.h"
#include "app/NodeSettingsDialog.h"
#include "app/Shape.h"
#include "app/SteadyLabel.h"
#include "app/Unit1Layout.h"
#include "link/line/CommLinkPort.h"
#include "link/nodefiles/NodeSettingsFile.h"
#include "link/protocol/StatusTexts.h"
#include "link/settings/Settings.h"
#include "link/state/BusGlance.h"
#include "widgets/FindComponent.h"
#include "widgets/FormFont.h"
#include "widgets/Switch.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QEventLoop>
#include <QFrame>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>

#include "serial/qt/QtMainThreadInvoker.h"

#include <algorithm>

using namespace orvik;
namespace L = unit1_layout;

namespace {

// Repaints an edit only when its text changes: most of a frame's texts stay as they were. The
// comparison makes no string of its own.
void ShowText(QLineEdit* edit, const ShortText& t) {
    const QLatin1String text(t.View().data(), static_cast<qsizetype>(t.Size()));
    if (edit->text() != text)
        edit->setText(text);
}

QColor ToColor(const Rgb& c) {
    return QColor(c.r, c.g, c.b);
}

QLabel* Label(QWidget* parent, const QString& text, QPoint at) {
    auto* label = new QLabel(text, parent);
    label->move(at);
    label->adjustSize();
    return label;
}

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

QLineEdit* ReadOnlyEdit(QWidget* parent, const QString& name, const QRect& at) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setReadOnly(true);
    edit->setGeometry(at);
    return edit;
}

} // namespace

TForm1::TForm1(const std::string& settingsPath)
    : settingsPath_(settingsPath),
      comm1_(std::make_unique<TComm>(std::make_shared<TQtMainThreadInvoker>())),
      frameLog_(std::make_unique<orvik::FrameLog>()),
      busHistory_(std::make_unique<orvik::BusHistory>()),
      historyRecorder_(std::make_unique<HistoryRecorder>(*busHistory_)) {
    setObjectName("Form1");
    setWindowTitle("Tarnwell Orvik interface version 1.1");
    UseFormFont(this);
    CreateControls();

    linkPort_ = std::make_unique<CommLinkPort>(*comm1_);
    line_ = std::make_unique<LineConnection>(*comm1_, link_, settingsPath_);
    link_.SetPort(linkPort_.get());
    link_.SetNodeSelector([this] { return SpinEdit1->value(); });
    link_.SetDisplaySink([this](const DisplayUpdate& u) {
        UpdateDisplay(u);
        nodeSettings_->OnStatus();
        if (overview_ && overview_->isVisible())
            overview_->Refresh();
    });
    link_.SetSetupSink([this] { nodeSettings_->OnSetupStored(); });
    link_.SetSendObserver([this](std::uint8_t node, std::uint8_t) { NoteCommand(node); });
    link_.SetFrameLog(frameLog_.get());
    link_.SetWatcher(historyRecorder_.get());
    comm1_->OnRxChar = [this](TCustomComm*, std::int32_t count) { Comm1RxChar(count); };
    // Inside a delivery: note the loss, and act on it once the delivery is over.
    comm1_->OnLineLost = [this](TCustomComm*, std::int32_t error) {
        line_->LineLost(error);
        QTimer::singleShot(0, this, [this] { ServiceLine(); });
    };
    CreateStatusLine();
    SetTabOrder();

    FormCreate();
}

TForm1::~TForm1() {
    // Stop the monitor thread before the handlers' targets go.
    comm1_->Close();
    link_.SetWatcher(nullptr);
    recording_.Stop();
    link_.SetDisplaySink({});
    link_.SetSetupSink({});
}

void TForm1::CreateControls() {
    setFixedSize(L::FormWidth, L::FormHeight);

    CreateMenus();

    auto* client = new QWidget(this);
    client->setObjectName("ClientArea");
    setCentralWidget(client);

    auto* bevel = new QFrame(client);
    bevel->setObjectName("Bevel1");
    bevel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    bevel->setGeometry(L::Bevel);
    Label(client, "Orvik module detect by node address", L::NodeStripCaption);
    for (int n = 1; n <= 8; ++n) {
        Label(client, QString::number(n), L::NodeNumberLabel(n));
        auto* shape = new Shape(Shape::Kind::Circle, client);
        shape->setObjectName(QString("Shape%1").arg(n));
        shape->Tag = n - 1;
        shape->setGeometry(L::NodeShape(n));
        shape->SetPressable(true);
        connect(shape, &Shape::MouseDown, this, [this](Shape* s) { Shape1MouseDown(s); });
        connect(shape, &Shape::Pressed, this, [this](Shape* s) { Shape1MouseDown(s); });
        connect(shape, &Shape::Step, this,
                [this](Shape* s, int by) { MoveNodeFocus(s->Tag + 1 + by); });
        // A red mark beside the circle while the node reports a fault; the fill stays.
        auto* mark = new Shape(Shape::Kind::Circle, client);
        mark->setObjectName(QString("FaultMark%1").arg(n));
        mark->setGeometry(L::FaultMark(n));
        mark->SetBrushColor(ToColor(COLOUR_RED));
        mark->hide();
        faultMarks_[static_cast<std::size_t>(n - 1)] = mark;
    }
    Label(client, "Click on indicator to select Orvik node", L::NodeStripHint);

    auto* showing = Label(client, "Showing Orvik: ", L::ShowingLabel);
    SpinEdit1 = new QSpinBox(client);
    SpinEdit1->setObjectName("SpinEdit1");
    SpinEdit1->setRange(1, 8);
    SpinEdit1->setValue(1);
    SpinEdit1->setGeometry(L::SpinEdit);
    showing->setBuddy(SpinEdit1);
    connect(SpinEdit1, &QSpinBox::valueChanged, this, [this](int node) {
        NodeTabStop(node);
        if (overview_)
            overview_->ShowSelected(node);
    });

    SwitchArray1 = new TSwitchArray(client);
    SwitchArray1->setObjectName("SwitchArray1");
    SwitchArray1->setGeometry(L::SwitchArray);
    SwitchArray1->SetSwitchesPerLine(8);
    SwitchArray1->SetRowFirst(true);
    SwitchArray1->SetDesignationOrientation(TSwitchArray::StVertical);
    SwitchArray1->SetHGap(24);
    SwitchArray1->SetVGap(20);
    SwitchArray1->SetIDSize(20);
    SwitchArray1->SetIDMove(0);
    SwitchArray1->SetCtrlClick(false);
    SwitchArray1->SetSmallSwitches(false);
    QStringList breakers;
    for (int n = 1; n <= 8; ++n)
        breakers << QString("Breaker %1,toggle,%1").arg(n);
    SwitchArray1->SetSwitches(breakers);
    connect(SwitchArray1, &TSwitchArray::OnSwitch, this,
            [this](quint16 position) { SwitchArray1Switch(position); });

    Label(client, "Current", L::CurrentLabel);
    for (int n = 1; n <= 8; ++n)
        ReadOnlyEdit(client, QString("Edit%1").arg(n), L::CurrentEdit(n))
            ->setAccessibleName(Q(CurrentEditName(n)));
    Label(client, "Fault", L::FaultLabel);
    for (int n = 1; n <= 8; ++n) {
        auto* shape = new Shape(Shape::Kind::Rectangle, client);
        shape->setObjectName(QString("Shape%1").arg(8 + n));
        shape->Tag = n - 1;
        shape->setGeometry(L::FaultShape(n));
    }

    for (const auto& row : L::SettingsRows)
        Label(client, row.label, row.labelAt)
            ->setBuddy(ReadOnlyEdit(client, QString("Edit%1").arg(row.edit), row.editAt));
    Label(client, "* 2", L::TimesTwoLabel);

    for (const auto& place : L::Buttons) {
        auto* button = new QPushButton(place.caption, client);
        button->setObjectName(QString("Button%1").arg(place.button));
        button->setGeometry(place.at);
        button->setAutoDefault(false);
    }
    const std::pair<int, void (TForm1::*)()> handlers[] = {
        {1, &TForm1::Button1Click}, {2, &TForm1::Button2Click}, {3, &TForm1::Button3Click},
        {4, &TForm1::Button4Click}, {5, &TForm1::Button5Click}, {6, &TForm1::Button6Click},
        {7, &TForm1::Button7Click}, {8, &TForm1::Button8Click}, {9, &TForm1::Button9Click},
    };
    for (const auto& [n, handler] : handlers) {
        auto* button = FindComponent<QPushButton>(this, QString("Button%1").arg(n));
        connect(button, &QPushButton::clicked, this, [this, h = handler] { (this->*h)(); });
    }

    auto* close =
        new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton), "&Close", client);
    close->setObjectName("BitBtn1");
    close->setGeometry(L::CloseButton);
    connect(close, &QPushButton::clicked, this, &QWidget::close);

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    Timer1->start();

    for (int n = 1; n <= 16; ++n)
        PaintIndicator(n, COLOUR_WHITE);
    NodeTabStop(1);
    // The window opens with the node selector, as it always did: no mark shows until the
    // keyboard moves.
    SpinEdit1->setFocus();
}

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

// Layout order: the node strip, the selector, the switches and their currents, then each
// settings row with its buttons, the action buttons, Close and the status line's Reconnect.
void TForm1::SetTabOrder() {
    QList<QWidget*> chain;
    for (int n = 1; n <= 8; ++n)
        chain << ShapeN(n);
    chain << SpinEdit1 << SwitchArray1;
    for (int n = 1; n <= 8; ++n)
        chain << EditN(n);
    auto button = [this](int n) {
        return FindComponent<QPushButton>(centralWidget(), QString("Button%1").arg(n));
    };
    struct Row {
        int edit;
        int buttons[2]; // 0: none
    };
    const Row rows[] = {{9, {}},      {10, {1}}, {11, {2}}, {12, {}},
                        {13, {6, 3}}, {15, {4}}, {14, {5}}, {16, {7}}};
    for (const Row& row : rows) {
        chain << EditN(row.edit);
        for (int b : row.buttons)
            if (b != 0)
                chain << button(b);
    }
    chain << button(9) << button(8) << FindComponent<QPushButton>(centralWidget(), "BitBtn1")
          << reconnect_;
    for (int i = 1; i < chain.size(); ++i)
        setTabOrder(chain[i - 1], chain[i]);
}

void TForm1::NodeTabStop(int node) {
    for (int n = 1; n <= 8; ++n)
        if (n != node)
            ShapeN(n)->setFocusPolicy(Qt::NoFocus);
    ShapeN(node)->setFocusPolicy(Qt::TabFocus);
}

void TForm1::MoveNodeFocus(int node) {
    node = std::clamp(node, 1, 8);
    Shape* to = ShapeN(node);
    to->setFocusPolicy(Qt::TabFocus);
    to->setFocus(Qt::TabFocusReason);
    NodeTabStop(node);
}

void TForm1::PaintIndicator(int n, const Rgb& colour) {
    Shape* shape = ShapeN(n);
    const QColor c = ToColor(colour);
    if (shape->BrushColor() == c && !shape->accessibleName().isEmpty())
        return;
    shape->SetBrushColor(c);
    shape->setAccessibleName(
        Q(n <= 8 ? NodeIndicatorReading(n, colour) : FaultIndicatorReading(n - 8, colour)));
}

void TForm1::ShowFaultMarks(bool blank) {
    for (std::size_t n = 0; n < NODE_COUNT; ++n) {
        const std::uint8_t faults = blank ? 0 : NodeFaults(link_.StatusRecord, n);
        if (faults == markedFaults_[n])
            continue;
        markedFaults_[n] = faults;
        const QString text = Q(FaultsText(faults));
        Shape* mark = faultMarks_[n];
        mark->setVisible(faults != 0);
        mark->setAccessibleName(faults ? QString("Orvik node %1: %2").arg(n + 1).arg(text) : "");
        ShapeN(static_cast<int>(n) + 1)->setAccessibleDescription(text);
    }
}

void TForm1::CreateNodeSettingsMenu(QMenu* menu) {
    nodeSettings_ = new NodeSettingsDialog(link_, this);
    auto* save = menu->addAction("Save node settings...");
    save->setObjectName("SaveNodeSettings");
    save->setShortcut(QKeySequence("Ctrl+S"));
    connect(save, &QAction::triggered, this, [this] { SaveNodeSettingsClick(); });
    auto* apply = menu->addAction("Apply node settings...");
    apply->setObjectName("ApplyNodeSettings");
    connect(apply, &QAction::triggered, this, [this] { ApplyNodeSettingsClick(); });
    ChooseNodeSettingsFile = [this](bool saving) {
        const QString filter = "Node settings (*.ini);;All files (*)";
        return saving ? ChooseFileToSave(this, "Save node settings", {}, filter)
                      : ChooseFileToOpen(this, "Apply node settings", filter);
    };
}

void TForm1::SetDialogs(const Dialogs& dialogs) {
    dialogs_ = dialogs;
}

// Found by their composed names once; the display then reaches them at every frame.
QLineEdit* TForm1::EditN(int n) const {
    QLineEdit*& edit = edits_[static_cast<std::size_t>(n)];
    if (!edit)
        edit = FindComponent<QLineEdit>(centralWidget(), QString("Edit%1").arg(n));
    return edit;
}

Shape* TForm1::ShapeN(int n) const {
    Shape*& shape = shapes_[static_cast<std::size_t>(n)];
    if (!shape)
        shape = FindComponent<Shape>(centralWidget(), QString("Shape%1").arg(n));
    return shape;
}

namespace {
constexpr int NOTICE_MS = 4000;
} // namespace

// --- start and end -------------------------------------------------------------------------

void TForm1::FormCreate() {
    if (const std::string problem = SettingsFileProblem(settingsPath_); !problem.empty()) {
        settingsUnusable_ = true;
        messages::ShowMessage(this,
                              QString::fromStdString(settingsPath_ +
                                                     " cannot be read as a settings file: it " +
                                                     problem + "."),
                              "The program uses its defaults and leaves the file as it is.");
    }
    link_.ComPortIndex = ReadCommsPort(settingsPath_);
    line_->SetPorts(ReadPortMap(settingsPath_));
    comm1_->SetDeviceName(ComDeviceName(link_.ComPortIndex));
    comm1_->SetBaudRate(cbr57600);
    const OpenOutcome opened = line_->OpenPort(link_.ComPortIndex, false);
    if (!opened.opened)
        messages::ShowMessage(this,
                              QString::fromStdString(PortUnavailableMessage(link_.ComPortIndex)),
                              QString::fromStdString(opened.reason));
    ServiceLine();
    const RecordingSettings recording = ReadRecordingSettings(settingsPath_);
    recordingLimits_ = recording.limits;
    if (recording.everyRun)
        Record(true);
}

void TForm1::FormCloseQuery() {
    if (settingsUnusable_)
        return; // said at the start
    try {
        WriteCommsPort(settingsPath_, link_.ComPortIndex);
    } catch (const SettingsWriteError& e) {
        // Say so, and close all the same: a read-only folder must not trap the user.
        messages::ShowMessage(this, QString::fromStdString(e.what()));
    }
}

void TForm1::closeEvent(QCloseEvent* event) {
    FormCloseQuery();
    closing_ = true;
    CancelWait();
    event->accept();
    // The main window's close ends the program, also from inside a wait or a dialog.
    QCoreApplication::exit(0);
}

// --- receiving and display -----------------------------------------------------------------

void TForm1::Comm1RxChar(std::int32_t count) {
    link_.Comm1RxChar(count);
    if (waitLoop_ && link_.SetupReceived)
        waitLoop_->quit();
}

void TForm1::UpdateDisplay(const DisplayUpdate& u) {
    for (int n = 1; n <= 8; ++n)
        PaintIndicator(n, u.NodeIndicator[n - 1]);
    ShowFaultMarks(false);
    if (!u.NodePresent)
        return;
    for (int b = 0; b < 8; ++b) {
        SwitchArray1->Switch(static_cast<quint16>(b), u.SwitchOn[b]);
        PaintIndicator(9 + b, u.FaultIndicator[b]);
        ShowText(EditN(b + 1), u.Current[b]);
    }
    ShowText(EditN(9), u.Edit9);
    ShowText(EditN(10), u.Edit10);
    ShowText(EditN(11), u.Edit11);
    ShowText(EditN(12), u.Edit12);
    ShowText(EditN(13), u.Edit13);
    if (u.Edit14Changed)
        ShowText(EditN(14), u.Edit14);
    ShowText(EditN(15), u.Edit15);
    ShowText(EditN(16), u.Edit16);
}

void TForm1::Timer1Timer() {
    ServiceLine();
    PollRecording();
    nodeSettings_->Tick();
    const TimerUpdate t = link_.Timer1Timer();
    if (t.EndSetupWait && waitLoop_)
        waitLoop_->quit();
    if (t.BlankNodeIndicators) {
        for (int n = 1; n <= 8; ++n)
            PaintIndicator(n, COLOUR_WHITE);
        ShowFaultMarks(true);
        if (overview_)
            overview_->Refresh();
    }
    if (t.BlankNodeDisplay) {
        for (int b = 0; b < 8; ++b) {
            PaintIndicator(9 + b, COLOUR_WHITE);
            SwitchArray1->Switch(static_cast<quint16>(b), false);
        }
        for (int n = 9; n <= 16; ++n)
            EditN(n)->clear();
    }
}

// --- commands ------------------------------------------------------------------------------

void TForm1::Shape1MouseDown(Shape* sender) {
    SpinEdit1->setValue(sender->Tag + 1);
}

void TForm1::SwitchArray1Switch(quint16 position) {
    link_.SwitchArray1Switch(position, SwitchArray1->GetSwitch(position));
}

void TForm1::Button1Click() {
    if (!link_.Button1Click())
        messages::ShowMessage(this, PROGRAMMABLE_ONLY_MESSAGE);
}

void TForm1::Button3Click() {
    link_.Button3Click();
}
void TForm1::Button5Click() {
    link_.Button5Click();
}
void TForm1::Button6Click() {
    link_.Button6Click();
}
void TForm1::Button7Click() {
    link_.Button7Click();
}

void TForm1::Button8Click() {
    const QString question = QString::fromStdString(FactoryDefaultsQuestion(link_.SelectedNode()));
    if (messages::Confirm(this, question))
        link_.SendFactoryDefaults();
}

void TForm1::Button2Click() {
    if (dialogs_.form2)
        dialogs_.form2->exec();
}

void TForm1::Button4Click() {
    if (dialogs_.form3)
        dialogs_.form3->exec();
}

void TForm1::Setup1Click() {
    if (dialogs_.form15)
        dialogs_.form15->exec();
}

void TForm1::SaveNodeSettingsClick() {
    const QString path = ChooseNodeSettingsFile(true);
    if (path.isEmpty())
        return;
    // A file that cannot take the settings is refused before the node is read.
    if (std::string error; !CheckNodeSettingsTarget(path.toStdString(), error)) {
        messages::ShowMessage(this, path + ": " + QString::fromStdString(error));
        return;
    }
    nodeSettings_->StartSave(link_.SelectedNode(), path.toStdString());
}

void TForm1::ApplyNodeSettingsClick() {
    const QString path = ChooseNodeSettingsFile(false);
    if (path.isEmpty())
        return;
    std::string error;
    const auto file = LoadNodeSettingsFile(path.toStdString(), error);
    if (!file) {
        messages::ShowMessage(this,
                              path + ": " + QString::fromStdString(error) + "\nNothing was sent.");
        return;
    }
    nodeSettings_->StartApply(link_.SelectedNode(), path.toStdString(), file->settings);
}

void TForm1::Button9Click() {
    // One wait at a time: a second click while waiting does nothing.
    if (waitLoop_)
        return;
    link_.RequestBreakerSetup();
    if (dialogs_.form5) {
        PlaceWaitingDialog();
        dialogs_.form5->show();
    }
    link_.WaitCancelled = false;

    // Sleep in a nested loop until the reply or a cancel wakes it; frames keep arriving.
    QEventLoop loop;
    waitLoop_ = &loop;
    while (!link_.SetupReceived && !link_.WaitCancelled)
        loop.exec();
    waitLoop_ = nullptr;

    if (dialogs_.form5)
        dialogs_.form5->hide();
    if (closing_)
        return;
    if (link_.SetupReceived) {
        if (dialogs_.form4)
            dialogs_.form4->exec();
    } else if (link_.SetupWaitExpired) {
        messages::ShowMessage(this,
                              QString::fromStdString(NoSetupReplyMessage(link_.SetupWaitNode)));
    }
}

// Beside the "Breaker setup" button, never over it: to its left, level with it, on the screen;
// below it where the left has no room.
void TForm1::PlaceWaitingDialog() {
    QWidget* dialog = dialogs_.form5;
    const auto* button = FindComponent<QPushButton>(centralWidget(), "Button9");
    const QRect avoid(button->mapToGlobal(QPoint(0, 0)), button->size());
    const QSize size = dialog->frameGeometry().size();
    constexpr int gap = 16; // also room for a window frame not yet known
    QPoint at(avoid.left() - gap - size.width(), avoid.center().y() - size.height() / 2);
    const QRect room = screen()->availableGeometry();
    if (at.x() < room.left())
        at = QPoint(avoid.left(), avoid.bottom() + gap);
    at.setY(std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() - size.height())));
    dialog->move(at);
}

void TForm1::CancelWait() {
    link_.WaitCancelled = true;
    if (waitLoop_)
        waitLoop_->quit();
}

// --- the line's state ------------------------------------------------------------------------

void TForm1::CreateStatusLine() {
    // In the strip below the Close button; the window keeps its size and every control its
    // place.
    QStatusBar* bar = statusBar();
    bar->setObjectName("StatusBar1");
    bar->setSizeGripEnabled(false);
    statusText_ = new SteadyLabel(bar);
    statusText_->Label()->setObjectName("LineStatus");
    bar->addWidget(statusText_, 1);
    reconnect_ = new QPushButton("&Reconnect", bar);
    reconnect_->setObjectName("Reconnect1");
    reconnect_->setAutoDefault(false);
    reconnect_->setFlat(true);
    bar->addPermanentWidget(reconnect_);
    connect(reconnect_, &QPushButton::clicked, this, [this] { ReconnectClick(); });
}

void TForm1::ServiceLine() {
    const std::int64_t now = clock_();
    line_->Service(now);
    // A new state shows at once; its figures (frames a second, seconds silent) once a second,
    // so that the status bar is not laid out and painted anew at every tick.
    const LineStatus state = line_->Supervisor().State();
    if (state == shownLineState_ && now - lineTextAt_ < 1000)
        return;
    shownLineState_ = state;
    lineTextAt_ = now;
    const QString text = QString::fromStdString(line_->StatusText(now));
    if (statusText_->text() != text)
        statusText_->setText(text);
}

QString TForm1::StatusLineText() const {
    const QString notice = statusBar()->currentMessage();
    return notice.isEmpty() ? statusText_->text() : notice;
}

void TForm1::ReconnectClick() {
    line_->Reconnect(clock_());
    ServiceLine();
}

// A command to a node the bus did not report is still sent; the status line says so.
void TForm1::NoteCommand(std::uint8_t node) {
    if (!link_.NodeOnBus(node + 1))
        statusBar()->showMessage(QString("Orvik node %1 is not on the bus").arg(node + 1),
                                 NOTICE_MS);
}

// --- bus monitor -----------------------------------------------------------------------------

// --- history and recording --------------------------------------------------------------------

void TForm1::HistoryClick() {
    if (!history_) {
        history_ = std::make_unique<HistoryWindow>(
            *busHistory_, [this] { return historyRecorder_->Now(); }, this);
        history_->OnRecord = [this](bool on) { Record(on); };
        history_->OnRecordEveryRun = [this](bool on) {
            try {
                if (!settingsUnusable_)
                    WriteRecordEveryRun(settingsPath_, on);
            } catch (const SettingsWriteError& e) {
                messages::ShowMessage(this, QString::fromStdString(e.what()));
            }
            ShowRecordingState();
        };
        history_->SetNode(link_.SelectedNode());
        ShowRecordingState();
    }
    history_->show();
    history_->raise();
    history_->activateWindow();
}

bool TForm1::Record(bool on) {
    if (!on) {
        recording_.Stop();
        recordingNote_ = recording_.File().empty()
                             ? QString()
                             : "Recorded to " + QString::fromStdString(recording_.File());
        ShowRecordingState();
        return true;
    }
    const bool started =
        recording_.Start(recordingsFolder_, *frameLog_,
                         {"Tarnwell Orvik interface version 1.1", comm1_->DeviceName(),
                          "Orvik bus; inbound: from the bus to the PC"},
                         recordingLimits_);
    recordingNote_ = started ? "Recording to " + QString::fromStdString(recording_.File())
                             : "Not recording: " + QString::fromStdString(recording_.Error());
    if (!started)
        statusBar()->showMessage(recordingNote_, 3 * NOTICE_MS);
    ShowRecordingState();
    return started;
}

void TForm1::PollRecording() {
    if (!recording_.Active())
        return;
    const std::string file = recording_.File();
    if (!recording_.Poll(*frameLog_, clock_())) {
        // A full disk stops the recording, never the program; what was written stays.
        recordingNote_ = "Recording stopped: " + QString::fromStdString(recording_.Error());
        statusBar()->showMessage(recordingNote_, 3 * NOTICE_MS);
    } else if (recording_.File() != file) {
        recordingNote_ = "Recording to " + QString::fromStdString(recording_.File());
    } else {
        return;
    }
    ShowRecordingState();
}

void TForm1::ShowRecordingState() {
    if (history_)
        history_->SetRecordingState(recording_.Active(),
                                    ReadRecordingSettings(settingsPath_).everyRun, recordingNote_);
}

void TForm1::BusMonitorClick() {
    if (!monitor_)
        monitor_ = std::make_unique<BusMonitor>(
            *frameLog_, [this] { return comm1_->DeviceName(); }, this);
    monitor_->show();
    monitor_->raise();
    monitor_->activateWindow();
}

// --- bus overview ----------------------------------------------------------------------------

void TForm1::BusOverviewClick() {
    if (!overview_) {
        overview_ = std::make_unique<BusOverview>(
            link_, [this](int node) { Shape1MouseDown(ShapeN(node)); }, this);
        overview_->ShowSelected(SpinEdit1->value());
    }
    overview_->show();
    overview_->raise();
    overview_->activateWindow();
}
