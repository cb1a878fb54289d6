#include "app/HistoryAccessible.h"

#include "app/HistoryPlot.h"
#include "app/HistoryWindow.h"

#include <QAccessibleWidget>

namespace {

// The plot's description is made when asked, so nothing is announced at every frame.
class PlotAccessible : public QAccessibleWidget {
public:
    explicit PlotAccessible(HistoryPlot* plot) : QAccessibleWidget(plot, QAccessible::Graphic) {}
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Description)
            return static_cast<HistoryPlot*>(widget())->TextAlternative();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* Factory(const QString& key, QObject* object) {
    if (key == QLatin1String("HistoryWindow"))
        if (auto* window = qobject_cast<HistoryWindow*>(object))
            return new QAccessibleWidget(window, QAccessible::Window);
    if (key == QLatin1String("HistoryPlot"))
        if (auto* plot = qobject_cast<HistoryPlot*>(object))
            return new PlotAccessible(plot);
    return nullptr;
}

} // namespace

void InstallHistoryAccessibility() {
    static const bool installed = (QAccessible::installFactory(Factory), true);
    (void)installed;
}
