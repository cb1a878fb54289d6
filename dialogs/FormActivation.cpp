#include "dialogs/FormActivation.h"

#include <QEvent>
#include <QGuiApplication>
#include <QShowEvent>
#include <QWindow>

ActivatingDialog::ActivatingDialog(QWidget* parent) : QDialog(parent) {
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this,
            &ActivatingDialog::FocusWindowChanged);
}

void ActivatingDialog::FocusWindowChanged(QWindow* window) {
    if (window == nullptr)
        FocusFromOutside = true;
    else if (window != windowHandle())
        FocusFromOutside = false;
}

void ActivatingDialog::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (e->spontaneous()) // restored from the task bar: not a new showing
        return;
    FormActivate();
    // The activation that follows the show is the same showing: no second filling.
    ShowActivationPending = true;
}

bool ActivatingDialog::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate) {
        const bool run = !ShowActivationPending && !FocusFromOutside;
        ShowActivationPending = false;
        FocusFromOutside = false;
        if (run)
            FormActivate();
    } else if (e->type() == QEvent::WindowDeactivate) {
        ShowActivationPending = false;
    }
    return QDialog::event(e);
}
