// The recording of the line that the History window's Recording menu controls: started by hand
// or at the start of every run, fed from the frame log, stopped by hand or by a failed write,
// and the note that says where it goes or why it stopped.
#pragma once

#include "link/capture/LineRecording.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <string>

class HistoryWindow;
class QWidget;

class RecordingControl {
public:
    // `device`: the device the line reaches, for the recording's header; `window`: where a
    // message about the settings file shows.
    RecordingControl(std::string settingsPath, const orvik::FrameLog& log,
                     std::function<std::string()> device, QWidget* window);

    // The recording started or stopped, or its note or "every run" changed.
    std::function<void()> OnChanged;

    // At the start of the run: the limits of [Recording], and a recording when every run is
    // recorded. `settingsWritable` false leaves the settings file as it is.
    void Begin(bool settingsWritable);
    // Starts or stops recording into the recordings folder; false when it could not start.
    bool Record(bool on);
    // Writes what came since the last poll.
    void Poll(std::int64_t steadyMs);
    // "Record every run", kept in the settings file.
    void SetEveryRun(bool on);
    void Stop();

    // Why a recording that was asked for is not running (its start failed, or a write stopped
    // it); empty while it runs or when none is wanted.
    const QString& Problem() const { return problem_; }
    // Shows the state in a History window's Recording menu.
    void ShowIn(HistoryWindow& window) const;
    const orvik::LineRecording& Recording() const { return recording_; }
    void SetFolder(std::string folder) { folder_ = std::move(folder); }
    // What each file begins with: what the link knows at that moment.
    void SetSnapshot(orvik::LineRecording::Snapshot snapshot) { snapshot_ = std::move(snapshot); }

private:
    void Changed();

    std::string settingsPath_;
    const orvik::FrameLog& log_;
    std::function<std::string()> device_;
    QWidget* window_;
    bool settingsWritable_ = false;
    orvik::LineRecording recording_;
    std::string folder_ = orvik::RecordingsFolder();
    orvik::RecordingLimits limits_;
    orvik::LineRecording::Snapshot snapshot_;
    QString note_;
    QString problem_;
    std::string shownFile_;
};
