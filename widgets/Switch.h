// TSwitchArray: a grid of switch pictures with designation texts. It shows one state per
// switch (undefined, off, on), which only its owner sets, and reports a left press on a
// switch through the signal OnSwitch; a press never changes a state by itself.
//
// Use:
//   auto* a = new TSwitchArray(parent);          // "Switch 1,toggle,1", "Switch 2,toggle,2"
//   a->SetSwitches({"Breaker 1,toggle,1", ...}); // "designation,kind,number" per switch;
//                                                // kind: toggle, rocker, redpush, redgreenpush
//   a->Switch(0, true);                          // state of switch 0 := on (2); false: off (1)
//   a->GetSwitch(0);                             // 0 undefined, 1 off, 2 on
//   connect(a, &TSwitchArray::OnSwitch, ...);    // void(quint16 position), 0-based
//
// Every change of the description list rebuilds the switches: all states become undefined.
// A bad description is reported in a message box (see SetReporter); nothing is drawn until a
// good list is set, while presses are still reported.
//
// The keyboard reaches it with Tab (not with a click, so a click leaves the look as it was):
// the arrow keys move between the switches, Space or Enter reports the current one as a left
// press would. A screen reader finds one check box per switch (SwitchAccessible.h), which asks
// the widget through SwitchAccess.
#pragma once

#include "switchmodel/SwitchModel.h"
#include "widgets/SwitchAccess.h"

#include <QPen>
#include <QPixmap>
#include <QStringList>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class TSwitchArray : public QWidget, public SwitchAccess {
    Q_OBJECT
    Q_PROPERTY(TOrientation DesignationOrientation READ DesignationOrientation WRITE
                   SetDesignationOrientation)
    Q_PROPERTY(QPen Pen READ Pen WRITE SetPen)
    Q_PROPERTY(quint16 HGap READ HGap WRITE SetHGap)
    Q_PROPERTY(quint16 VGap READ VGap WRITE SetVGap)
    Q_PROPERTY(quint16 IDSize READ IDSize WRITE SetIDSize)
    Q_PROPERTY(quint16 IDMove READ IDMove WRITE SetIDMove)
    Q_PROPERTY(QStringList Switches READ Switches WRITE SetSwitches)
    Q_PROPERTY(quint16 SwitchesPerLine READ SwitchesPerLine WRITE SetSwitchesPerLine)
    Q_PROPERTY(bool RowFirst READ RowFirst WRITE SetRowFirst)
    Q_PROPERTY(bool CtrlClick READ CtrlClick WRITE SetCtrlClick)
    Q_PROPERTY(bool SmallSwitches READ SmallSwitches WRITE SetSmallSwitches)

public:
    enum TOrientation : quint8 {
        StHorizontal = orvik::StHorizontal,
        StVertical = orvik::StVertical,
    };
    Q_ENUM(TOrientation)

    explicit TSwitchArray(QWidget* parent = nullptr);
    ~TSwitchArray() override;

    // Public operations.
    orvik::TSwitchRecord* GetStatusDataPointer() { return model_.GetStatusDataPointer(); }
    quint16 GetNumberOfSwitches() const { return model_.GetNumberOfSwitches(); }
    // Whether the switches show what is known (true, the default), or merely stand there while
    // nothing is known: a screen reader then hears "no data" rather than "off".
    void SetShowsData(bool shows);
    // Sets switch index (0-based) on or off; repaints at once only when the state changes.
    // An index out of range does nothing.
    void Switch(quint16 index, bool on);
    // State of switch index: 0 undefined, 1 off, 2 on; 0 when out of range.
    quint8 GetSwitch(quint16 index) const { return model_.GetSwitch(index); }

    // Properties. Setters store only a change and then repaint (CtrlClick: no repaint).
    TOrientation DesignationOrientation() const;
    void SetDesignationOrientation(TOrientation v);
    QPen Pen() const { return pen_; }
    void SetPen(const QPen& pen); // stored only; nothing draws with it
    quint16 HGap() const { return model_.HGap(); }
    void SetHGap(quint16 v) { model_.SetHGap(v); }
    quint16 VGap() const { return model_.VGap(); }
    void SetVGap(quint16 v) { model_.SetVGap(v); }
    quint16 IDSize() const { return model_.IDSize(); } // stored only
    void SetIDSize(quint16 v) { model_.SetIDSize(v); }
    quint16 IDMove() const { return model_.IDMove(); }
    void SetIDMove(quint16 v) { model_.SetIDMove(v); }
    QStringList Switches() const;
    // Replaces the description list (one rebuild); dropped while a replacement runs.
    void SetSwitches(const QStringList& switches);
    quint16 SwitchesPerLine() const { return model_.SwitchesPerLine(); }
    void SetSwitchesPerLine(quint16 v) { model_.SetSwitchesPerLine(v); } // 0 counts as 1
    bool RowFirst() const { return model_.RowFirst(); }
    void SetRowFirst(bool v) { model_.SetRowFirst(v); }
    bool CtrlClick() const { return model_.CtrlClick(); }
    void SetCtrlClick(bool v) { model_.SetCtrlClick(v); }
    bool SmallSwitches() const { return model_.SmallSwitches(); }
    void SetSmallSwitches(bool v) { model_.SetSmallSwitches(v); }

    // The list model, for editing the descriptions in place (each edit rebuilds) and for
    // reading the layout.
    orvik::SwitchModel& Model() { return model_; }
    const orvik::SwitchModel& Model() const { return model_; }

    // Replaces the message box that reports a bad description.
    void SetReporter(std::function<void(const QString&)> report);

    // The switch the keyboard is on, and what a left press on switch position does: reports
    // it (the keyboard and a screen reader's press action come here).
    quint16 CurrentSwitch() const { return current_; }
    void SetCurrentSwitch(quint16 position);
    void PressSwitch(quint16 position);
    // The cell of switch k in the widget.
    QRect SwitchRect(quint16 k) const;

signals:
    // A left press on a switch; position is its 0-based place in the description list.
    void OnSwitch(quint16 position);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // What a screen reader asks of it.
    int SwitchCount() const override { return GetNumberOfSwitches(); }
    QString SwitchName(int k) const override;
    quint8 SwitchState(int k) const override { return GetSwitch(static_cast<quint16>(k)); }
    bool ShowsData() const override { return showsData_; }
    QRect SwitchCell(int k) const override { return SwitchRect(static_cast<quint16>(k)); }
    int KeyboardSwitch() const override { return current_; }
    std::optional<int> SwitchAt(QPoint at) const override;
    void PressFor(int k) override { PressSwitch(static_cast<quint16>(k)); }

    using PictureSet = std::array<std::array<QPixmap, 3>, 4>;
    void ShowMessage(const QString& text);
    const QPixmap* Picture(const orvik::TSwitchRecord& r, qreal dpr) const;
    void PaintFocusMark(QPainter& painter) const;
    void AnnounceFocus() const;
    // The designation of record k as drawn, with its width in `metrics`' font: laid out once
    // for each text and font, not at every paint.
    const std::pair<QString, int>& Designation(std::size_t k, const QFontMetrics& metrics) const;

    orvik::SwitchModel model_;
    QPen pen_;
    // Pictures by kind and by picture: off, on, undefined; drawn at twice the size for scaled
    // screens, and made at the screen's own scale from those when it is not 2.
    PictureSet switchBitmaps_;
    PictureSet smallSwitchBitmaps_;
    PictureSet switchBitmaps2x_;
    PictureSet smallSwitchBitmaps2x_;
    mutable PictureSet scaled_;
    mutable PictureSet smallScaled_;
    mutable qreal scaledFor_ = 0;
    mutable std::vector<std::pair<std::string, std::pair<QString, int>>> designations_;
    mutable QFont designationFont_;
    std::function<void(const QString&)> report_;
    quint16 current_ = 0;
    bool showsData_ = true;
    // The mark of the current switch shows once the keyboard has come here, as on Windows:
    // focus that came with the window or a click alone shows nothing.
    bool keyboardUsed_ = false;
};
