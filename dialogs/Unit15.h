// The serial port setup dialog: chooses COM1..COM16 and reopens the port at once.
#pragma once

#include <QDialog>
#include <QString>

#include <functional>

class QButtonGroup;

namespace orvik {
class LinkState;
class LineConnection;
} // namespace orvik

class TForm15 : public QDialog {
    Q_OBJECT
public:
    TForm15(orvik::LinkState& link, orvik::LineConnection& line, QWidget* parent = nullptr);

    // Selects the item of ComPortIndex (COM16 for anything above 15) without reopening.
    void FormShow();
    // Closes the port, points it at COM<itemIndex + 1>, opens it; reports a port that does
    // not open, with the device and the reason; sets ComPortIndex either way.
    void RadioGroup2Click(int itemIndex);

    // Shows a plain message with an OK button, and the reason as its second line;
    // replaceable, e.g. by tests.
    std::function<void(const QString& text, const QString& reason)> ShowMessage;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void ShowDevices();

    orvik::LinkState& Link;
    orvik::LineConnection& Line;
    QButtonGroup* RadioGroup2Items;
    bool PortSelectionGuard = false;
};
