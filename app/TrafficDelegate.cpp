#include "app/TrafficDelegate.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QStyle>

namespace {

// Enough for every distinct text of a screenful of rows many times over; the rest are
// made again when they show again.
constexpr qsizetype KEPT_LAYOUTS = 2048;

// Where a text's characters alone (without the kerning of its shaping) are wider than the
// width with room to spare; the text's length when they never are.
qsizetype SureCut(const QString& text, const QFontMetrics& metrics, int width) {
    const int room = width + 4 * metrics.maxWidth();
    int advance = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        advance += metrics.horizontalAdvance(text[i]);
        if (advance > room)
            return i + 1;
    }
    return text.size();
}

} // namespace

const QStaticText* TrafficDelegate::Kept(const QString& text, const QFont& font) const {
    if (font != font_) {
        layouts_.clear();
        font_ = font;
    }
    const auto it = layouts_.constFind(text);
    return it == layouts_.cend() ? nullptr : &*it;
}

const QStaticText& TrafficDelegate::Layout(const QString& text, const QFont& font) const {
    if (const QStaticText* kept = Kept(text, font))
        return *kept;
    if (layouts_.size() >= KEPT_LAYOUTS)
        layouts_.clear();
    QStaticText layout(text);
    layout.setTextFormat(Qt::PlainText);
    layout.prepare(QTransform(), font);
    return *layouts_.insert(text, layout);
}

// The text elided to the width as the style elides it, with only what can show (up to CUT,
// from SureCut) shaped.
QString TrafficDelegate::Elided(const QString& text, qsizetype cut,
                                const QStyleOptionViewItem& option, int width) const {
    const QFontMetrics metrics(option.font);
    if (cut < text.size()) {
        const QString elided = metrics.elidedText(text.left(cut), option.textElideMode, width);
        if (elided.size() < cut)
            return elided; // cut where the whole text would be
    }
    return metrics.elidedText(text, option.textElideMode, width);
}

void TrafficDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QWidget* widget = item.widget;
    const QStyle* style = widget ? widget->style() : QApplication::style();
    const QString text = item.text;
    // Without its text, the item's text area is not measured by shaping the text.
    item.text.clear();
    QRect rect = style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget);
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);
    if (text.isEmpty())
        return;

    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    rect.adjust(margin, 0, -margin, 0);
    const QStaticText* layout = Kept(text, item.font);
    const qsizetype cut =
        layout ? text.size() : SureCut(text, QFontMetrics(item.font), rect.width());
    if (!layout && cut == text.size())
        layout = &Layout(text, item.font);
    if (!layout || layout->size().width() > rect.width())
        layout = &Layout(Elided(text, cut, item, rect.width()), item.font);

    QPalette::ColorGroup group =
        item.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
    if (group == QPalette::Normal && !(item.state & QStyle::State_Active))
        group = QPalette::Inactive;
    const QPalette::ColorRole role =
        item.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text;
    // Placed as the style places a line: on whole pixels, from the rounded size.
    const QSizeF size = layout->size();
    const QRect placed =
        QStyle::alignedRect(Qt::LayoutDirectionAuto, item.displayAlignment, size.toSize(), rect);
    qreal x = rect.left();
    if (item.displayAlignment & Qt::AlignRight)
        x = rect.right() + 1 - size.width();
    else if (item.displayAlignment & Qt::AlignHCenter)
        x = rect.left() + (rect.width() - size.width()) / 2;
    painter->save();
    painter->setPen(item.palette.color(group, role));
    painter->setFont(item.font);
    painter->drawStaticText(QPointF(x, placed.top()), *layout);
    painter->restore();
}
