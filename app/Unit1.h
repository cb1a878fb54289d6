// TForm1, the main window: the node strip, the selected node's breakers and settings, and the
// commands. The link state and the serial component live here for the whole run; the dialogs
// get references to them.
#pragma once

#include "link/base/TickSchedule.h"
#include "link/capture/LineRecording.h"
#include "link/history/BusHistory.h"
#include "link/history/HistoryRecorder.h"
#include "link/line/LineConnection.h"
#include "link/state/LinkState.h"
#include "serial/CommPort.h"

#include <QMainWindow>

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

class BusMonitor;
class BusOverview;
class HistoryWindow;
class QAction;
class QEventLoop;
class QLineEdit;
class QMenu;
class QPushButton;
class QSpinBox;
class QTimer;
class NodeSettingsDialog;
class RecordingControl;
class Shape;
class StatusLine;
class TSwitchArray;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // settingsPath: the settings file; the program passes the one next to the executable.
    // The port is opened here (FormCreate), so a message may show before the window does.
    explicit TForm1(const std::string& settingsPath);
    ~TForm1() override;

    orvik::LinkState& Link() { return link_; }
    orvik::TComm& Comm1() { return *comm1_; }
    orvik::LineConnection& Line() { return *line_; }
    const std::string& SettingsPath() const { return settingsPath_; }

    // The dialogs, created after the main window; it opens them.
    struct Dialogs {
        QDialog* form15 = nullptr; // serial port setup
        QDialog* form2 = nullptr;  // power-on defaults
        QDialog* form3 = nullptr;  // wigwag interval
        QDialog* form4 = nullptr;  // breaker setup
        QWidget* form5 = nullptr;  // waiting
    };
    void SetDialogs(const Dialogs& dialogs);
    // Ends a running breaker setup wait as Cancel does (the waiting dialog's Cancel and its
    // frame call this).
    void CancelWait();
    bool Waiting() const { return waitLoop_ != nullptr; }

    // Handlers, public so that tests can drive them.
    void Comm1RxChar(std::int32_t count);
    void UpdateDisplay(const orvik::DisplayUpdate& update);
    void Timer1Timer();
    void Shape1MouseDown(Shape* sender);
    void SwitchArray1Switch(quint16 position);
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void Button6Click();
    void Button7Click();
    void Button8Click();
    void Button9Click();
    void Setup1Click();
    // Acts on the line's supervision (reopen after a loss) and shows its state; the timer
    // runs it, and a loss right away.
    void ServiceLine();
    // The status line's text as shown now, and the "Reconnect" entry's action.
    QString StatusLineText() const;
    void ReconnectClick();
    // The clock of the line's supervision, in milliseconds; tests set their own.
    void SetClock(std::function<std::int64_t()> clock) { clock_ = std::move(clock); }
    // Menu "Save node settings..." and "Apply node settings..." for the selected node.
    void SaveNodeSettingsClick();
    void ApplyNodeSettingsClick();
    // Asks for a node settings file to save to (true) or to apply; "" for none. Tests replace
    // the file dialog.
    std::function<QString(bool save)> ChooseNodeSettingsFile;

    // The bus monitor window and the frame log behind it (from the start of the run).
    void BusMonitorClick();
    orvik::FrameLog& FrameLog() { return *frameLog_; }
    BusMonitor* Monitor() const { return monitor_.get(); }
    // The bus overview window: all nodes at once; a node chosen in it is selected here.
    void BusOverviewClick();
    BusOverview* Overview() const { return overview_.get(); }

    // The History window over the run's history of the bus, and the recording of the line.
    void HistoryClick();
    HistoryWindow* History() const { return history_.get(); }
    const orvik::BusHistory& BusHistory() const { return *busHistory_; }
    // Starts or stops recording the line into the recordings folder; false with the reason
    // in the status line when it could not start.
    bool Record(bool on);
    const orvik::LineRecording& Recording() const;
    // Where recordings go; tests point it elsewhere.
    void SetRecordingsFolder(std::string folder);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    static constexpr int NODES = static_cast<int>(orvik::NODE_COUNT);
    static constexpr int BREAKERS = static_cast<int>(orvik::BREAKER_COUNT);

    void CreateControls();
    void CreateMenus();
    void CreateNodeSettingsMenu(QMenu* menu);
    void SetTabOrder();
    // Paints indicator ShapeN and names it for a screen reader by what the colour says.
    void PaintIndicator(int n, const orvik::Rgb& colour);
    // The red marks beside the node indicators of nodes with a fault; none while blank.
    void ShowFaultMarks(bool blank);
    // The node strip is one stop for Tab: the node indicator `node`; the arrow keys move it.
    void NodeTabStop(int node);
    void MoveNodeFocus(int node);
    void FormCreate();
    void FormCloseQuery();
    void PlaceWaitingDialog();
    void NoteCommand(std::uint8_t node);
    void ShowRecordingState();
    QLineEdit* EditN(int n) const;
    Shape* ShapeN(int n) const;

    std::string settingsPath_;
    orvik::LinkState link_;
    std::unique_ptr<orvik::TComm> comm1_;
    std::unique_ptr<orvik::LinkPort> linkPort_;
    std::unique_ptr<orvik::LineConnection> line_;

    TSwitchArray* SwitchArray1 = nullptr;
    mutable std::array<QLineEdit*, 17> edits_{};                // Edit1..Edit16
    mutable std::array<Shape*, 1 + NODES + BREAKERS> shapes_{}; // Shape1..Shape16
    std::array<Shape*, NODES> faultMarks_{};                    // beside Shape1..Shape8
    std::array<std::uint8_t, NODES> markedFaults_{};            // the faults each mark shows
    QSpinBox* SpinEdit1 = nullptr;
    QTimer* Timer1 = nullptr;
    // Timer1's turns; a delivery takes a turn near it, so frames and the timer share a wake-up.
    orvik::TickSchedule ticks_{std::chrono::milliseconds(100), std::chrono::milliseconds(50),
                               orvik::TickSchedule::Clock::now()};
    QAction* Setup1 = nullptr;
    QAction* RecordAction = nullptr; // View > Record, as the History window's
    std::unique_ptr<StatusLine> statusLine_;
    NodeSettingsDialog* nodeSettings_ = nullptr;
    Dialogs dialogs_;
    QEventLoop* waitLoop_ = nullptr;
    bool closing_ = false;
    // The settings file could not be read as one at the start: it is left as it is.
    bool settingsUnusable_ = false;
    std::function<std::int64_t()> clock_ = orvik::SteadyMilliseconds;

    // The traffic on the line; the window goes before the log it shows.
    std::unique_ptr<orvik::FrameLog> frameLog_;
    std::unique_ptr<BusMonitor> monitor_;
    // The history of the run, fed by the link; the window goes before it.
    std::unique_ptr<orvik::BusHistory> busHistory_;
    std::unique_ptr<orvik::HistoryRecorder> historyRecorder_;
    std::unique_ptr<HistoryWindow> history_;
    std::unique_ptr<RecordingControl> recording_;
    std::unique_ptr<BusOverview> overview_;
};
