#include "app/RecordingControl.h"

#include "app/HistoryWindow.h"
#include "app/Messages.h"
#include "app/ProgramTitle.h"
#include "link/settings/Settings.h"

using namespace orvik;

RecordingControl::RecordingControl(std::string settingsPath, const FrameLog& log,
                                   std::function<std::string()> device, QWidget* window)
    : settingsPath_(std::move(settingsPath)), log_(log), device_(std::move(device)),
      window_(window) {}

void RecordingControl::Begin(bool settingsWritable) {
    settingsWritable_ = settingsWritable;
    const RecordingSettings settings = ReadRecordingSettings(settingsPath_);
    limits_ = settings.limits;
    if (settings.everyRun)
        Record(true);
}

bool RecordingControl::Record(bool on) {
    if (!on) {
        recording_.Stop();
        problem_.clear();
        note_ = recording_.File().empty()
                    ? QString()
                    : "Recorded to " + QString::fromStdString(recording_.File());
        Changed();
        return true;
    }
    const bool started = recording_.Start(
        folder_, log_, {PROGRAM_TITLE, device_(), "Orvik bus; inbound: from the bus to the PC"},
        limits_, snapshot_);
    shownFile_ = recording_.File();
    note_ = started ? "Recording to " + QString::fromStdString(shownFile_)
                    : "Not recording: " + QString::fromStdString(recording_.Error());
    problem_ = started ? QString() : note_;
    Changed();
    return started;
}

void RecordingControl::Poll(std::int64_t steadyMs) {
    if (!recording_.Active())
        return;
    if (!recording_.Poll(log_, steadyMs)) {
        // A full disk stops the recording, never the program; what was written stays.
        note_ = "Recording stopped: " + QString::fromStdString(recording_.Error());
        problem_ = note_;
    } else if (const std::string file = recording_.File(); file != shownFile_) {
        // The writer's thread went on to the next file.
        shownFile_ = file;
        note_ = "Recording to " + QString::fromStdString(file);
    } else {
        return;
    }
    Changed();
}

void RecordingControl::SetEveryRun(bool on) {
    try {
        if (settingsWritable_)
            WriteRecordEveryRun(settingsPath_, on);
    } catch (const SettingsWriteError& e) {
        messages::ShowMessage(window_, QString::fromStdString(e.what()));
    }
    Changed();
}

void RecordingControl::Stop() {
    recording_.Stop();
}

void RecordingControl::ShowIn(HistoryWindow& window) const {
    window.SetRecordingState(recording_.Active(), ReadRecordingSettings(settingsPath_).everyRun,
                             note_);
}

void RecordingControl::Changed() {
    if (OnChanged)
        OnChanged();
}
