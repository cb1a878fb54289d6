#include "link/line/LineSupervisor.h"

#include <algorithm>

namespace orvik {

const char* LineStatusWord(LineStatus status) {
    switch (status) {
    case LineStatus::Closed:
        return "closed";
    case LineStatus::Receiving:
        return "receiving";
    case LineStatus::Silent:
        return "silent";
    case LineStatus::NoFrames:
        return "no valid frames";
    case LineStatus::Lost:
        return "lost";
    case LineStatus::Reopening:
        return "reopening";
    case LineStatus::Connecting:
        return "connecting";
    case LineStatus::Failed:
        break;
    }
    return "failed";
}

bool LineSupervisor::IsOpen() const {
    return state_ == LineStatus::Receiving || state_ == LineStatus::Silent ||
           state_ == LineStatus::NoFrames;
}

void LineSupervisor::Opened(std::int64_t now, std::uint64_t bytes, std::uint64_t frames) {
    state_ = LineStatus::Silent;
    problem_ = PortProblem::None;
    error_ = 0;
    wasLost_ = false;
    closeDue_ = false;
    waitForDevice_ = false;
    failures_ = 0;
    openedAt_ = lastFrameAt_ = lastByteAt_ = now;
    bytes_ = bytes;
    frames_ = frames;
    sampleCount_ = sampleNext_ = 0;
    fpsTenths_ = 0;
}

void LineSupervisor::Connecting(std::int64_t now) {
    state_ = LineStatus::Connecting;
    closeDue_ = false;
    waitForDevice_ = false;
    openAt_ = now;
}

void LineSupervisor::OpenFailed(std::int64_t now, PortProblem problem, std::int32_t error) {
    problem_ = problem;
    error_ = error;
    closeDue_ = false;
    ++failures_;
    switch (problem) {
    case PortProblem::NotConnected:
        // Wait for the device to be there, then let it settle.
        state_ = LineStatus::Lost;
        waitForDevice_ = true;
        seenPresent_ = false;
        ScheduleRetry(now);
        break;
    case PortProblem::Busy:
    case PortProblem::NoPermission:
    case PortProblem::ConnectRefused:
    case PortProblem::Unreachable:
    case PortProblem::TimedOut:
    case PortProblem::NoHost:
    case PortProblem::NotAccepted:
    case PortProblem::Disconnected:
        state_ = LineStatus::Reopening;
        waitForDevice_ = false;
        ScheduleRetry(now);
        break;
    default:
        state_ = LineStatus::Failed;
        waitForDevice_ = false;
    }
}

void LineSupervisor::Lost(std::int64_t now, std::int32_t error) {
    if (!IsOpen())
        return;
    state_ = LineStatus::Lost;
    problem_ = PortProblem::NotConnected;
    error_ = error;
    wasLost_ = true;
    closeDue_ = true; // at once, so that the system can give the device's name to it again
    waitForDevice_ = true;
    seenPresent_ = false;
    failures_ = 0;
    openAt_ = now;
}

void LineSupervisor::Reconnect(std::int64_t now) {
    state_ = LineStatus::Reopening;
    closeDue_ = false;
    waitForDevice_ = false;
    failures_ = 0;
    openAt_ = now;
}

void LineSupervisor::ScheduleRetry(std::int64_t now) {
    std::int64_t delay = FIRST_RETRY_MS;
    for (int i = 1; i < failures_ && delay < LONGEST_RETRY_MS; ++i)
        delay *= 2;
    openAt_ = now + std::min(delay, LONGEST_RETRY_MS);
}

LineAction LineSupervisor::Tick(std::int64_t now, bool present, std::uint64_t bytes,
                                std::uint64_t frames) {
    if (closeDue_) {
        closeDue_ = false;
        return LineAction::Close;
    }
    if (IsOpen()) {
        if (frames != frames_)
            lastFrameAt_ = now;
        if (bytes != bytes_)
            lastByteAt_ = now;
        bytes_ = bytes;
        frames_ = frames;
        samples_[sampleNext_] = {now, frames};
        sampleNext_ = (sampleNext_ + 1) % samples_.size();
        sampleCount_ = std::min(sampleCount_ + 1, samples_.size());
        // The oldest sample within the last second gives the rate.
        const Sample* oldest = nullptr;
        for (std::size_t i = 0; i < sampleCount_; ++i) {
            const Sample& s = samples_[i];
            if (now - s.at <= QUIET_MS && (!oldest || s.at < oldest->at))
                oldest = &s;
        }
        fpsTenths_ = oldest && now > oldest->at
                         ? static_cast<std::uint32_t>((frames - oldest->frames) * 10000 /
                                                      static_cast<std::uint64_t>(now - oldest->at))
                         : 0;
        if (now - lastFrameAt_ < QUIET_MS)
            state_ = LineStatus::Receiving;
        else if (now - lastByteAt_ < QUIET_MS)
            state_ = LineStatus::NoFrames;
        else
            state_ = LineStatus::Silent;
        return LineAction::None;
    }
    if (waitForDevice_) {
        if (!present) {
            seenPresent_ = false;
            state_ = LineStatus::Lost;
            return LineAction::None;
        }
        if (!seenPresent_) {
            seenPresent_ = true;
            openAt_ = std::max(openAt_, now + SETTLE_MS);
            state_ = LineStatus::Reopening;
        }
    }
    if (state_ == LineStatus::Reopening && now >= openAt_)
        return LineAction::Open;
    return LineAction::None;
}

std::int64_t LineSupervisor::SecondsWithoutFrame(std::int64_t now) const {
    return (now - std::max(lastFrameAt_, openedAt_)) / 1000;
}

std::int64_t LineSupervisor::SecondsToRetry(std::int64_t now) const {
    if (state_ != LineStatus::Reopening || now >= openAt_)
        return 0;
    return (openAt_ - now + 999) / 1000;
}

} // namespace orvik
