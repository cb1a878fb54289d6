#include "link/history/HistoryExport.h"

#include "link/history/EventDeriver.h"
#include "link/history/HistoryCsv.h"

namespace orvik {

namespace {

// Events go out as they come; the log only holds those of one packet.
constexpr std::size_t EVENTS_AT_ONCE = 4096;

class Exporter : public ReplayTarget {
public:
    Exporter(const ExportSinks& sinks, ExportResult& result) : sinks_(sinks), result_(result) {}

    // Times as the history takes them: the clock is watched from the first frame on, and a
    // time a little behind the newest counts as the newest.
    void PacketTime(std::int64_t timeMs) override {
        Begin();
        packetMs_ = std::max<std::int64_t>(timeMs, 0);
        if (!any_)
            return;
        if (const std::int64_t jump = clock_.See(packetMs_)) {
            lastMs_ += jump;
            deriver_.ClockJumped(std::max(packetMs_, lastMs_), jump, jump);
        }
        deriver_.Tick(std::max(packetMs_, lastMs_));
        Flush();
    }
    void StatusAccepted(const StatusRecord& r, std::int64_t) override {
        const std::int64_t t = Stamp();
        deriver_.Status(t, r);
        for (std::size_t n = 0; n < NODE_COUNT; ++n) {
            if (!r.IsNodePresent(n))
                continue;
            result_.nodes |= BitMaskTable[n];
            const int node = static_cast<int>(n + 1);
            if (!sinks_.status || (sinks_.node != 0 && sinks_.node != node))
                continue;
            HistoryPoint p;
            p.timeMs = t;
            for (std::size_t b = 0; b < BREAKER_COUNT; ++b)
                p.current[b] = r.Current(n, b);
            p.voltage = r.InputVoltage(n);
            p.on = r.BreakerOn(n);
            p.fault = r.BreakerFault(n);
            *sinks_.status << StatusCsvRow(p, sinks_.node == 0 ? node : 0);
        }
        Flush();
    }
    void SetupReplied(const SetupReply& reply, std::int64_t) override {
        deriver_.SetupReply(Stamp(), reply);
        Flush();
    }
    void CommandSent(const SentCommand& command, std::int64_t) override {
        if (!command.written)
            return; // not even its time counts
        deriver_.Command(Stamp(), command);
        Flush();
    }

    // A capture without a packet of the bus still gets its headers.
    void Begin() {
        if (started_)
            return;
        started_ = true;
        if (sinks_.begin)
            sinks_.begin();
        if (sinks_.status)
            *sinks_.status << StatusCsvHeader(sinks_.node == 0);
        if (sinks_.events)
            *sinks_.events << EventsCsvHeader();
    }

private:
    std::int64_t Stamp() {
        if (!any_) {
            any_ = true;
            clock_.See(packetMs_);
            lastMs_ = packetMs_;
        } else if (const std::int64_t jump = clock_.See(packetMs_)) {
            lastMs_ += jump;
            deriver_.ClockJumped(std::max(packetMs_, lastMs_), jump, jump);
        }
        lastMs_ = std::max(lastMs_, packetMs_);
        return lastMs_;
    }

    void Flush() {
        for (auto seq = log_.FirstSeq(); seq < log_.NextSeq(); ++seq) {
            const BusEvent& e = *log_.Find(seq);
            ++result_.events;
            if (!EventOfNode(e, sinks_.node))
                continue;
            if (sinks_.events)
                *sinks_.events << EventCsvRow(e);
            if (sinks_.onEvent)
                sinks_.onEvent(e);
        }
        log_.Clear();
    }

    const ExportSinks& sinks_;
    ExportResult& result_;
    BusEventLog log_{EVENTS_AT_ONCE};
    EventDeriver deriver_{log_};
    ClockJumps clock_;
    bool started_ = false;
    bool any_ = false;
    std::int64_t packetMs_ = 0;
    std::int64_t lastMs_ = 0; // the newest time of a frame or command
};

} // namespace

ExportResult ExportCapture(const std::string& path, const ExportSinks& sinks) {
    ExportResult result;
    Exporter exporter(sinks, result);
    static_cast<ReplayResult&>(result) = ReplayCapture(path, exporter);
    if (!result.scan.NotACapture())
        exporter.Begin();
    return result;
}

} // namespace orvik
