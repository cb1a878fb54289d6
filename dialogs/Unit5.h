// The waiting dialog of the breaker setup request. Cancel, Esc and closing the window by its
// frame all give up the wait: they set WaitCancelled and emit Cancelled.
#pragma once

#include <QDialog>

class QPushButton;

namespace orvik {
class LinkState;
}

class TForm5 : public QDialog {
    Q_OBJECT
public:
    explicit TForm5(orvik::LinkState& link, QWidget* parent = nullptr);

    void BitBtn1Click();
    // Esc presses Cancel; the dialog stays up until the waiting window hides it.
    void reject() override;

signals:
    void Cancelled();

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    orvik::LinkState& Link;
    QPushButton* BitBtn1;
};
