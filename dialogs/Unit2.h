// The power-on defaults dialog: which breakers of the selected node are on after power-up.
#pragma once

#include "dialogs/FormActivation.h"

class QCheckBox;

namespace orvik {
class LinkState;
}

class TForm2 : public ActivatingDialog {
    Q_OBJECT
public:
    explicit TForm2(orvik::LinkState& link, QWidget* parent = nullptr);

    // Sets the eight captions and check states from CurPowerOnMask; sends nothing.
    void FormActivate() override;
    // Applies the box's state to CurPowerOnMask, sends the mask and refills.
    void CheckBox1Click(QCheckBox* sender);

private:
    orvik::LinkState& Link;
    bool FillingGuard = false; // set while the filling changes the boxes
};
