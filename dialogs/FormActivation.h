// A dialog with an activation handler: FormActivate runs when the dialog is shown, and again
// whenever the focus comes back to it from another window of this program (a message box, the
// main window). Coming back from another application does not run it: the application's focus
// window is null while another application has the focus, so an activation whose previous
// focus window was null is skipped. The activation that comes with a show runs it only once.
#pragma once

#include <QDialog>

class QWindow;

class ActivatingDialog : public QDialog {
    Q_OBJECT
public:
    explicit ActivatingDialog(QWidget* parent = nullptr);

protected:
    virtual void FormActivate() = 0;

    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    void FocusWindowChanged(QWindow* window);

    bool ShowActivationPending = false; // shown, not yet activated or deactivated
    bool FocusFromOutside = false;      // the application had no focus window last
};
