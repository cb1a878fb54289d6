// The bus monitor's cells. The style draws each cell's panel, selection and focus as ever; the
// text is drawn from a layout kept per text, so that a refresh at full rate does not shape the
// same directions, nodes, summaries and outcomes again and again, and a long text is cut to
// what can show before it is shaped to be elided.
#pragma once

#include <QFont>
#include <QHash>
#include <QStaticText>
#include <QStyledItemDelegate>

class TrafficDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    const QStaticText* Kept(const QString& text, const QFont& font) const;
    const QStaticText& Layout(const QString& text, const QFont& font) const;
    QString Elided(const QString& text, qsizetype cut, const QStyleOptionViewItem& option,
                   int width) const;

    mutable QHash<QString, QStaticText> layouts_;
    mutable QFont font_;
};
