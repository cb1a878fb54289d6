// The bus monitor: a window beside the main window that shows every record of the frame log
// as it comes (time, direction, node, summary, outcome, hex), with filters, pause and clear,
// the link's counters and "Save capture...". It reads the log on a timer, a few times a
// second, so a bus at full rate costs the main window nothing per frame.
#pragma once

#include "link/protocol/FrameLog.h"

#include <QWidget>

#include <functional>
#include <string>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableView;
class QTimer;
class SteadyLabel;
class TrafficModel;

class BusMonitor : public QWidget {
    Q_OBJECT
public:
    // `portName` names the capture's interface (the COM port at the moment of saving).
    BusMonitor(orvik::FrameLog& log, std::function<std::string()> portName,
               QWidget* parent = nullptr);

    // Writes the capture of every record kept; says why in a message box when it cannot.
    bool SaveCapture(const QString& path);
    // One tick of the refresh timer: new rows (unless paused) and the counters.
    void Refresh();
    TrafficModel& Model() { return *model_; }

private:
    void SaveCaptureClick();
    void ClearClick();
    void FilterChanged();
    void ShowDetails();
    QString CountersText() const;

    orvik::FrameLog& log_;
    std::function<std::string()> portName_;
    TrafficModel* model_ = nullptr;
    QComboBox* direction_ = nullptr;
    QComboBox* node_ = nullptr;
    QComboBox* kind_ = nullptr;
    QPushButton* pause_ = nullptr;
    SteadyLabel* counters_ = nullptr;
    QLabel* status_ = nullptr;
    QTableView* table_ = nullptr;
    QPlainTextEdit* details_ = nullptr;
    QTimer* timer_ = nullptr;
};
