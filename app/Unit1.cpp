#include "app/Unit1.h"

#include "app/BusMonitor.h"
#include "app/BusOverview.h"
#include "app/HistoryWindow.h"
#include "app/Messages.h"
#include "app/NodeSettingsDialog.h"
#include "app/ProgramTitle.h"
#include "app/RecordingControl.h"
#include "app/Shape.h"
#include "app/StatusLine.h"
#include "app/WindowPlace.h"
#include "link/line/CommLinkPort.h"
#include "link/nodefiles/NodeSettingsFile.h"
#include "link/protocol/StatusTexts.h"
#include "link/settings/Settings.h"
#include "widgets/FindComponent.h"
#include "widgets/FormFont.h"
#include "widgets/Switch.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>

#include "serial/qt/QtMainThreadInvoker.h"

#include <algorithm>

using namespace orvik;

namespace {

// Repaints an edit only when its text changes: most of a frame's texts stay as they were. The
// comparison makes no string of its own.
void ShowText(QLineEdit* edit, const ShortText& t) {
    const QLatin1String text(t.View().data(), static_cast<qsizetype>(t.Size()));
    if (edit->text() != text)
        edit->setText(text);
}

} // namespace

TForm1::TForm1(const std::string& settingsPath)
    : settingsPath_(settingsPath),
      comm1_(std::make_unique<TComm>(std::make_shared<TQtMainThreadInvoker>())),
      frameLog_(std::make_unique<orvik::FrameLog>()),
      busHistory_(std::make_unique<orvik::BusHistory>(
          orvik::HistoryLimits{.clockAheadMs = orvik::ClockJumps::LIVE_AHEAD_MS})),
      historyRecorder_(std::make_unique<HistoryRecorder>(*busHistory_)),
      recording_(std::make_unique<RecordingControl>(
          settingsPath_, *frameLog_, [this] { return comm1_->DeviceName(); }, this)) {
    setObjectName("Form1");
    setWindowTitle(PROGRAM_TITLE);
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
    statusLine_ = std::make_unique<StatusLine>(statusBar(), [this] { ReconnectClick(); });
    recording_->OnChanged = [this] { ShowRecordingState(); };
    recording_->SetSnapshot([this] { return link_.SnapshotFrames(); });
    SetTabOrder();

    FormCreate();
}

TForm1::~TForm1() {
    // Stop the monitor thread before the handlers' targets go.
    comm1_->Close();
    link_.SetWatcher(nullptr);
    recording_->Stop();
    link_.SetDisplaySink({});
    link_.SetSetupSink({});
}

void TForm1::SetDialogs(const Dialogs& dialogs) {
    dialogs_ = dialogs;
}

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
    if (!opened.opened) {
        // An address that can never work is no port in use by another program.
        const std::string text = opened.problem == PortProblem::BadAddress
                                     ? ComDeviceName(link_.ComPortIndex) +
                                           " is set to an address that is not a " +
                                           "network port, in " + settingsPath_ + "."
                                     : PortUnavailableMessage(link_.ComPortIndex);
        messages::ShowMessage(this, QString::fromStdString(text),
                              QString::fromStdString(opened.reason));
    }
    ServiceLine();
    recording_->Begin(!settingsUnusable_);
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
    // The timer's turn, if due, runs right after this delivery instead of waking the thread
    // again; not inside it, as the turn may close the port.
    if (ticks_.Due(TickSchedule::Clock::now()) && Timer1->interval() != 0)
        Timer1->start(0);
}

void TForm1::UpdateDisplay(const DisplayUpdate& u) {
    for (int n = 1; n <= NODES; ++n)
        PaintIndicator(n, u.NodeIndicator[n - 1]);
    ShowFaultMarks(false);
    if (!u.NodePresent)
        return;
    SwitchArray1->SetShowsData(true);
    for (int b = 0; b < BREAKERS; ++b) {
        SwitchArray1->Switch(static_cast<quint16>(b), u.SwitchOn[b]);
        PaintIndicator(NODES + 1 + b, u.FaultIndicator[b]);
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
    Timer1->start(
        std::chrono::ceil<std::chrono::milliseconds>(ticks_.Took(TickSchedule::Clock::now())));
    // Frames that came while this thread was busy go in before the history looks for silence.
    if (comm1_->IsOpen())
        comm1_->DeliverPending();
    ServiceLine();
    recording_->Poll(clock_());
    nodeSettings_->Tick();
    historyRecorder_->Tick();
    const TimerUpdate t = link_.Timer1Timer();
    if (t.EndSetupWait && waitLoop_)
        waitLoop_->quit();
    if (t.BlankNodeIndicators) {
        for (int n = 1; n <= NODES; ++n)
            PaintIndicator(n, COLOUR_WHITE);
        ShowFaultMarks(true);
        if (overview_)
            overview_->Refresh();
    }
    if (t.BlankNodeDisplay) {
        SwitchArray1->SetShowsData(false);
        for (int b = 0; b < BREAKERS; ++b) {
            PaintIndicator(NODES + 1 + b, COLOUR_WHITE);
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

// --- the line's state ----------------------------------------------------------------------

void TForm1::ServiceLine() {
    const std::int64_t now = clock_();
    line_->Service(now);
    statusLine_->Show(*line_, now);
}

QString TForm1::StatusLineText() const {
    return statusLine_->Text();
}

void TForm1::ReconnectClick() {
    line_->Reconnect(clock_());
    ServiceLine();
}

// A command to a node the bus did not report is still sent; the status line says so.
void TForm1::NoteCommand(std::uint8_t node) {
    if (!link_.NodeOnBus(node + 1))
        statusLine_->Notice(QString("Orvik node %1 is not on the bus").arg(node + 1));
}

// --- the windows it opens ------------------------------------------------------------------

void TForm1::BusMonitorClick() {
    ShowOrRaise(monitor_, [this] {
        return std::make_unique<BusMonitor>(
            *frameLog_, [this] { return comm1_->DeviceName(); }, this);
    });
}

// The History window of the run, with the controls of its recording.
void TForm1::HistoryClick() {
    ShowOrRaise(history_, [this] {
        auto window = std::make_unique<HistoryWindow>(
            *busHistory_, [this] { return historyRecorder_->Now(); }, this);
        window->OnRecord = [this](bool on) { Record(on); };
        window->OnRecordEveryRun = [this](bool on) { recording_->SetEveryRun(on); };
        window->SetNode(link_.SelectedNode());
        recording_->ShowIn(*window);
        return window;
    });
}

void TForm1::BusOverviewClick() {
    ShowOrRaise(overview_, [this] {
        auto overview = std::make_unique<BusOverview>(
            link_, [this](int node) { Shape1MouseDown(ShapeN(node)); }, this);
        overview->ShowSelected(SpinEdit1->value());
        return overview;
    });
}

// --- recording -----------------------------------------------------------------------------

bool TForm1::Record(bool on) {
    const bool done = recording_->Record(on);
    RecordAction->setChecked(recording_->Recording().Active());
    return done;
}

const LineRecording& TForm1::Recording() const {
    return recording_->Recording();
}

void TForm1::SetRecordingsFolder(std::string folder) {
    recording_->SetFolder(std::move(folder));
}

void TForm1::ShowRecordingState() {
    statusLine_->ShowRecordingProblem(recording_->Problem());
    RecordAction->setChecked(recording_->Recording().Active());
    if (history_)
        recording_->ShowIn(*history_);
}
