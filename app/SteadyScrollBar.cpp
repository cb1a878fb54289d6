#include "app/SteadyScrollBar.h"

#include <QGuiApplication>
#include <QPainter>
#include <QStyleOptionSlider>

SteadyScrollBar::SteadyScrollBar(Qt::Orientation orientation, QWidget* parent)
    : QScrollBar(orientation, parent) {}

void SteadyScrollBar::paintEvent(QPaintEvent* event) {
    // A pointer on the bar lights or presses a part of it, which only the bar itself knows.
    if (underMouse() || QGuiApplication::mouseButtons() != Qt::NoButton ||
        style()->styleHint(QStyle::SH_ScrollBar_Transient, nullptr, this)) {
        picture_ = {};
        ++drawn_;
        QScrollBar::paintEvent(event);
        return;
    }
    QStyleOptionSlider option;
    initStyleOption(&option);
    option.subControls = QStyle::SC_All;
    const Look look{
        style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this),
        value() <= minimum(),
        value() >= maximum(),
        size(),
        devicePixelRatioF(),
        option.state,
        palette().cacheKey(),
        style()};
    if (picture_.isNull() || look != drawnLook_) {
        picture_ = QPixmap(size() * look.ratio);
        picture_.setDevicePixelRatio(look.ratio);
        picture_.fill(palette().color(backgroundRole()));
        QPainter painter(&picture_);
        style()->drawComplexControl(QStyle::CC_ScrollBar, &option, &painter, this);
        drawnLook_ = look;
        ++drawn_;
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, picture_);
}
