// The application's style with the panel of a line edit drawn once per look and then copied:
// a read-only edit whose text changes with every status frame would otherwise draw its rounded,
// antialiased frame again each time.
#pragma once

#include <QPixmapCache>
#include <QProxyStyle>

#include <compare>
#include <map>

class EditPanelStyle final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;

private:
    // Everything a panel's pixels depend on.
    struct Look {
        int width = 0;
        int height = 0;
        unsigned state = 0;
        qint64 palette = 0;
        int lineWidth = 0;
        int midLineWidth = 0;
        unsigned features = 0;
        int direction = 0;
        qreal dpr = 1;
        auto operator<=>(const Look&) const = default;
    };
    // Looked up at every paint of a changed display: building a string key cost more than
    // the copy itself.
    mutable std::map<Look, QPixmapCache::Key> panels_;
};
