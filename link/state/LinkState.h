// The state of the link to the module bus, once for the whole run: the last status record,
// the last breaker setup reply, the cached settings of the selected node, the request flags,
// the timeouts, the fixed buffers and the frame receiver. The main window owns it and hands the
// dialogs a reference; everything here runs on the main thread.
#pragma once

#include "link/base/RunClock.h"
#include "link/base/ShortText.h"
#include "link/protocol/FrameLog.h"
#include "link/protocol/LinkFrame.h"
#include "link/protocol/SetupReply.h"
#include "link/protocol/StatusRecord.h"
#include "link/state/LinkWatcher.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace orvik {

// The serial port as the link sees it; Read and Write return the byte count or -1.
struct LinkPort {
    virtual ~LinkPort() = default;
    virtual int Read(void* buffer, int count) = 0;
    // As Read, but only bytes that arrived together, with the moment they came (SteadyNs). A
    // port that cannot tell stamps them now.
    virtual int ReadStamped(void* buffer, int count, std::int64_t& arrivedNs) {
        arrivedNs = SteadyNs();
        return Read(buffer, count);
    }
    virtual int Write(const void* buffer, int count) = 0;
    // After each receive event: the bytes the receiver still lacks for the frame in progress,
    // so that the port may hand them over at once rather than piece by piece.
    virtual void ExpectBytes(int) {}
};

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};
inline constexpr Rgb COLOUR_GREEN{0, 255, 0};
inline constexpr Rgb COLOUR_RED{255, 0, 0};
inline constexpr Rgb COLOUR_WHITE{255, 255, 255};

// What one status frame shows in the main window.
struct DisplayUpdate {
    std::array<Rgb, NODE_COUNT> NodeIndicator{}; // Shape1..Shape8
    // Whether the selected node is on the bus; the fields below hold only when it is, else
    // the node's display is left as it was.
    bool NodePresent = false;
    std::array<bool, BREAKER_COUNT> SwitchOn{};
    std::array<Rgb, BREAKER_COUNT> FaultIndicator{}; // Shape9..Shape16
    std::array<ShortText, BREAKER_COUNT> Current{};  // Edit1..Edit8
    ShortText Edit9;                                 // input voltage
    ShortText Edit10;                                // joining option
    ShortText Edit11;                                // power-on defaults
    ShortText Edit12;                                // profile
    ShortText Edit13;                                // wigwag mode
    ShortText Edit14;                                // flasher mode, see Edit14Changed
    bool Edit14Changed = false;                      // false: leave Edit14 as it was
    ShortText Edit15;                                // wigwag interval
    ShortText Edit16;                                // dual LED
};

// What one tick of the 100 ms timer asks of the main window.
struct TimerUpdate {
    bool BlankNodeIndicators = false; // paint Shape1..Shape8 white
    // Paint the fault indicators white, show all switches off, empty Edit9..Edit16.
    bool BlankNodeDisplay = false;
    // The breaker setup wait has given up (WaitCancelled and SetupWaitExpired are set).
    bool EndSetupWait = false;
};

inline constexpr int RX_CHUNK_SIZE = 10000;
inline constexpr std::size_t STATUS_FRAME_SIZE = STATUS_RECORD_SIZE + FRAME_OVERHEAD;    // 210
inline constexpr std::size_t SETUP_REPLY_FRAME_SIZE = SETUP_REPLY_SIZE + FRAME_OVERHEAD; // 31
inline constexpr std::uint8_t TIMEOUT_TICKS = 10;
// A breaker setup request without a reply is given up after 2 s of the 100 ms timer.
inline constexpr std::uint8_t SETUP_WAIT_TICKS = 20;

class LinkState {
public:
    // The module-level state, under the names the rest of the program knows it by.
    orvik::StatusRecord StatusRecord{};
    orvik::BreakerSetupRecord BreakerSetupRecord{};
    std::uint8_t CurPowerOnMask = 0;
    std::uint8_t CurWigwagMode = 0;
    std::uint8_t CurWigwagInterval = 0;
    std::uint8_t CurFlasherMode = 0;
    std::uint8_t CurDualLed = 0;
    bool ProfileProgrammable = false;
    std::uint8_t NodeIndicatorTimeout = 0;
    std::uint8_t DisplayTimeout = 0;
    bool SetupReceived = false;
    bool WaitCancelled = false;
    // The breaker setup wait: ticks left before it gives up (0: none runs), whether the last
    // wait gave up for want of a reply, and the node it asked (1..8).
    std::uint8_t SetupWaitTimeout = 0;
    bool SetupWaitExpired = false;
    int SetupWaitNode = 0;
    std::uint8_t ComPortIndex = 0;
    std::array<std::uint8_t, 256> CmdPayload{};
    std::array<std::uint8_t, 256> TxFrame{};
    std::array<std::uint8_t, RX_CHUNK_SIZE> RxChunk{};
    orvik::FrameReceiver FrameReceiver{};
    // Bytes fed to the receiver and frames that passed their checks, since the start.
    std::uint64_t BytesReceived = 0;
    std::uint64_t FramesAccepted = 0;

    // Wiring. The port may be null (no port open): frames are then lost, as a failed write
    // loses them. The selector gives the node number the user chose; the display sink gets
    // each display update of a status frame.
    void SetPort(LinkPort* port) noexcept { port_ = port; }
    void SetNodeSelector(std::function<int()> selector) { selector_ = std::move(selector); }
    void SetDisplaySink(std::function<void(const DisplayUpdate&)> sink) { sink_ = std::move(sink); }
    // Told of every command frame SendCommand writes: its node byte and command code.
    void SetSendObserver(std::function<void(std::uint8_t node, std::uint8_t command)> observer) {
        sendObserver_ = std::move(observer);
    }
    // Whether the last status frame reported node 1..8 present.
    bool NodeOnBus(int node) const;
    // Called after each breaker setup reply stored in BreakerSetupRecord.
    void SetSetupSink(std::function<void()> sink) { setupSink_ = std::move(sink); }
    // The frame log that records every frame received and sent, or null (no log). It only
    // watches: what is accepted and shown stays the same. The caller keeps it.
    void SetFrameLog(FrameLog* log) noexcept { log_ = log; }
    FrameLog* Log() const noexcept { return log_; }
    // Told of each status frame, setup reply and command, or null. The caller keeps it.
    void SetWatcher(LinkWatcher* watcher) noexcept { watcher_ = watcher; }

    // The selected node number, always 1..8 whatever the selector holds.
    int SelectedNode() const;
    std::uint8_t NodeIndex() const { return static_cast<std::uint8_t>(SelectedNode() - 1); }

    // Builds the frame in TxFrame and writes payloadLength + 7 bytes of it. payloadLength is
    // at most 249; anything longer is refused and nothing is sent.
    void SendCommand(std::uint8_t node, std::uint8_t command, const std::uint8_t* payload,
                     std::uint8_t payloadLength);
    // Sends CmdPayload[0..payloadLength) to the selected node.
    void SendToSelected(std::uint8_t command, std::uint8_t payloadLength);

    // Handler of the port's received-characters event: reads at most 10000 of the waiting
    // bytes into RxChunk, piece by piece as they arrived, and feeds them to the receiver.
    // Allocates nothing.
    void Comm1RxChar(int count);
    // Feeds received bytes to the receiver, acting on every frame that passes its checks. A
    // frame's time is `arrivedNs` (SteadyNs) of the bytes that end it.
    void FeedBytes(const std::uint8_t* bytes, std::size_t count,
                   std::int64_t arrivedNs = SteadyNs());

    // Keeps the reply in BreakerSetupRecord, sets SetupReceived.
    void StoreBreakerSetup(const SetupReply& reply);
    // Computes the display of StatusRecord for the selected node, updates the cached values
    // and DisplayTimeout, and hands the result to the display sink.
    const DisplayUpdate& UpdateDisplay();
    const DisplayUpdate& LastDisplay() const noexcept { return display_; }
    // One tick of the 100 ms timer.
    TimerUpdate Timer1Timer() noexcept;

    // What the link knows now, as the frames that told it (LinkSnapshot.cpp): the last status
    // frame and each node's last breaker setup reply, so that a recording that begins later
    // rebuilds the nodes' state and trip settings.
    std::vector<std::vector<std::uint8_t>> SnapshotFrames() const;

    // Main-window commands. Each sends one frame to the selected node.
    // A breaker switch click: switchState is what the switch shows (0 none, 1 off, 2 on); on
    // asks for off, anything else for on. Returns false (nothing sent) for an index beyond 7.
    bool SwitchArray1Switch(int index, int switchState);
    // Steps the joining option. Returns false without sending when the node does not run the
    // programmable profile; the caller then shows PROGRAMMABLE_ONLY_MESSAGE.
    bool Button1Click();
    void Button3Click(); // wigwag enable / disable
    void Button5Click(); // steps the flasher mode
    void Button6Click(); // steps the wigwag mode
    void Button7Click(); // dual LED on / off
    void SendFactoryDefaults();
    // Clears SetupReceived and asks the selected node for its breaker setup; the wait for the
    // reply gives up after SETUP_WAIT_TICKS timer ticks (Timer1Timer ends it as a cancel does).
    void RequestBreakerSetup();

    // Dialog commands. Item indexes are those of the dialogs' lists; each returns false and
    // sends nothing for a breaker beyond 0..7 or an item that is not in the list.
    bool SendTripCurrent(int breaker, int itemIndex); // TripCurrentTable
    bool SendTripTime(int breaker, int itemIndex);    // TripTimeTable
    // Sets CurWigwagInterval from WigwagIntervalTable and sends it.
    bool ChooseWigwagInterval(int itemIndex);
    // Sets or clears the breaker's bit in CurPowerOnMask and sends the mask.
    bool SetPowerOnDefault(int breaker, bool on);

private:
    // Acts on a frame that passed its checks; says what became of it.
    FrameOutcome AcceptFrame();
    // The frame log's side (LinkTraffic.cpp).
    void FeedBytesLogged(const std::uint8_t* bytes, std::size_t count, std::int64_t arrivedNs);
    void LogSent(std::size_t length, int written);
    // Tells the port how many bytes the frame in progress still needs.
    void ExpectNextBytes();

    LinkPort* port_ = nullptr;
    std::function<int()> selector_;
    std::function<void(const DisplayUpdate&)> sink_;
    std::function<void(std::uint8_t, std::uint8_t)> sendObserver_;
    std::function<void()> setupSink_;
    DisplayUpdate display_{};
    FrameLog* log_ = nullptr;
    LinkWatcher* watcher_ = nullptr;
    RunClock clock_;
    std::int64_t arrivedNs_ = 0; // of the bytes being fed
    LineRecorder inbound_{Direction::Inbound};
    bool statusKnown_ = false;
    // Setup requests sent and not yet answered, and the status frames that may still come before
    // the next reply.
    int setupRepliesDue_ = 0;
    int statusBeforeReply_ = 0;
    std::array<std::optional<SetupReply>, NODE_COUNT> lastReplies_{};
};

} // namespace orvik
