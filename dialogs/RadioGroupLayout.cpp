#include "dialogs/RadioGroupLayout.h"

#include <QGroupBox>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionGroupBox>

#include <algorithm>

QRect GroupContentsRect(QGroupBox* group) {
    QStyleOptionGroupBox opt;
    opt.initFrom(group);
    opt.text = group->title();
    opt.lineWidth = 1;
    opt.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    return group->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxContents,
                                          group);
}

void PlaceRadioItems(QGroupBox* group, const QList<QRadioButton*>& items, int columns) {
    if (items.isEmpty() || columns < 1)
        return;
    const int rows = (static_cast<int>(items.size()) + columns - 1) / columns;
    // An item needs the height of its indicator or of its text, whichever is higher.
    const int need = std::max(
        group->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorHeight, nullptr, items[0]),
        items[0]->fontMetrics().height());

    // A little air above the first item and below the last, so that no indicator touches
    // the frame.
    constexpr int air = 2;
    QRect room = GroupContentsRect(group);
    if (room.height() < rows * need + 2 * air) {
        group->resize(group->width(), group->height() + rows * need + 2 * air - room.height());
        room = GroupContentsRect(group);
    }
    room.adjust(0, air, 0, -air);
    const int pitch = room.height() / rows;
    const int width = room.width() / columns;
    for (int i = 0; i < static_cast<int>(items.size()); ++i) {
        const int column = i / rows, row = i % rows;
        items[i]->setGeometry(room.left() + 5 + column * width, room.top() + row * pitch, width - 5,
                              pitch);
    }
}
