// The switch list behind the switch-array widget, free of Qt: descriptions, records and
// states, the properties that shape the grid, the grid walk and the hit test.
#pragma once

#include "switchmodel/SwitchParse.h"
#include "switchmodel/SwitchStrings.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orvik {

enum TOrientation : std::uint8_t {
    StHorizontal = 0,
    StVertical = 1,
};

inline constexpr int SWITCH_WIDTH = 32;
inline constexpr int SWITCH_HEIGHT = 64;
inline constexpr int SMALL_SWITCH_WIDTH = 16;
inline constexpr int SMALL_SWITCH_HEIGHT = 32;
inline constexpr std::size_t MAX_SWITCHES = 65535;

struct GridPos {
    std::uint32_t Col = 0;
    std::uint32_t Row = 0;
    bool operator==(const GridPos&) const = default;
};

struct Point64 {
    std::int64_t X = 0;
    std::int64_t Y = 0;
    bool operator==(const Point64&) const = default;
};

class SwitchModel {
public:
    using Reporter = std::function<void(const std::string&)>;

    // Two switches "Switch 1,toggle,1" and "Switch 2,toggle,2", parsed, all undefined.
    SwitchModel();
    SwitchModel(const SwitchModel&) = delete;
    SwitchModel& operator=(const SwitchModel&) = delete;

    // Receives the message about a bad description.
    void SetReporter(Reporter report) { report_ = std::move(report); }
    // Called whenever the drawing is out of date (the widget invalidates itself).
    void SetRepaintRequest(std::function<void()> request) { repaint_ = std::move(request); }

    // The description list; every change of it rebuilds the records.
    SwitchStrings& Switches() noexcept { return switches_; }
    const SwitchStrings& Switches() const noexcept { return switches_; }
    // Replaces the whole list with one rebuild; dropped while Busy.
    void AssignSwitches(std::vector<std::string> strings);

    // Properties. Each setter stores only a change and then requests a repaint.
    std::uint16_t SwitchesPerLine() const noexcept { return switchesPerLine_; }
    void SetSwitchesPerLine(std::uint16_t v);
    std::uint16_t HGap() const noexcept { return hGap_; }
    void SetHGap(std::uint16_t v);
    std::uint16_t VGap() const noexcept { return vGap_; }
    void SetVGap(std::uint16_t v);
    std::uint16_t IDSize() const noexcept { return idSize_; } // stored only
    void SetIDSize(std::uint16_t v);
    std::uint16_t IDMove() const noexcept { return idMove_; }
    void SetIDMove(std::uint16_t v);
    bool RowFirst() const noexcept { return rowFirst_; }
    void SetRowFirst(bool v);
    bool SmallSwitches() const noexcept { return smallSwitches_; }
    void SetSmallSwitches(bool v); // also runs UpdateSwitchSize
    TOrientation DesignationOrientation() const noexcept { return orientation_; }
    void SetDesignationOrientation(TOrientation v);
    bool CtrlClick() const noexcept { return ctrlClick_; }
    void SetCtrlClick(bool v) noexcept { ctrlClick_ = v; } // no repaint

    std::uint16_t SwitchWidth() const noexcept { return switchWidth_; }
    std::uint16_t SwitchHeight() const noexcept { return switchHeight_; }
    bool Parsed() const noexcept { return parsed_; }
    bool Busy() const noexcept { return busy_; }
    void SetBusy(bool v) noexcept { busy_ = v; }

    // Public operations.
    TSwitchRecord* GetStatusDataPointer() noexcept; // null with no switches
    std::uint16_t GetNumberOfSwitches() const noexcept { return numberOfSwitches_; }
    bool Switch(std::uint16_t index, bool on);                  // true when the state changed
    std::uint8_t GetSwitch(std::uint16_t index) const noexcept; // 0 when out of range
    const std::vector<TSwitchRecord>& Records() const noexcept { return records_; }

    // Internal operations, public for the widget and the tests.
    void ResetStates();
    void ParseSwitchInfo();
    void UpdateSwitchSize() noexcept;
    void SwitchesChanged();

    // Grid: switch k's column and row, its cell's top-left corner and its text anchor.
    GridPos GridPosition(std::uint32_t k) const noexcept;
    Point64 CellOrigin(std::uint32_t k) const noexcept;
    Point64 DesignationAnchor(std::uint32_t k) const noexcept;
    // The first switch whose cell holds (x, y) strictly inside its left and top edges.
    std::optional<std::uint16_t> HitTest(std::int64_t x, std::int64_t y) const noexcept;
    // A mouse press: the switch to report, if the press counts (left button only, and with
    // CtrlClick only while Ctrl is held).
    std::optional<std::uint16_t> Press(bool leftButton, bool ctrlHeld, std::int64_t x,
                                       std::int64_t y) const noexcept;
    // The keyboard's step from switch k to the one in the next cell across (dx) or down (dy),
    // each -1, 0 or 1; k itself where the grid has no switch there.
    std::uint16_t Step(std::uint16_t k, int dx, int dy) const noexcept;
    // A key that presses the current switch: it counts as a left press does (with CtrlClick
    // only while Ctrl is held).
    bool KeyPressCounts(bool ctrlHeld) const noexcept { return !ctrlClick_ || ctrlHeld; }

private:
    void RequestRepaint();
    void Rebuild();
    template <typename T> void Store(T& field, T value);

    SwitchStrings switches_;
    std::vector<TSwitchRecord> records_;
    Reporter report_;
    std::function<void()> repaint_;
    std::uint16_t switchesPerLine_ = 2;
    std::uint16_t hGap_ = 30;
    std::uint16_t vGap_ = 20;
    std::uint16_t numberOfSwitches_ = 0;
    std::uint16_t idSize_ = 30;
    std::uint16_t idMove_ = 0;
    std::uint16_t switchWidth_ = SWITCH_WIDTH;
    std::uint16_t switchHeight_ = SWITCH_HEIGHT;
    bool rowFirst_ = true;
    bool parsed_ = false;
    bool busy_ = false;
    bool ctrlClick_ = false;
    bool smallSwitches_ = false;
    TOrientation orientation_ = StHorizontal;
};

} // namespace orvik
