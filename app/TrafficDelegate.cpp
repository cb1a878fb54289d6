#include "app/TrafficDelegate.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QStyle>
#include <QTableView>

namespace {

// Enough for every distinct text of a screenful of rows many times over; the rest are
// made again when they show again.
constexpr qsizetype KEPT_LAYOUTS = 2048;

} // namespace

void TrafficDelegate::Follow(const QFont& font) const {
    if (font == font_)
        return;
    layouts_.clear();
    elisions_.clear();
    advances_.fill(-1, 256);
    font_ = font;
}

const QStaticText* TrafficDelegate::Kept(const QString& text) const {
    const auto it = layouts_.constFind(text);
    return it == layouts_.cend() ? nullptr : &*it;
}

const QStaticText& TrafficDelegate::Layout(const QString& text) const {
    if (const QStaticText* kept = Kept(text))
        return *kept;
    if (layouts_.size() >= KEPT_LAYOUTS)
        layouts_.clear();
    QStaticText layout(text);
    layout.setTextFormat(Qt::PlainText);
    layout.prepare(QTransform(), font_);
    return *layouts_.insert(text, layout);
}

// Where a text's characters alone (without the kerning of its shaping) are wider than the
// width with room to spare; the text's length when they never are. Only the right end is ever
// cut off.
qsizetype TrafficDelegate::SureCut(const QString& text, const QStyleOptionViewItem& option,
                                   int width) const {
    if (option.textElideMode != Qt::ElideRight)
        return text.size();
    const QFontMetrics metrics(option.font);
    const int room = width + 4 * metrics.maxWidth();
    int advance = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c >= advances_.size())
            advance += metrics.horizontalAdvance(text[i]);
        else if (advances_[c] >= 0)
            advance += advances_[c];
        else
            advance += advances_[c] = metrics.horizontalAdvance(text[i]);
        if (advance > room)
            return i + 1;
    }
    return text.size();
}

// The text elided to the width as the style elides it, with only what can show (up to CUT,
// from SureCut) shaped. What shows of rows alike (status frames begin alike) is elided once.
QString TrafficDelegate::Elided(const QString& text, qsizetype cut,
                                const QStyleOptionViewItem& option, int width) const {
    const QFontMetrics metrics(option.font);
    if (cut < text.size()) {
        const QString shown = text.left(cut);
        const auto kept = elisions_.constFind(shown);
        if (kept != elisions_.cend() && kept->width == width)
            return kept->text;
        const QString elided = metrics.elidedText(shown, option.textElideMode, width);
        if (elided.size() < cut) { // cut where the whole text would be
            if (elisions_.size() >= KEPT_LAYOUTS)
                elisions_.clear();
            elisions_.insert(shown, {width, elided});
            return elided;
        }
    }
    return metrics.elidedText(text, option.textElideMode, width);
}

void TrafficDelegate::TakeGrid(QTableView& view) {
    // Not where the style wants lines also along the top and left edge of a headless view.
    grid_ = view.showGrid() && view.gridStyle() == Qt::SolidLine &&
            !view.style()->styleHint(QStyle::SH_Table_AlwaysDrawLeftTopGridLines, nullptr, &view);
    if (grid_)
        view.setShowGrid(false);
}

void TrafficDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QWidget* widget = item.widget;
    const QStyle* style = widget ? widget->style() : QApplication::style();
    if (grid_) {
        // The view's lines lie on the cell's last row and, in a right-to-left view, its first
        // column, else its last; the view gives the cell the rest.
        const QColor color = QColor::fromRgba(
            static_cast<QRgb>(style->styleHint(QStyle::SH_Table_GridLineColor, &item, widget)));
        const QRect cell = item.rect;
        const bool rightToLeft = item.direction == Qt::RightToLeft;
        painter->fillRect(QRect(cell.left(), cell.bottom(), cell.width(), 1), color);
        painter->fillRect(
            QRect(rightToLeft ? cell.left() : cell.right(), cell.top(), 1, cell.height()), color);
        item.rect.adjust(rightToLeft ? 1 : 0, 0, rightToLeft ? 0 : -1, -1);
    }
    const QString text = item.text;
    // Without its text, the item's text area is not measured by shaping the text.
    item.text.clear();
    QRect rect = style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget);
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);
    if (text.isEmpty())
        return;

    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    rect.adjust(margin, 0, -margin, 0);
    Follow(item.font);
    const QStaticText* layout = Kept(text);
    const qsizetype cut = layout ? text.size() : SureCut(text, item, rect.width());
    if (!layout && cut == text.size())
        layout = &Layout(text);
    if (!layout || layout->size().width() > rect.width())
        layout = &Layout(Elided(text, cut, item, rect.width()));

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
