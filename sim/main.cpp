// orvik-bus-sim: eight Orvik modules on a pseudo-terminal or a serial port.
#include "link/protocol/LinkFrame.h"
#include "sim/CommandLog.h"
#include "sim/LineCommands.h"
#include "sim/Replay.h"
#include "sim/SimBus.h"
#include "sim/SimCapture.h"
#include "sim/SimLine.h"
#include "sim/SimOptions.h"
#include "sim/TxQueue.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <string>
#include <unistd.h>

using namespace orvik;
using namespace orvik::sim;
using Clock = std::chrono::steady_clock;
using std::chrono::nanoseconds;

namespace {

constexpr nanoseconds BYTE_TIME{1'000'000'000LL * 10 / 57600}; // 10 bits a byte
constexpr std::size_t PACED_CHUNK = 16;                        // bytes per write when paced
constexpr std::size_t QUEUE_LIMIT = 1024;  // no new frames while more than this waits
constexpr nanoseconds CATCH_UP{5'000'000}; // a late wake-up within this keeps the line rate

int signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char c = 0;
    [[maybe_unused]] auto r = write(signalPipe[1], &c, 1);
}

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f && f != stdout)
            std::fclose(f);
    }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

class Simulator {
public:
    Simulator(const SimOptions& opt, SimBus& bus, SimLine& line, std::FILE* log, std::FILE* trace)
        : opt_(opt), bus_(bus), line_(line), log_(log), trace_(trace), rng_(opt.seed ^ 0x5EED) {
        flags_.setupReply = opt.setupReply;
    }

    RunFlags& Flags() { return flags_; }
    void SetCapture(SimCapture* capture) { capture_ = capture; }
    void SetReplay(Replay* replay) { replay_ = replay; }
    int Run();

private:
    std::uint64_t Ms(Clock::time_point t) const {
        return static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(t - start_).count());
    }
    void QueueFrame(std::uint8_t type, const std::uint8_t* data, std::size_t length);
    void Pump(Clock::time_point now);
    void ReadLine(Clock::time_point now);
    void ReadStdin();
    void RunCommand(const std::string& text);
    void OnCommand(Clock::time_point now);
    void QueueReplay(Clock::time_point now);

    const SimOptions& opt_;
    SimBus& bus_;
    SimLine& line_;
    std::FILE* log_;
    std::FILE* trace_;
    SimCapture* capture_ = nullptr;
    Replay* replay_ = nullptr;
    bool replayEndShown_ = false;
    std::mt19937 rng_;
    RunFlags flags_;
    TxQueue queue_;
    FrameReceiver rx_;
    Clock::time_point start_ = Clock::now();
    Clock::time_point nextWrite_ = start_;
    bool waitWritable_ = false;
    bool stdinOpen_ = true;
    std::string stdinBuffer_;
    Clock::time_point lineQuietUntil_ = start_;
    unsigned long framesQueued_ = 0;
    unsigned long framesSkipped_ = 0;
    unsigned long commands_ = 0;
    bool lineErrorShown_ = false;
};

void Simulator::QueueFrame(std::uint8_t type, const std::uint8_t* data, std::size_t length) {
    std::uint8_t frame[MAX_FRAME_SIZE];
    const std::size_t n = EncodeFrame(type, data, length, frame);
    if (!queue_.Push(frame, n, opt_.faults, rng_, QUEUE_LIMIT)) {
        ++framesSkipped_;
        return;
    }
    ++framesQueued_;
    if (trace_) {
        std::fprintf(trace_, "%u %s\n", type, HexBytes(data, length).c_str());
        std::fflush(trace_);
    }
}

void Simulator::Pump(Clock::time_point now) {
    const bool paced = opt_.pacing != Pacing::Unpaced;
    waitWritable_ = false;
    bool dropped = false;
    while (!queue_.Empty() && now >= nextWrite_) {
        Segment& s = queue_.Front();
        std::size_t n = s.bytes.size() - s.done;
        if (paced)
            n = std::min(n, PACED_CHUNK);
        const ssize_t w = write(line_.Fd(), s.bytes.data() + s.done, n);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN && line_.IsPty() && !dropped && !replay_) {
                // Nobody reads the far end and its buffer is full. (A replay waits instead.)
                line_.DropUnread();
                dropped = true;
                continue;
            }
            if (errno == EAGAIN) {
                waitWritable_ = true;
                return;
            }
            if (line_.ListenFd() >= 0) {
                line_.DropClient(); // the client went away
                queue_.Clear();
                return;
            }
            if (!lineErrorShown_)
                std::fprintf(stderr, "orvik-bus-sim: write: %s; frames dropped\n",
                             std::strerror(errno));
            lineErrorShown_ = true;
            queue_.Clear();
            return;
        }
        lineErrorShown_ = false;
        const auto written = static_cast<std::size_t>(w);
        if (capture_)
            capture_->Sent(s.bytes.data() + s.done, written);
        if (paced) {
            // Keep the line's own clock when the wake-up was only a little late.
            const auto base = (nextWrite_ + CATCH_UP >= now) ? nextWrite_ : now;
            nextWrite_ = base + BYTE_TIME * static_cast<long>(written);
        }
        const long gap = queue_.Consume(written);
        if (gap > 0)
            nextWrite_ = std::max(nextWrite_, now) + std::chrono::milliseconds(gap);
    }
}

void Simulator::ReadLine(Clock::time_point now) {
    std::uint8_t buf[4096];
    for (;;) {
        const ssize_t r = read(line_.Fd(), buf, sizeof buf);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0 && line_.ListenFd() >= 0) {
            if (r == 0 || errno != EAGAIN)
                line_.DropClient();
            return;
        }
        if (r <= 0) {
            if (r < 0 && errno != EAGAIN) // e.g. a device unplugged: try again shortly
                lineQuietUntil_ = now + std::chrono::milliseconds(100);
            return;
        }
        if (capture_) {
            capture_->Received(rx_, buf, static_cast<std::size_t>(r), [&] { OnCommand(now); });
            continue;
        }
        for (ssize_t i = 0; i < r; ++i) {
            if (rx_.Feed(buf[i]))
                OnCommand(now);
        }
    }
}

void Simulator::OnCommand(Clock::time_point now) {
    ++commands_;
    const std::uint8_t code = rx_.RxType();
    const std::uint8_t* data = rx_.FrameData().data();
    const std::size_t length = rx_.ReceivedLength();
    const CommandResult result = bus_.Apply(code, data, length);
    const std::string json = CommandJson(Ms(now), code, data, length, result);
    std::fprintf(log_, "%s\n", json.c_str());
    std::fflush(log_);
    // A replay is the bus: its recorded replies are in the stream.
    if (result.reply && flags_.setupReply && !flags_.silent && !replay_)
        QueueFrame(FRAME_BREAKER_SETUP, result.setupReply.data(), result.setupReply.size());
}

void Simulator::QueueReplay(Clock::time_point now) {
    // Records wait rather than being skipped while the line is behind.
    while (queue_.PendingBytes() <= QUEUE_LIMIT) {
        const std::vector<std::uint8_t>* r = replay_->Due(now - start_);
        if (!r)
            break;
        if (flags_.silent)
            continue;
        queue_.Push(r->data(), r->size(), Faults{}, rng_, SIZE_MAX);
        ++framesQueued_;
    }
    if (replay_->Finished() && !replayEndShown_) {
        replayEndShown_ = true;
        std::fprintf(stderr, "orvik-bus-sim: replay finished, %zu records queued\n",
                     replay_->Records());
        if (!replay_->Broken().empty())
            std::fprintf(stderr, "orvik-bus-sim: the capture breaks off: %s\n",
                         replay_->Broken().c_str());
    }
}

void Simulator::RunCommand(const std::string& text) {
    const LineResult r = RunLineCommand(text, bus_, flags_);
    if (!r.text.empty())
        std::fprintf(stderr, "%s%s%s", r.ok ? "" : "orvik-bus-sim: ", r.text.c_str(),
                     r.text.back() == '\n' ? "" : "\n");
}

void Simulator::ReadStdin() {
    char buf[1024];
    const ssize_t r = read(STDIN_FILENO, buf, sizeof buf);
    if (r < 0 && errno == EINTR)
        return;
    if (r <= 0) {
        stdinOpen_ = false;
        if (opt_.exitOnEof)
            flags_.quit = true;
        return;
    }
    stdinBuffer_.append(buf, static_cast<std::size_t>(r));
    std::size_t nl;
    while ((nl = stdinBuffer_.find('\n')) != std::string::npos) {
        const std::string text = stdinBuffer_.substr(0, nl);
        stdinBuffer_.erase(0, nl + 1);
        RunCommand(text);
    }
    if (stdinBuffer_.size() > 4096) {
        std::fprintf(stderr, "orvik-bus-sim: command line too long, dropped\n");
        stdinBuffer_.clear();
    }
}

int Simulator::Run() {
    Clock::time_point lastAdvance = start_;
    Clock::time_point nextStatus = start_;
    std::size_t nextTimed = 0;
    const auto period = std::chrono::milliseconds(opt_.periodMs);
    bool stop = false;

    while (!stop && !flags_.quit) {
        const auto now = Clock::now();
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(now - lastAdvance);
        if (elapsed.count() > 0) {
            bus_.Advance(static_cast<std::uint32_t>(elapsed.count()));
            lastAdvance += elapsed;
        }
        const std::uint64_t nowMs = Ms(now);
        while (nextTimed < opt_.timed.size() && opt_.timed[nextTimed].atMs <= nowMs)
            RunCommand(opt_.timed[nextTimed++].command);
        if (opt_.runForMs > 0 && nowMs >= opt_.runForMs)
            break;

        const bool fullRate = opt_.pacing == Pacing::FullRate && !replay_;
        if (replay_) {
            QueueReplay(now);
        } else if (!flags_.silent && (fullRate ? queue_.Empty() : now >= nextStatus)) {
            const StatusRecord record = bus_.BuildStatus();
            QueueFrame(FRAME_STATUS, record.bytes.data(), record.bytes.size());
        }
        if (now >= nextStatus) {
            nextStatus += period;
            if (nextStatus <= now) // fell behind (suspended, or a slow terminal)
                nextStatus = now + period;
        }
        Pump(now);

        // Sleep until the next thing to do.
        auto wake = nextStatus;
        if (!queue_.Empty() && !waitWritable_)
            wake = std::min(wake, std::max(nextWrite_, now));
        if (nextTimed < opt_.timed.size())
            wake = std::min(wake, start_ + std::chrono::milliseconds(opt_.timed[nextTimed].atMs));
        if (opt_.runForMs > 0)
            wake = std::min(wake, start_ + std::chrono::milliseconds(opt_.runForMs));
        if (replay_ && queue_.PendingBytes() <= QUEUE_LIMIT &&
            replay_->NextAt() != nanoseconds::max())
            wake = std::min(wake, start_ + replay_->NextAt());
        if (fullRate && queue_.Empty() && !flags_.silent)
            wake = now;
        // Whole milliseconds, rounded up; the line clock in Pump absorbs the lateness.
        const auto wait = std::clamp(wake - now, nanoseconds(0), nanoseconds(1'000'000'000));
        int timeoutMs = static_cast<int>((wait.count() + 999'999) / 1'000'000);

        pollfd fds[4];
        nfds_t count = 0;
        fds[count++] = {signalPipe[0], POLLIN, 0};
        const int listenAt = line_.ListenFd() >= 0 ? static_cast<int>(count) : -1;
        if (listenAt >= 0)
            fds[count++] = {line_.ListenFd(), POLLIN, 0};
        const int lineAt =
            (now >= lineQuietUntil_ && line_.Fd() >= 0) ? static_cast<int>(count) : -1;
        if (lineAt >= 0)
            fds[count++] = {line_.Fd(), static_cast<short>(POLLIN | (waitWritable_ ? POLLOUT : 0)),
                            0};
        const int stdinAt = stdinOpen_ ? static_cast<int>(count) : -1;
        if (stdinAt >= 0)
            fds[count++] = {STDIN_FILENO, POLLIN, 0};
        if (lineAt < 0 && listenAt < 0)
            timeoutMs = std::min(timeoutMs, 100);

        const int ready = poll(fds, count, timeoutMs);
        if (ready < 0 && errno != EINTR) {
            std::fprintf(stderr, "orvik-bus-sim: poll: %s\n", std::strerror(errno));
            return 1;
        }
        if (ready <= 0)
            continue;
        if (fds[0].revents & POLLIN)
            stop = true;
        if (listenAt >= 0 && (fds[listenAt].revents & POLLIN))
            line_.Accept();
        if (lineAt >= 0 && fds[lineAt].revents) {
            if (fds[lineAt].revents & POLLIN)
                ReadLine(Clock::now());
            else if ((fds[lineAt].revents & (POLLERR | POLLHUP)) && line_.ListenFd() >= 0)
                line_.DropClient();
            else if (fds[lineAt].revents & (POLLERR | POLLHUP))
                lineQuietUntil_ = Clock::now() + std::chrono::milliseconds(100);
        }
        if (stdinAt >= 0 && fds[stdinAt].revents)
            ReadStdin();
    }
    std::fprintf(stderr,
                 "orvik-bus-sim: %lu frames queued, %lu skipped (line full), %lu corrupted, "
                 "%lu command frames received\n",
                 framesQueued_, framesSkipped_, queue_.Corrupted(), commands_);
    return 0;
}

File OpenOut(const std::string& path) {
    if (path.empty())
        return File(stdout);
    return File(std::fopen(path.c_str(), "w"));
}

} // namespace

int main(int argc, char** argv) {
    SimOptions opt;
    std::string error;
    if (!ParseOptions(argc, argv, opt, error)) {
        std::fprintf(stderr, "orvik-bus-sim: %s\n", error.c_str());
        return 2;
    }
    if (opt.help) {
        std::fputs(OptionsHelp(), stdout);
        std::fputs(LineCommandHelp(), stdout);
        return 0;
    }

    SimBus bus(opt.seed);
    bus.SetDrift(opt.drift);
    LoadDefaultModel(bus);
    if (opt.nodesGiven)
        for (std::size_t n = 0; n < NODE_COUNT; ++n)
            bus.SetPresent(n, (opt.nodes & BitMaskTable[n]) != 0);
    for (const auto& i : opt.ignored)
        bus.Ignore(i.node, i.code);
    RunFlags startFlags;
    for (const auto& c : opt.startCommands) {
        const LineResult r = RunLineCommand(c, bus, startFlags);
        if (!r.ok) {
            std::fprintf(stderr, "orvik-bus-sim: %s\n", r.text.c_str());
            return 2;
        }
    }

    File log;
    if (!opt.logFile.empty()) {
        log = OpenOut(opt.logFile);
        if (!log) {
            std::fprintf(stderr, "orvik-bus-sim: cannot write %s: %s\n", opt.logFile.c_str(),
                         std::strerror(errno));
            return 2;
        }
    }
    File trace;
    if (!opt.traceSent.empty()) {
        trace = OpenOut(opt.traceSent);
        if (!trace) {
            std::fprintf(stderr, "orvik-bus-sim: cannot write %s: %s\n", opt.traceSent.c_str(),
                         std::strerror(errno));
            return 2;
        }
    }

    if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("orvik-bus-sim: pipe");
        return 1;
    }
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    Replay replay;
    if (!opt.replayFile.empty() &&
        !replay.Load(opt.replayFile, opt.replaySpeed, opt.replayLoop, error)) {
        std::fprintf(stderr, "orvik-bus-sim: %s\n", error.c_str());
        return 2;
    }

    SimLine line;
    const bool opened = opt.listenPort != 0  ? line.Listen(opt.listenPort, error)
                        : opt.device.empty() ? line.OpenPty(opt.link, error)
                                             : line.OpenDevice(opt.device, error);
    if (!opened) {
        std::fprintf(stderr, "orvik-bus-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", line.FarEnd().c_str());
    std::fflush(stdout);

    SimCapture capture;
    if (!opt.captureFile.empty() && !capture.Open(opt.captureFile, line.FarEnd(), error)) {
        std::fprintf(stderr, "orvik-bus-sim: %s\n", error.c_str());
        return 2;
    }

    Simulator sim(opt, bus, line, log ? log.get() : stdout, trace.get());
    if (capture.IsOpen())
        sim.SetCapture(&capture);
    if (!opt.replayFile.empty())
        sim.SetReplay(&replay);
    sim.Flags().silent = startFlags.silent;
    if (!opt.setupReply)
        sim.Flags().setupReply = false;
    else
        sim.Flags().setupReply = startFlags.setupReply;
    return sim.Run();
}
