#include "widgets/Switch.h"

#include "resources/SwitchPictures.h"
#include "widgets/PlainMessage.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

#include <limits>

using namespace orvik;

namespace {

constexpr const char* KIND_DIGITS[] = {"1", "2", "3", "4"};
constexpr const char* PICTURE_SUFFIXES[] = {"OFF", "ON", "UDEF"};

QPixmap LoadPicture(const QString& name) {
    QPixmap p;
    p.load(QStringLiteral(":/") + name, "BMP");
    return p;
}

// Coordinates of cells far outside any screen are not drawn.
bool FitsInt(std::int64_t v) {
    return v > std::numeric_limits<int>::min() / 2 && v < std::numeric_limits<int>::max() / 2;
}

} // namespace

TSwitchArray::TSwitchArray(QWidget* parent) : QWidget(parent) {
    resize(50, 80);
    InitSwitchPictures();
    for (int k = 0; k < 4; ++k) {
        for (int p = 0; p < 3; ++p) {
            const QString tail = QString::fromLatin1(KIND_DIGITS[k]) + PICTURE_SUFFIXES[p];
            switchBitmaps_[k][p] = LoadPicture(QStringLiteral("SWITCH") + tail);
            smallSwitchBitmaps_[k][p] = LoadPicture(QStringLiteral("SMSW") + tail);
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
    if (model_.Switch(index, on))
        repaint();
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

const QPixmap* TSwitchArray::Picture(const TSwitchRecord& r) const {
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
    const auto& set = model_.SmallSwitches() ? smallSwitchBitmaps_ : switchBitmaps_;
    return &set[r.Kind][picture];
}

void TSwitchArray::paintEvent(QPaintEvent*) {
    if (!model_.Parsed() || model_.Busy())
        return;
    QPainter painter(this);
    const auto& records = model_.Records();
    const int w = model_.SwitchWidth();
    const int h = model_.SwitchHeight();
    const std::uint32_t n = static_cast<std::uint32_t>(records.size());

    // All pictures first, then the texts over them.
    for (std::uint32_t k = 0; k < n; ++k) {
        const Point64 c = model_.CellOrigin(k);
        const QPixmap* pic = Picture(records[k]);
        if (pic != nullptr && FitsInt(c.X) && FitsInt(c.Y))
            painter.drawPixmap(static_cast<int>(c.X), static_cast<int>(c.Y), *pic, 0, 0, w, h);
    }

    painter.setBackgroundMode(Qt::TransparentMode);
    painter.setPen(palette().color(QPalette::WindowText));
    const QFontMetrics metrics(painter.font());
    const bool vertical = model_.DesignationOrientation() == orvik::StVertical;
    for (std::uint32_t k = 0; k < n; ++k) {
        const Point64 a = model_.DesignationAnchor(k);
        if (!FitsInt(a.X) || !FitsInt(a.Y))
            continue;
        const QString text = QString::fromStdString(records[k].Designation);
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
}

void TSwitchArray::mousePressEvent(QMouseEvent* event) {
    QWidget::mousePressEvent(event);
    const QPoint pos = event->position().toPoint();
    const auto hit =
        model_.Press(event->button() == Qt::LeftButton,
                     event->modifiers().testFlag(Qt::ControlModifier), pos.x(), pos.y());
    if (hit)
        emit OnSwitch(*hit);
}
