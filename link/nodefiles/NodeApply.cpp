#include "link/nodefiles/NodeApply.h"

#include <algorithm>

namespace orvik {

const char* ApplyResultText(ApplyResult result) {
    switch (result) {
    case ApplyResult::Pending:
        return "pending";
    case ApplyResult::Confirmed:
        return "confirmed";
    case ApplyResult::NotConfirmed:
        return "not confirmed";
    case ApplyResult::NotApplicable:
        return "not applicable";
    }
    return "";
}

bool Applicable(const SettingDifference& difference, const NodeSettings& node) {
    return difference.id.kind != SettingKind::Doubling || !node.profile ||
           node.profile->programmable;
}

NodeApply::NodeApply(LinkState& link, int node, const NodeSettings& now, const NodeSettings& file)
    : link_(link), node_(node) {
    for (const SettingDifference& d : CompareSettings(now, file))
        items_.push_back(
            {d, Applicable(d, now) ? ApplyResult::Pending : ApplyResult::NotApplicable});
    flights_.resize(items_.size());
}

bool NodeApply::IsTrip(std::size_t i) const {
    const SettingKind k = items_[i].difference.id.kind;
    return k == SettingKind::TripCurrent || k == SettingKind::TripTime;
}

bool NodeApply::Finished() const {
    return std::none_of(items_.begin(), items_.end(),
                        [](const SettingOutcome& o) { return o.result == ApplyResult::Pending; });
}

void NodeApply::Start(LinkTime now) {
    for (std::size_t i = 0; i < items_.size(); ++i) {
        if (items_[i].result != ApplyResult::Pending)
            continue;
        Send(i, now);
        // The reply to one request after the trip settings shows them all.
        if (IsTrip(i) && (i + 1 == items_.size() || !IsTrip(i + 1)))
            RequestSetup(now);
    }
}

void NodeApply::Send(std::size_t i, LinkTime now) {
    SettingOutcome& item = items_[i];
    Flight& f = flights_[i];
    const SettingId id = item.difference.id;
    const std::uint16_t v = item.difference.file;
    std::uint8_t payload[3] = {static_cast<std::uint8_t>(v), 0, 0};
    std::uint8_t length = 1;
    std::uint8_t command = 0;
    f.enabling = false;
    switch (id.kind) {
    case SettingKind::TripCurrent:
        command = CMD_TRIP_CURRENT;
        payload[0] = id.breaker;
        payload[1] = static_cast<std::uint8_t>(v & 0xFF);
        payload[2] = static_cast<std::uint8_t>(v >> 8);
        length = 3;
        break;
    case SettingKind::TripTime:
        command = CMD_TRIP_TIME;
        payload[0] = id.breaker;
        payload[1] = static_cast<std::uint8_t>(v);
        length = 2;
        break;
    case SettingKind::Doubling:
        command = CMD_DOUBLING;
        break;
    case SettingKind::PowerOnMask:
        command = CMD_POWER_ON_DEFAULTS;
        break;
    case SettingKind::Wigwag: {
        // The status record counts 0 not enabled, 1 off, 2 steady, 3 flashing; the mode
        // command takes 0 off, 1 steady, 2 flashing, and only once the wigwag is enabled.
        const auto shown = StatusValue(link_.StatusRecord, static_cast<std::size_t>(node_ - 1), id);
        const std::uint16_t current = shown.value_or(item.difference.now.value_or(0));
        if (v == 0 || current == 0) {
            command = CMD_WIGWAG_ENABLE;
            payload[0] = v == 0 ? 0 : 1;
            f.enabling = v != 0;
        } else {
            command = CMD_WIGWAG_MODE;
            payload[0] = static_cast<std::uint8_t>(v - 1);
        }
        break;
    }
    case SettingKind::WigwagInterval:
        command = CMD_WIGWAG_INTERVAL;
        break;
    case SettingKind::Flasher:
        command = CMD_FLASHER;
        break;
    case SettingKind::DualLed:
        command = CMD_DUAL_LED;
        break;
    }
    link_.SendCommand(static_cast<std::uint8_t>(node_ - 1), command, payload, length);
    ++item.sends;
    f.inFlight = true;
    f.sentAt = now;
    f.frames = 0;
}

void NodeApply::Retry(std::size_t i, LinkTime now) {
    if (items_[i].sends < MAX_TRIES) {
        Send(i, now);
    } else {
        flights_[i].inFlight = false;
        items_[i].result = ApplyResult::NotConfirmed;
    }
}

void NodeApply::RequestSetup(LinkTime now) {
    SendSetupRequest(link_, node_);
    awaitingReply_ = true;
    requestAt_ = now;
}

void NodeApply::OnStatus(LinkTime now) {
    const auto index = static_cast<std::size_t>(node_ - 1);
    const bool present = link_.StatusRecord.IsNodePresent(index);
    for (std::size_t i = 0; i < items_.size(); ++i) {
        Flight& f = flights_[i];
        if (!f.inFlight || IsTrip(i))
            continue;
        const SettingId id = items_[i].difference.id;
        const auto shown = present ? StatusValue(link_.StatusRecord, index, id) : std::nullopt;
        if (shown == items_[i].difference.file) {
            f.inFlight = false;
            items_[i].result = ApplyResult::Confirmed;
        } else if (f.enabling && shown.value_or(0) != 0) {
            Send(i, now); // enabled: now the mode
        } else if (++f.frames >= VERIFY_FRAMES) {
            Retry(i, now);
        }
    }
}

void NodeApply::OnSetupStored(LinkTime now) {
    if (!awaitingReply_ || link_.SelectedNode() != node_)
        return;
    awaitingReply_ = false;
    bool resent = false;
    for (std::size_t i = 0; i < items_.size(); ++i) {
        if (!flights_[i].inFlight || !IsTrip(i))
            continue;
        const SettingId id = items_[i].difference.id;
        const std::uint16_t shown = id.kind == SettingKind::TripCurrent
                                        ? link_.BreakerSetupRecord.TripCurrent[id.breaker]
                                        : link_.BreakerSetupRecord.TripTime[id.breaker];
        if (shown == items_[i].difference.file) {
            flights_[i].inFlight = false;
            items_[i].result = ApplyResult::Confirmed;
        } else {
            Retry(i, now);
            resent = resent || flights_[i].inFlight;
        }
    }
    if (resent)
        RequestSetup(now);
}

void NodeApply::Tick(LinkTime now) {
    bool resent = false;
    const bool replyLate = awaitingReply_ && now - requestAt_ >= REPLY_WAIT;
    if (replyLate)
        awaitingReply_ = false;
    for (std::size_t i = 0; i < items_.size(); ++i) {
        Flight& f = flights_[i];
        if (!f.inFlight)
            continue;
        if (IsTrip(i) ? replyLate : now - f.sentAt >= REPLY_WAIT) {
            Retry(i, now);
            resent = resent || (IsTrip(i) && f.inFlight);
        }
    }
    if (resent)
        RequestSetup(now);
}

} // namespace orvik
