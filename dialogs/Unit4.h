// The breaker setup dialog: trip current and trip time of each breaker of the selected node.
#pragma once

#include "dialogs/FormActivation.h"

class QComboBox;

namespace orvik {
class LinkState;
}

class TForm4 : public ActivatingDialog {
    Q_OBJECT
public:
    explicit TForm4(orvik::LinkState& link, QWidget* parent = nullptr);

    // Fills the sixteen texts from BreakerSetupRecord; sends nothing.
    void FormActivate() override;

    // Change handlers of the trip-current and trip-time boxes; the sender's Tag is the breaker.
    // A box without a selected list item sends nothing.
    void ComboBox1Change(QComboBox* sender);
    void ComboBox2Change(QComboBox* sender);

private:
    orvik::LinkState& Link;
};
