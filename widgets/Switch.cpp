#include "widgets/Switch.h"

#include "resources/SwitchPictures.h"
#include "widgets/PlainMessage.h"
#include "widgets/SwitchAccessible.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>

#include <cmath>
#include <limits>

using namespace orvik;

namespace {

constexpr const char* KIND_DIGITS[] = {"1", "2", "3", "4"};
constexpr const char* PICTURE_SUFFIXES[] = {"OFF", "ON", "UDEF"};

QPixmap LoadPicture(const QString& name, qreal dpr = 1) {
    QPixmap p;
    p.load(QStringLiteral(":/") + name, "BMP");
    p.setDevicePixelRatio(dpr);
    return p;
}

// Coordinates of cells far outside any screen are not drawn.
bool FitsInt(std::int64_t v) {
    return v > std::numeric_limits<int>::min() / 2 && v < std::numeric_limits<int>::max() / 2;
}

} // namespace

TSwitchArray::TSwitchArray(QWidget* parent) : QWidget(parent) {
    resize(50, 80);
    setFocusPolicy(Qt::TabFocus);
    InstallSwitchAccessibility();
    InitSwitchPictures();
    for (int k = 0; k < 4; ++k) {
        for (int p = 0; p < 3; ++p) {
            const QString tail = QString::fromLatin1(KIND_DIGITS[k]) + PICTURE_SUFFIXES[p];
            switchBitmaps_[k][p] = LoadPicture(QStringLiteral("SWITCH") + tail);
            smallSwitchBitmaps_[k][p] = LoadPicture(QStringLiteral("SMSW") + tail);
            switchBitmaps2x_[k][p] = LoadPicture(QStringLiteral("SWITCH") + tail + "@2x", 2);
            smallSwitchBitmaps2x_[k][p] = LoadPicture(QStringLiteral("SMSW") + tail + "@2x", 2);
        }
    }
    report_ = [this](const QString& text) { ShowMessage(text); };
    model_.SetReporter([this](const std::string& text) {
        if (report_)
            report_(QString::fromStdString(text));
    });
    model_.SetRepaintRequest([this] { update(); });
}

TSwitchArray::~TSwitchArray() {
    model_.SetBusy(true);
    model_.SetRepaintRequest(nullptr);
    model_.SetReporter(nullptr);
}

void TSwitchArray::ShowMessage(const QString& text) {
    ShowPlainMessage(window(), text);
}

void TSwitchArray::SetReporter(std::function<void(const QString&)> report) {
    report_ = std::move(report);
}

void TSwitchArray::Switch(quint16 index, bool on) {
    // Painted at once, as before, but only the switch's own cell: nothing else changed.
    if (model_.Switch(index, on)) {
        repaint(SwitchRect(index));
        AnnounceSwitchState(this, index);
    }
}

void TSwitchArray::SetShowsData(bool shows) {
    if (shows == showsData_)
        return;
    showsData_ = shows;
    for (int k = 0; k < GetNumberOfSwitches(); ++k)
        AnnounceSwitchState(this, k);
}

void TSwitchArray::SetCurrentSwitch(quint16 position) {
    if (position >= GetNumberOfSwitches() || position == current_)
        return;
    current_ = position;
    // Without the focus nothing shows it: a press repaints nothing.
    if (hasFocus()) {
        update();
        AnnounceSwitchFocus(this, current_);
    }
}

QString TSwitchArray::SwitchName(int k) const {
    return QString::fromStdString(model_.Records()[static_cast<std::size_t>(k)].Designation);
}

std::optional<int> TSwitchArray::SwitchAt(QPoint at) const {
    if (const auto hit = model_.HitTest(at.x(), at.y()))
        return *hit;
    return std::nullopt;
}

void TSwitchArray::PressSwitch(quint16 position) {
    if (position < GetNumberOfSwitches())
        emit OnSwitch(position);
}

QRect TSwitchArray::SwitchRect(quint16 k) const {
    const Point64 c = model_.CellOrigin(k);
    if (k >= GetNumberOfSwitches() || !FitsInt(c.X) || !FitsInt(c.Y))
        return {};
    return {static_cast<int>(c.X), static_cast<int>(c.Y), model_.SwitchWidth(),
            model_.SwitchHeight()};
}

TSwitchArray::TOrientation TSwitchArray::DesignationOrientation() const {
    return static_cast<TOrientation>(model_.DesignationOrientation());
}

void TSwitchArray::SetDesignationOrientation(TOrientation v) {
    model_.SetDesignationOrientation(static_cast<orvik::TOrientation>(v));
}

void TSwitchArray::SetPen(const QPen& pen) {
    pen_ = pen;
    update();
}

QStringList TSwitchArray::Switches() const {
    QStringList list;
    for (const std::string& s : model_.Switches().Strings())
        list << QString::fromStdString(s);
    return list;
}

void TSwitchArray::SetSwitches(const QStringList& switches) {
    std::vector<std::string> strings;
    strings.reserve(static_cast<std::size_t>(switches.size()));
    for (const QString& s : switches)
        strings.push_back(s.toStdString());
    model_.AssignSwitches(std::move(strings));
}

const QPixmap* TSwitchArray::Picture(const TSwitchRecord& r, qreal dpr) const {
    int picture = -1;
    switch (r.State) {
    case STATE_UNDEFINED:
        picture = 2;
        break;
    case STATE_OFF:
        picture = 0;
        break;
    case STATE_ON:
        picture = 1;
        break;
    default:
        return nullptr;
    }
    if (r.Kind > KIND_REDGREENPUSH)
        return nullptr;
    const bool small = model_.SmallSwitches();
    if (dpr <= 1)
        return &(small ? smallSwitchBitmaps_ : switchBitmaps_)[r.Kind][picture];
    if (dpr == 2)
        return &(small ? smallSwitchBitmaps2x_ : switchBitmaps2x_)[r.Kind][picture];
    // Another scale: the pictures made once at its size from the twice-size ones, finer
    // pixels scaled down (or, at a multiple of 2, each pixel repeated).
    if (scaledFor_ != dpr) {
        const bool multiple = std::fmod(dpr, 2.0) == 0;
        for (int k = 0; k < 4; ++k) {
            for (int p = 0; p < 3; ++p) {
                for (auto [from, to] : {std::pair{&switchBitmaps2x_, &scaled_},
                                        std::pair{&smallSwitchBitmaps2x_, &smallScaled_}}) {
                    const QPixmap& source = (*from)[k][p];
                    const QSize size = (QSizeF(source.size()) / 2 * dpr).toSize();
                    QPixmap made =
                        source.scaled(size, Qt::IgnoreAspectRatio,
                                      multiple ? Qt::FastTransformation : Qt::SmoothTransformation);
                    made.setDevicePixelRatio(dpr);
                    (*to)[k][p] = made;
                }
            }
        }
        scaledFor_ = dpr;
    }
    return &(small ? smallScaled_ : scaled_)[r.Kind][picture];
}

void TSwitchArray::paintEvent(QPaintEvent* event) {
    if (!model_.Parsed() || model_.Busy())
        return;
    // Only what lies in the region asked for: a sibling's repaint that touches an edge of the
    // array draws nothing of it.
    const QRect dirty = event->rect();
    QPainter painter(this);
    const auto& records = model_.Records();
    const int w = model_.SwitchWidth();
    const int h = model_.SwitchHeight();
    const std::uint32_t n = static_cast<std::uint32_t>(records.size());
    // The scale of the pixels painted on (the backing store's, or an image's that renders it).
    const QPaintDevice* target =
        painter.paintEngine() ? painter.paintEngine()->paintDevice() : painter.device();
    const qreal dpr = target ? target->devicePixelRatioF() : devicePixelRatioF();

    // All pictures first, then the texts over them.
    for (std::uint32_t k = 0; k < n; ++k) {
        const Point64 c = model_.CellOrigin(k);
        if (!FitsInt(c.X) || !FitsInt(c.Y))
            continue;
        const QRect cell(static_cast<int>(c.X), static_cast<int>(c.Y), w, h);
        if (!cell.intersects(dirty))
            continue;
        if (const QPixmap* pic = Picture(records[k], dpr))
            painter.drawPixmap(cell, *pic);
    }

    painter.setBackgroundMode(Qt::TransparentMode);
    painter.setPen(palette().color(QPalette::WindowText));
    const QFontMetrics metrics(painter.font());
    const bool vertical = model_.DesignationOrientation() == orvik::StVertical;
    for (std::uint32_t k = 0; k < n; ++k) {
        const Point64 a = model_.DesignationAnchor(k);
        if (!FitsInt(a.X) || !FitsInt(a.Y))
            continue;
        const auto& [text, length] = Designation(k, metrics);
        const QRect area = vertical ? QRect(static_cast<int>(a.X) - metrics.height(),
                                            static_cast<int>(a.Y), metrics.height(), length)
                                    : QRect(static_cast<int>(a.X), static_cast<int>(a.Y), length,
                                            metrics.height());
        if (!area.intersects(dirty))
            continue;
        if (vertical) {
            // A quarter turn clockwise about the anchor: reads top to bottom, the tops of the
            // letters face right, the body lies left of the anchor.
            painter.save();
            painter.translate(static_cast<int>(a.X), static_cast<int>(a.Y));
            painter.rotate(90);
            painter.drawText(0, metrics.ascent(), text);
            painter.restore();
        } else {
            painter.drawText(static_cast<int>(a.X), static_cast<int>(a.Y) + metrics.ascent(), text);
        }
    }
    if (hasFocus() && keyboardUsed_)
        PaintFocusMark(painter);
}

const std::pair<QString, int>& TSwitchArray::Designation(std::size_t k,
                                                         const QFontMetrics& metrics) const {
    const std::string& designation = model_.Records()[k].Designation;
    if (designationFont_ != font()) {
        designationFont_ = font();
        designations_.clear();
    }
    if (designations_.size() <= k)
        designations_.resize(k + 1);
    auto& [source, shown] = designations_[k];
    if (source != designation || shown.first.isNull()) {
        source = designation;
        shown.first = QString::fromStdString(designation);
        shown.second = metrics.horizontalAdvance(shown.first);
    }
    return shown;
}

// Dots inside the plate's edge of the current switch, and a bar under it.
void TSwitchArray::PaintFocusMark(QPainter& painter) const {
    const QRect cell = SwitchRect(current_);
    if (cell.isEmpty())
        return;
    const int inset = model_.SmallSwitches() ? 1 : 2;
    painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(cell.adjusted(inset, inset, -inset - 1, -inset - 1));
    painter.fillRect(QRect(cell.left(), cell.bottom() + 2, cell.width(), 2),
                     palette().color(QPalette::Highlight));
}

void TSwitchArray::mousePressEvent(QMouseEvent* event) {
    QWidget::mousePressEvent(event);
    const QPoint pos = event->position().toPoint();
    const auto hit =
        model_.Press(event->button() == Qt::LeftButton,
                     event->modifiers().testFlag(Qt::ControlModifier), pos.x(), pos.y());
    if (hit) {
        SetCurrentSwitch(*hit);
        emit OnSwitch(*hit);
    }
}

void TSwitchArray::keyPressEvent(QKeyEvent* event) {
    if (!keyboardUsed_) {
        keyboardUsed_ = true;
        update();
    }
    const quint16 n = GetNumberOfSwitches();
    int dx = 0;
    int dy = 0;
    switch (event->key()) {
    case Qt::Key_Left:
        dx = -1;
        break;
    case Qt::Key_Right:
        dx = 1;
        break;
    case Qt::Key_Up:
        dy = -1;
        break;
    case Qt::Key_Down:
        dy = 1;
        break;
    case Qt::Key_Home:
        SetCurrentSwitch(0);
        return;
    case Qt::Key_End:
        SetCurrentSwitch(static_cast<quint16>(n - 1));
        return;
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // One press, one report: a held key repeats nothing.
        if (!event->isAutoRepeat() &&
            model_.KeyPressCounts(event->modifiers().testFlag(Qt::ControlModifier)))
            PressSwitch(current_);
        return;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    SetCurrentSwitch(model_.Step(current_, dx, dy));
}

void TSwitchArray::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    const Qt::FocusReason r = event->reason();
    keyboardUsed_ = keyboardUsed_ || r == Qt::TabFocusReason || r == Qt::BacktabFocusReason ||
                    r == Qt::ShortcutFocusReason;
    if (current_ >= GetNumberOfSwitches())
        current_ = 0;
    update();
    // After the widget's own focus notice, so that the switch is what a screen reader says.
    QTimer::singleShot(0, this, [this] {
        if (hasFocus())
            AnnounceSwitchFocus(this, current_);
    });
}

void TSwitchArray::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}
