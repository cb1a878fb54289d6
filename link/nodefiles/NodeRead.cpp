#include "link/nodefiles/NodeRead.h"

namespace orvik {

void SendSetupRequest(LinkState& link, int node) {
    const std::uint8_t payload[1] = {0};
    link.SendCommand(static_cast<std::uint8_t>(node - 1), CMD_REQUEST_BREAKER_SETUP, payload, 1);
}

void NodeRead::Start(LinkTime now) {
    state_ = State::Reading;
    started_ = now;
    haveStatus_ = false;
    replied_ = false;
    SendSetupRequest(link_, node_);
}

void NodeRead::OnStatus(LinkTime now) {
    if (state_ != State::Reading || haveStatus_)
        return;
    const auto index = static_cast<std::size_t>(node_ - 1);
    haveStatus_ = true;
    if (!link_.StatusRecord.IsNodePresent(index)) {
        state_ = State::NotOnBus;
        return;
    }
    settings_ = SettingsFromStatus(link_.StatusRecord, index);
    Finish(now);
}

void NodeRead::OnSetupStored(LinkTime now) {
    if (state_ != State::Reading || replied_ || link_.SelectedNode() != node_)
        return;
    replied_ = true;
    setup_ = link_.BreakerSetupRecord;
    Finish(now);
}

void NodeRead::Tick(LinkTime now) {
    if (state_ != State::Reading)
        return;
    if (!haveStatus_ && now - started_ >= REPLY_WAIT)
        state_ = State::NoStatus;
    else
        Finish(now);
}

void NodeRead::Finish(LinkTime now) {
    if (!haveStatus_ || (!replied_ && now - started_ < REPLY_WAIT))
        return;
    if (replied_)
        AddTripSettings(settings_, setup_);
    state_ = State::Read;
}

std::string NodeRead::Problem() const {
    const std::string node = "Orvik node " + std::to_string(node_);
    switch (state_) {
    case State::NoStatus:
        return "no status frame from the bus within 2 s";
    case State::NotOnBus:
        return node + " is not on the bus";
    case State::Read:
        return replied_ ? std::string()
                        : node + " did not answer the breaker setup request within 2 s";
    case State::Reading:
        break;
    }
    return {};
}

} // namespace orvik
