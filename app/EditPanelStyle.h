// The application's style with the panel of a line edit drawn once per look and then copied:
// a read-only edit whose text changes with every status frame would otherwise draw its rounded,
// antialiased frame again each time.
#pragma once

#include <QProxyStyle>

class EditPanelStyle final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
};
