// Places the items of a radio group in columns, filled top to bottom, spread evenly over the
// room the style leaves inside the group's frame and below its caption. Where that room is too
// low for the items at the window font, the group grows downwards just enough (the caller
// moves what lies below it).
#pragma once

#include <QList>

class QGroupBox;
class QRadioButton;
class QRect;

// The room for items inside the group: within its frame, below its caption.
QRect GroupContentsRect(QGroupBox* group);
void PlaceRadioItems(QGroupBox* group, const QList<QRadioButton*>& items, int columns);
