// What a status frame shows in the main window, and what the 100 ms timer blanks.
#include "link/protocol/StatusTexts.h"
#include "link/state/LinkState.h"

namespace orvik {

const DisplayUpdate& LinkState::UpdateDisplay() {
    DisplayUpdate& d = display_;
    for (std::size_t n = 0; n < NODE_COUNT; ++n)
        d.NodeIndicator[n] = StatusRecord.IsNodePresent(n) ? COLOUR_GREEN : COLOUR_RED;

    const std::size_t s = NodeIndex();
    d.NodePresent = StatusRecord.IsNodePresent(s);
    if (d.NodePresent) {
        DisplayTimeout = TIMEOUT_TICKS;
        const std::uint8_t on = StatusRecord.BreakerOn(s);
        const std::uint8_t fault = StatusRecord.BreakerFault(s);
        for (std::size_t b = 0; b < BREAKER_COUNT; ++b) {
            d.SwitchOn[b] = (on & BitMaskTable[b]) != 0;
            d.FaultIndicator[b] = (fault & BitMaskTable[b]) ? COLOUR_RED : COLOUR_GREEN;
            FormatTenths(StatusRecord.Current(s, b), d.Current[b]);
        }
        FormatTenths(StatusRecord.InputVoltage(s), d.Edit9);
        d.Edit10.Assign(JoiningOptionText(StatusRecord.DoublingOption(s)));

        CurPowerOnMask = StatusRecord.PowerOnMask(s);
        PowerOnText(CurPowerOnMask, d.Edit11);

        const std::uint8_t f = StatusRecord.OptionFlags(s);
        ProfileProgrammable = (f & OPT_PROGRAMMABLE) != 0;
        ProfileText(f, StatusRecord.FixedProfile(s), d.Edit12);

        CurWigwagMode = f & OPT_WIGWAG;
        d.Edit13.Assign(WigwagModeText(CurWigwagMode));

        CurFlasherMode = static_cast<std::uint8_t>((f & OPT_FLASHER) >> 3);
        const char* flasher = FlasherModeText(CurFlasherMode);
        d.Edit14Changed = flasher != nullptr;
        d.Edit14.Assign(flasher ? flasher : "");

        CurDualLed = (f & OPT_DUAL_LED) ? 1 : 0;
        d.Edit16.Assign(DualLedText(CurDualLed != 0));

        CurWigwagInterval = StatusRecord.WigwagInterval(s);
        FormatTenths(CurWigwagInterval, d.Edit15);
        d.Edit15.Append(" seconds");
    }
    if (sink_)
        sink_(d);
    return d;
}

TimerUpdate LinkState::Timer1Timer() noexcept {
    TimerUpdate t;
    if (NodeIndicatorTimeout > 0 && --NodeIndicatorTimeout == 0)
        t.BlankNodeIndicators = true;
    if (DisplayTimeout > 0 && --DisplayTimeout == 0)
        t.BlankNodeDisplay = true;
    if (SetupWaitTimeout > 0 && --SetupWaitTimeout == 0 && !SetupReceived && !WaitCancelled) {
        WaitCancelled = true;
        SetupWaitExpired = true;
        t.EndSetupWait = true;
    }
    return t;
}

} // namespace orvik
