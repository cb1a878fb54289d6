#include "app/Messages.h"

#include "widgets/PlainMessage.h"

#include <QMessageBox>
#include <QPushButton>

namespace messages {
namespace {
Hooks& Current() {
    static Hooks hooks;
    return hooks;
}
} // namespace

void SetHooks(Hooks hooks) {
    Current() = std::move(hooks);
}

void ShowMessage(QWidget* parent, const QString& text, const QString& details) {
    if (Current().showMessage) {
        Current().showMessage(text);
        if (Current().showDetails && !details.isEmpty())
            Current().showDetails(details);
        return;
    }
    ShowPlainMessage(parent, text, details);
}

bool Confirm(QWidget* parent, const QString& text) {
    if (Current().confirm)
        return Current().confirm(text);
    QMessageBox box(QMessageBox::Question, "Confirm", text, QMessageBox::NoButton, parent);
    QPushButton* yes = box.addButton("&Yes", QMessageBox::YesRole);
    box.addButton("&No", QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.exec();
    return box.clickedButton() == yes;
}

} // namespace messages
