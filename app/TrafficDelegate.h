// The bus monitor's cells. The style draws each cell's panel, selection and focus as ever; the
// text is drawn from a layout kept per text, so that a refresh at full rate does not shape the
// same directions, nodes, summaries and outcomes again and again, and a long text is cut to
// what can show before it is shaped to be elided.
//
// The delegate can also draw the view's grid: each cell fills its own last column and row of
// pixels with the grid's colour, as the view would draw its lines there. The view strokes each
// line across the whole view at every repaint, which costs more than the cells' texts.
#pragma once

#include <QFont>
#include <QHash>
#include <QList>
#include <QStaticText>
#include <QStyledItemDelegate>

class QTableView;

class TrafficDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // Takes the view's solid grid over: the view draws none, each cell draws its part.
    void TakeGrid(QTableView& view);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    // Forgets what was kept for another font.
    void Follow(const QFont& font) const;
    const QStaticText* Kept(const QString& text) const;
    const QStaticText& Layout(const QString& text) const;
    qsizetype SureCut(const QString& text, const QStyleOptionViewItem& option, int width) const;
    QString Elided(const QString& text, qsizetype cut, const QStyleOptionViewItem& option,
                   int width) const;

    struct Elision {
        int width;
        QString text;
    };

    // All of these are for font_: layouts by text, elisions by what shows of a text, and the
    // advances of the first 256 characters (-1 where not measured yet).
    mutable QHash<QString, QStaticText> layouts_;
    mutable QHash<QString, Elision> elisions_;
    mutable QList<int> advances_ = QList<int>(256, -1);
    mutable QFont font_;
    bool grid_ = false;
};
