// The main window's message boxes. Tests replace them so that nothing blocks.
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace messages {

// A plain box with an OK button; `details` as its second line (the informative text).
void ShowMessage(QWidget* parent, const QString& text, const QString& details = {});
// A "Confirm" box with a question icon and "&Yes" / "&No"; true for Yes.
bool Confirm(QWidget* parent, const QString& text);

struct Hooks {
    std::function<void(const QString&)> showMessage;
    std::function<bool(const QString&)> confirm;
    std::function<void(const QString&)> showDetails; // the second line of a message, if any
};
// Replaces the boxes (an empty member keeps the real box).
void SetHooks(Hooks hooks);

} // namespace messages
