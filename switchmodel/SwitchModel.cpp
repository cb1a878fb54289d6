#include "switchmodel/SwitchModel.h"

#include <algorithm>

namespace orvik {

SwitchModel::SwitchModel() {
    switches_.Add("Switch 1,toggle,1");
    switches_.Add("Switch 2,toggle,2");
    numberOfSwitches_ = static_cast<std::uint16_t>(switches_.Count());
    records_.assign(numberOfSwitches_, TSwitchRecord{});
    ResetStates();
    ParseSwitchInfo();
    UpdateSwitchSize();
    // Attached last, so the two additions above cause no rebuild.
    switches_.SetOnChange([this] { SwitchesChanged(); });
}

void SwitchModel::RequestRepaint() {
    if (repaint_)
        repaint_();
}

template <typename T> void SwitchModel::Store(T& field, T value) {
    if (field == value)
        return;
    field = value;
    RequestRepaint();
}

void SwitchModel::SetSwitchesPerLine(std::uint16_t v) {
    Store(switchesPerLine_, v);
}
void SwitchModel::SetHGap(std::uint16_t v) {
    Store(hGap_, v);
}
void SwitchModel::SetVGap(std::uint16_t v) {
    Store(vGap_, v);
}
void SwitchModel::SetIDSize(std::uint16_t v) {
    Store(idSize_, v);
}
void SwitchModel::SetIDMove(std::uint16_t v) {
    Store(idMove_, v);
}
void SwitchModel::SetRowFirst(bool v) {
    Store(rowFirst_, v);
}
void SwitchModel::SetDesignationOrientation(TOrientation v) {
    Store(orientation_, v);
}

void SwitchModel::SetSmallSwitches(bool v) {
    if (smallSwitches_ == v)
        return;
    smallSwitches_ = v;
    UpdateSwitchSize();
    RequestRepaint();
}

void SwitchModel::UpdateSwitchSize() noexcept {
    switchWidth_ = smallSwitches_ ? SMALL_SWITCH_WIDTH : SWITCH_WIDTH;
    switchHeight_ = smallSwitches_ ? SMALL_SWITCH_HEIGHT : SWITCH_HEIGHT;
}

void SwitchModel::ResetStates() {
    for (TSwitchRecord& r : records_) {
        r.State = STATE_UNDEFINED;
        r.Id = NO_ID;
    }
    RequestRepaint();
}

void SwitchModel::ParseSwitchInfo() {
    parsed_ = false;
    const std::size_t bad = ParseSwitchEntries(switches_.Strings(), records_.size(), records_);
    if (bad == records_.size()) {
        parsed_ = true;
        return;
    }
    // Only the first bad entry is reported. The report may run a nested event loop in which
    // the list changes, so nothing here is touched after it.
    if (report_)
        report_(INVALID_SWITCH_INFO + switches_[bad]);
}

void SwitchModel::Rebuild() {
    numberOfSwitches_ = static_cast<std::uint16_t>(std::min(switches_.Count(), MAX_SWITCHES));
    records_.assign(numberOfSwitches_, TSwitchRecord{});
    ResetStates();
    ParseSwitchInfo();
    UpdateSwitchSize();
    RequestRepaint();
}

void SwitchModel::SwitchesChanged() {
    if (busy_)
        return;
    Rebuild();
}

void SwitchModel::AssignSwitches(std::vector<std::string> strings) {
    if (busy_)
        return;
    busy_ = true;
    records_.clear();
    switches_.Assign(std::move(strings));
    Rebuild();
    busy_ = false;
}

TSwitchRecord* SwitchModel::GetStatusDataPointer() noexcept {
    return records_.empty() ? nullptr : records_.data();
}

bool SwitchModel::Switch(std::uint16_t index, bool on) {
    if (index >= numberOfSwitches_)
        return false;
    const std::uint8_t state = on ? STATE_ON : STATE_OFF;
    if (records_[index].State == state)
        return false;
    records_[index].State = state;
    return true;
}

std::uint8_t SwitchModel::GetSwitch(std::uint16_t index) const noexcept {
    return index < numberOfSwitches_ ? records_[index].State : std::uint8_t{STATE_UNDEFINED};
}

GridPos SwitchModel::GridPosition(std::uint32_t k) const noexcept {
    // A line of 0 switches would wrap before every switch; it counts as 1.
    const std::uint32_t p = std::max<std::uint32_t>(switchesPerLine_, 1);
    if (rowFirst_)
        return {k % p, k / p};
    return {k / p, k % p};
}

Point64 SwitchModel::CellOrigin(std::uint32_t k) const noexcept {
    const GridPos g = GridPosition(k);
    return {std::int64_t{hGap_} + std::int64_t{g.Col} * (switchWidth_ + hGap_),
            std::int64_t{g.Row} * (switchHeight_ + vGap_)};
}

Point64 SwitchModel::DesignationAnchor(std::uint32_t k) const noexcept {
    const Point64 c = CellOrigin(k);
    if (orientation_ == StVertical)
        return {c.X + idMove_, c.Y};
    return {c.X, c.Y + switchHeight_ + idMove_};
}

std::optional<std::uint16_t> SwitchModel::HitTest(std::int64_t x, std::int64_t y) const noexcept {
    for (std::uint32_t k = 0; k < numberOfSwitches_; ++k) {
        const Point64 c = CellOrigin(k);
        if (c.X < x && x < c.X + switchWidth_ && c.Y < y && y < c.Y + switchHeight_)
            return static_cast<std::uint16_t>(k);
    }
    return std::nullopt;
}

std::optional<std::uint16_t> SwitchModel::Press(bool leftButton, bool ctrlHeld, std::int64_t x,
                                                std::int64_t y) const noexcept {
    if (!leftButton || (ctrlClick_ && !ctrlHeld))
        return std::nullopt;
    return HitTest(x, y);
}

std::uint16_t SwitchModel::Step(std::uint16_t k, int dx, int dy) const noexcept {
    if (k >= numberOfSwitches_)
        return k;
    const GridPos from = GridPosition(k);
    const std::int64_t col = std::int64_t{from.Col} + dx;
    const std::int64_t row = std::int64_t{from.Row} + dy;
    if (col < 0 || row < 0)
        return k;
    const GridPos to{static_cast<std::uint32_t>(col), static_cast<std::uint32_t>(row)};
    for (std::uint32_t j = 0; j < numberOfSwitches_; ++j)
        if (GridPosition(j) == to)
            return static_cast<std::uint16_t>(j);
    return k;
}

} // namespace orvik
