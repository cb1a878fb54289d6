#include "app/EditPanelStyle.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPaintDevice>
#include <QPainter>
#include <QPixmap>
#include <QStyleOptionFrame>

#include <cmath>

namespace {

// A handful in practice: the displays' sizes, focused or not, at the screens' scales.
constexpr std::size_t MOST_LOOKS = 64;

// Only where a copy lands on whole pixels: a read-only edit of its own (the displays), on a
// surface of a whole scale, moved by whole pixels.
bool Copyable(const QWidget* widget, const QPainter& painter, qreal dpr) {
    const auto* edit = qobject_cast<const QLineEdit*>(widget);
    if (!edit || !edit->isReadOnly() || qobject_cast<const QAbstractSpinBox*>(edit->parent()) ||
        qobject_cast<const QComboBox*>(edit->parent()))
        return false;
    const QTransform t = painter.deviceTransform();
    return dpr >= 1 && dpr == std::floor(dpr) && t.type() <= QTransform::TxScale &&
           t.m11() == dpr && t.m22() == dpr && t.dx() == std::floor(t.dx()) &&
           t.dy() == std::floor(t.dy());
}

} // namespace

void EditPanelStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                   QPainter* painter, const QWidget* widget) const {
    const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(option);
    const QPaintDevice* device = painter ? painter->device() : nullptr;
    const qreal dpr = device ? device->devicePixelRatio() : 1;
    if (element != PE_PanelLineEdit || !frame || !device || frame->rect.isEmpty() ||
        frame->rect.width() > 2000 || frame->rect.height() > 200 ||
        !Copyable(widget, *painter, dpr)) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    const Look look{frame->rect.width(),
                    frame->rect.height(),
                    static_cast<unsigned>(frame->state),
                    frame->palette.cacheKey(),
                    frame->lineWidth,
                    frame->midLineWidth,
                    static_cast<unsigned>(frame->features),
                    static_cast<int>(frame->direction),
                    dpr};
    QPixmap panel;
    const auto known = panels_.find(look);
    if (known == panels_.end() || !QPixmapCache::find(known->second, &panel)) {
        panel = QPixmap(frame->rect.size() * dpr);
        panel.setDevicePixelRatio(dpr);
        panel.fill(Qt::transparent);
        QStyleOptionFrame at(*frame);
        at.rect.moveTo(0, 0);
        QPainter p(&panel);
        p.setRenderHints(painter->renderHints());
        QProxyStyle::drawPrimitive(element, &at, &p, widget);
        p.end();
        if (known == panels_.end() && panels_.size() >= MOST_LOOKS) {
            for (const auto& entry : panels_)
                QPixmapCache::remove(entry.second);
            panels_.clear();
        }
        panels_[look] = QPixmapCache::insert(panel);
    }
    painter->drawPixmap(frame->rect.topLeft(), panel);
}
