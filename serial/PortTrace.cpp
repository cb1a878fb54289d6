#include "serial/PortTrace.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

namespace orvik {

namespace {

using Clock = std::chrono::steady_clock;

struct TraceSink {
    std::mutex Lock;
    std::FILE* Out = nullptr;
    bool Owned = false;
    Clock::time_point Start = Clock::now();
    std::atomic<int> Threads{0};

    bool Serial = false;
    bool LineState = false;

    TraceSink() {
        const char* value = std::getenv("ORVIK_TRACE");
        if (!value)
            return;
        const std::string setting(value);
        const std::size_t colon = setting.find(':');
        const std::string topics = setting.substr(0, colon);
        std::size_t from = 0;
        while (from <= topics.size()) {
            const std::size_t comma = std::min(topics.find(',', from), topics.size());
            const std::string topic = topics.substr(from, comma - from);
            Serial |= topic == "serial";
            LineState |= topic == "line";
            from = comma + 1;
        }
        if (!Serial && !LineState)
            return;
        if (colon != std::string::npos && colon + 1 < setting.size()) {
            Out = std::fopen(setting.c_str() + colon + 1, "a");
            Owned = Out != nullptr;
        }
        if (!Out)
            Out = stderr;
        Begin();
    }
    ~TraceSink() {
        if (Owned)
            std::fclose(Out);
    }

    void Begin() {
        Start = Clock::now();
        char when[32] = "";
        const std::time_t now = std::time(nullptr);
        std::tm utc{};
#ifdef _WIN32
        gmtime_s(&utc, &now);
#else
        gmtime_r(&now, &utc);
#endif
        std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &utc);
        std::fprintf(Out, "serial trace started %s\n", when);
        std::fflush(Out);
    }

    int ThreadNumber() {
        thread_local int number = 0;
        if (number == 0)
            number = ++Threads;
        return number;
    }

    void Line(const char* format, ...) {
        std::lock_guard<std::mutex> lk(Lock);
        if (!Out)
            return;
        const double t = std::chrono::duration<double>(Clock::now() - Start).count();
        std::fprintf(Out, "%11.6f t%d ", t, ThreadNumber());
        va_list args;
        va_start(args, format);
        std::vfprintf(Out, format, args);
        va_end(args);
        std::fputc('\n', Out);
        std::fflush(Out);
    }
};

TraceSink& Sink() {
    static TraceSink sink;
    return sink;
}

// "3 bytes d5 82 06" (at most 32 shown).
std::string Bytes(const void* data, std::int32_t count) {
    std::string s = std::to_string(count) + " bytes";
    const auto* p = static_cast<const unsigned char*>(data);
    for (std::int32_t i = 0; i < count && i < 32 && p; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02x", p[i]);
        s += hex;
    }
    if (count > 32)
        s += " ...";
    return s;
}

const char* WaitName(TWaitResult r) {
    switch (r) {
    case TWaitResult::Event:
        return "event";
    case TWaitResult::NoEvent:
        return "no event";
    case TWaitResult::Stopped:
        return "stopped";
    case TWaitResult::Failed:
        return "failed";
    }
    return "?";
}

// Forwards every call to the real device and writes a line for it. The OS error is read
// right after the call and left as the call left it.
class TracedPort final : public TPortDevice {
public:
    TracedPort(std::unique_ptr<TPortDevice> inner, std::string path)
        : Inner(std::move(inner)), Path(std::move(path)) {}
    ~TracedPort() override {
        Inner.reset();
        Sink().Line("close %s", Path.c_str());
    }

    bool IsCharDevice() override { return Done("IsCharDevice()", Inner->IsCharDevice()); }
    bool GetState(TLineState& s) override {
        const bool ok = Inner->GetState(s);
        const int e = PortGetLastError();
        Sink().Line("GetState() -> %s baud %u %u%c%s cts %d dsr %d dtr %d rts %d xon %d/%d "
                    "error %d",
                    ok ? "ok" : "failed", s.BaudRate, s.ByteSize, "NOEMS"[s.Parity % 5],
                    s.StopBits == COMM_TWOSTOPBITS ? "2" : "1", s.fOutxCtsFlow, s.fOutxDsrFlow,
                    s.fDtrControl, s.fRtsControl, s.fOutX, s.fInX, e);
        PortSetLastError(e);
        return ok;
    }
    bool SetState(const TLineState& s) override {
        char call[160];
        std::snprintf(call, sizeof call,
                      "SetState(baud %u %u%c%s cts %d dsr %d dtr %d rts %d xon %d/%d "
                      "abort-on-error %d)",
                      s.BaudRate, s.ByteSize, "NOEMS"[s.Parity % 5],
                      s.StopBits == COMM_TWOSTOPBITS ? "2" : "1", s.fOutxCtsFlow, s.fOutxDsrFlow,
                      s.fDtrControl, s.fRtsControl, s.fOutX, s.fInX, s.fAbortOnError);
        return Done(call, Inner->SetState(s));
    }
    bool SetupBuffers(std::int32_t in, std::int32_t out) override {
        char call[64];
        std::snprintf(call, sizeof call, "SetupBuffers(%d, %d)", in, out);
        return Done(call, Inner->SetupBuffers(in, out));
    }
    bool SetTimeouts(const TCommTimeouts& t) override {
        char call[96];
        std::snprintf(call, sizeof call, "SetTimeouts(interval %u, write %u + %u/byte)",
                      t.ReadIntervalTimeout, t.WriteTotalTimeoutConstant,
                      t.WriteTotalTimeoutMultiplier);
        return Done(call, Inner->SetTimeouts(t));
    }
    bool SetMask(std::uint32_t mask) override {
        char call[32];
        std::snprintf(call, sizeof call, "SetMask(0x%03x)", mask);
        return Done(call, Inner->SetMask(mask));
    }
    TWaitResult WaitEvent(std::uint32_t& events) override {
        Sink().Line("WaitEvent() ...");
        const TWaitResult r = Inner->WaitEvent(events);
        const int e = PortGetLastError();
        Sink().Line("WaitEvent() -> %s events 0x%03x error %d", WaitName(r),
                    r == TWaitResult::Event ? events : 0u, e);
        PortSetLastError(e);
        return r;
    }
    void Stop() override {
        Sink().Line("Stop()");
        Inner->Stop();
    }
    bool CanWaitForInput() const override { return Inner->CanWaitForInput(); }
    TWaitResult WaitForInput(std::int32_t count, std::int64_t timeoutUs) override {
        const TWaitResult r = Inner->WaitForInput(count, timeoutUs);
        const int e = PortGetLastError();
        Sink().Line("WaitForInput(%d bytes, %lld us) -> %s error %d", count,
                    static_cast<long long>(timeoutUs), WaitName(r), e);
        PortSetLastError(e);
        return r;
    }
    bool ClearError(std::uint32_t& errors, TCommStat& stat) override {
        const bool ok = Inner->ClearError(errors, stat);
        const int e = PortGetLastError();
        Sink().Line("ClearError() -> %s errors 0x%02x in %u out %u error %d", ok ? "ok" : "failed",
                    errors, stat.cbInQue, stat.cbOutQue, e);
        PortSetLastError(e);
        return ok;
    }
    std::int32_t InQueue() override {
        const std::int32_t n = Inner->InQueue();
        const int e = PortGetLastError();
        Sink().Line("InQueue() -> %d error %d", n, e);
        PortSetLastError(e);
        return n;
    }
    bool Purge(std::uint32_t flags) override {
        char call[32];
        std::snprintf(call, sizeof call, "Purge(0x%x)", flags);
        return Done(call, Inner->Purge(flags));
    }
    std::int32_t Read(void* buffer, std::int32_t count) override {
        const std::int32_t n = Inner->Read(buffer, count);
        const int e = PortGetLastError();
        Sink().Line("Read(%d) -> %s error %d", count, n >= 0 ? Bytes(buffer, n).c_str() : "-1", e);
        PortSetLastError(e);
        return n;
    }
    std::int32_t Write(const void* buffer, std::int32_t count) override {
        const std::int32_t n = Inner->Write(buffer, count);
        const int e = PortGetLastError();
        Sink().Line("Write(%s) -> %d error %d", Bytes(buffer, count).c_str(), n, e);
        PortSetLastError(e);
        return n;
    }
    PortStage Stage() override { return Inner->Stage(); }

private:
    bool Done(const char* call, bool ok) {
        const int e = PortGetLastError();
        Sink().Line("%s -> %s error %d", call, ok ? "ok" : "failed", e);
        PortSetLastError(e);
        return ok;
    }

    std::unique_ptr<TPortDevice> Inner;
    std::string Path;
};

} // namespace

void SetPortTrace(std::FILE* out) {
    TraceSink& sink = Sink();
    std::lock_guard<std::mutex> lk(sink.Lock);
    if (sink.Owned)
        std::fclose(sink.Out);
    sink.Out = out;
    sink.Owned = false;
    sink.Serial = sink.LineState = out != nullptr;
    if (out)
        sink.Begin();
}

bool LineTraceOn() {
    TraceSink& sink = Sink();
    std::lock_guard<std::mutex> lk(sink.Lock);
    return sink.Out && sink.LineState;
}

void TracePortStep(const std::string& text) {
    TraceSink& sink = Sink();
    {
        std::lock_guard<std::mutex> lk(sink.Lock);
        if (!sink.Out || !sink.Serial)
            return;
    }
    sink.Line("net %s", text.c_str());
}

void TraceLineState(const std::string& text) {
    if (LineTraceOn())
        Sink().Line("line %s", text.c_str());
}

std::unique_ptr<TPortDevice> OpenTracedPortDevice(const std::string& path) {
    TraceSink& sink = Sink();
    bool on = false;
    {
        std::lock_guard<std::mutex> lk(sink.Lock);
        on = sink.Out != nullptr && sink.Serial;
    }
    std::unique_ptr<TPortDevice> port = OpenPortDevice(path);
    if (!on)
        return port;
    const int e = PortGetLastError();
    sink.Line("open %s -> %s error %d", path.c_str(), port ? "ok" : "failed", e);
    PortSetLastError(e);
    if (!port)
        return port;
    return std::make_unique<TracedPort>(std::move(port), path);
}

} // namespace orvik
