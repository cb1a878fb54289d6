#include "FormActivation.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWindow>

TActivatingDialog::TActivatingDialog(QWidget* parent) : QDialog(parent) {
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this,
            &TActivatingDialog::FocusWindowChanged);
}

void TActivatingDialog::FocusWindowChanged(QWindow* window) {
    if (window == nullptr)
        FocusFromOutside = true;
    else if (window != windowHandle())
        FocusFromOutside = false;
}

void TActivatingDialog::showEvent(QShowEvent* e) {
    FirstActivation = true;
    QDialog::showEvent(e);
}

bool TActivatingDialog::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate) {
        const bool run = FirstActivation || !FocusFromOutside;
        FirstActivation = false;
        FocusFromOutside = false;
        if (run)
            FormActivate();
    }
    return QDialog::event(e);
}
