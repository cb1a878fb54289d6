// The new value of each main-window command, worked out from the last status frame or the
// cached values, and sent to the selected node.
#include "link/protocol/ValueTables.h"
#include "link/state/LinkState.h"

namespace orvik {

bool LinkState::SwitchArray1Switch(int index, int switchState) {
    if (index < 0 || index >= static_cast<int>(BREAKER_COUNT))
        return false;
    CmdPayload[0] = static_cast<std::uint8_t>(index);
    CmdPayload[1] = (switchState == 2) ? 0 : 1;
    SendToSelected(CMD_SWITCH_BREAKER, 2);
    return true;
}

bool LinkState::Button1Click() {
    if (!ProfileProgrammable)
        return false;
    // From the record, not a cache: clicks before the next status frame send the same value.
    auto v = static_cast<std::uint8_t>(StatusRecord.DoublingOption(NodeIndex()) + 1);
    if (v > 4)
        v = 0;
    CmdPayload[0] = v;
    SendToSelected(CMD_DOUBLING, 1);
    return true;
}

void LinkState::Button3Click() {
    CmdPayload[0] = (CurWigwagMode == 0) ? 1 : 0;
    SendToSelected(CMD_WIGWAG_ENABLE, 1);
}

void LinkState::Button5Click() {
    CurFlasherMode = static_cast<std::uint8_t>(CurFlasherMode + 1);
    if (CurFlasherMode > 2)
        CurFlasherMode = 0;
    CmdPayload[0] = CurFlasherMode;
    SendToSelected(CMD_FLASHER, 1);
}

void LinkState::Button6Click() {
    CurWigwagMode = static_cast<std::uint8_t>(CurWigwagMode + 1);
    if (CurWigwagMode > 3)
        CurWigwagMode = 1;
    CmdPayload[0] = static_cast<std::uint8_t>(CurWigwagMode - 1);
    SendToSelected(CMD_WIGWAG_MODE, 1);
}

void LinkState::Button7Click() {
    CmdPayload[0] = (CurDualLed == 0) ? 1 : 0;
    SendToSelected(CMD_DUAL_LED, 1);
}

void LinkState::SendFactoryDefaults() {
    CmdPayload[0] = 0;
    SendToSelected(CMD_FACTORY_DEFAULTS, 1);
}

void LinkState::RequestBreakerSetup() {
    SetupReceived = false;
    SetupWaitExpired = false;
    SetupWaitTimeout = SETUP_WAIT_TICKS;
    SetupWaitNode = SelectedNode();
    CmdPayload[0] = 0;
    SendToSelected(CMD_REQUEST_BREAKER_SETUP, 1);
}

namespace {

bool InRange(int i, std::size_t size) {
    return i >= 0 && static_cast<std::size_t>(i) < size;
}

} // namespace

bool LinkState::SendTripCurrent(int breaker, int itemIndex) {
    if (!InRange(breaker, BREAKER_COUNT) || !InRange(itemIndex, TripCurrentTable.size()))
        return false;
    const std::uint16_t c = TripCurrentTable[static_cast<std::size_t>(itemIndex)];
    CmdPayload[0] = static_cast<std::uint8_t>(breaker);
    CmdPayload[1] = static_cast<std::uint8_t>(c & 0xFF);
    CmdPayload[2] = static_cast<std::uint8_t>(c >> 8);
    SendToSelected(CMD_TRIP_CURRENT, 3);
    return true;
}

bool LinkState::SendTripTime(int breaker, int itemIndex) {
    if (!InRange(breaker, BREAKER_COUNT) || !InRange(itemIndex, TripTimeTable.size()))
        return false;
    CmdPayload[0] = static_cast<std::uint8_t>(breaker);
    CmdPayload[1] = TripTimeTable[static_cast<std::size_t>(itemIndex)];
    SendToSelected(CMD_TRIP_TIME, 2);
    return true;
}

bool LinkState::ChooseWigwagInterval(int itemIndex) {
    if (!InRange(itemIndex, WigwagIntervalTable.size()))
        return false;
    CurWigwagInterval = WigwagIntervalTable[static_cast<std::size_t>(itemIndex)];
    CmdPayload[0] = CurWigwagInterval;
    SendToSelected(CMD_WIGWAG_INTERVAL, 1);
    return true;
}

bool LinkState::SetPowerOnDefault(int breaker, bool on) {
    if (!InRange(breaker, BREAKER_COUNT))
        return false;
    const std::uint8_t bit = BitMaskTable[static_cast<std::size_t>(breaker)];
    CurPowerOnMask =
        static_cast<std::uint8_t>(on ? (CurPowerOnMask | bit) : (CurPowerOnMask & ~bit));
    CmdPayload[0] = CurPowerOnMask;
    SendToSelected(CMD_POWER_ON_DEFAULTS, 1);
    return true;
}

} // namespace orvik
