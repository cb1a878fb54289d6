// The wigwag interval dialog: the flash-on duration of the selected node.
#pragma once

#include "dialogs/FormActivation.h"

class QButtonGroup;
class QLineEdit;

namespace orvik {
class LinkState;
}

class TForm3 : public ActivatingDialog {
    Q_OBJECT
public:
    explicit TForm3(orvik::LinkState& link, QWidget* parent = nullptr);

    // Shows CurWigwagInterval in Edit1; leaves the radio group as it is.
    void FormActivate() override;
    // Sets and sends the interval of the selected item, then refreshes Edit1.
    void RadioGroup1Click(int itemIndex);

private:
    orvik::LinkState& Link;
    QLineEdit* Edit1;
    QButtonGroup* RadioGroup1Items;
};
