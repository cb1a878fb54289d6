#include "dialogs/Unit15.h"

#include "dialogs/RadioGroupLayout.h"
#include "widgets/FormFont.h"
#include "widgets/PlainMessage.h"

#include "link/line/LineConnection.h"
#include "link/protocol/StatusTexts.h"
#include "link/state/LinkState.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>

#include <algorithm>

namespace {

constexpr int PORT_ITEMS = 16;

} // namespace

TForm15::TForm15(orvik::LinkState& link, orvik::LineConnection& line, QWidget* parent)
    : QDialog(parent), Link(link), Line(line) {
    setObjectName(QStringLiteral("Form15"));
    setWindowTitle(QStringLiteral("Serial port setup"));
    UseFormFont(this);
    setFixedSize(208, 269);
    move(309, 237);

    ShowMessage = [this](const QString& text, const QString& reason) {
        ShowPlainMessage(this, text, reason);
    };

    auto* label = new QLabel(QStringLiteral("Select the serial communications port that you will "
                                            "be using to connect to the radio device"),
                             this);
    label->setObjectName(QStringLiteral("Label1"));
    label->setWordWrap(true);
    label->setGeometry(8, 8, 177, 49);

    auto* group = new QGroupBox(QStringLiteral("COM port number"), this);
    group->setObjectName(QStringLiteral("RadioGroup2"));
    group->setGeometry(8, 64, 185, 129);
    RadioGroup2Items = new QButtonGroup(group);
    RadioGroup2Items->setExclusive(true);
    // Two columns, filled top to bottom: COM1..COM8 left, COM9..COM16 right.
    QList<QRadioButton*> items;
    for (int i = 0; i < PORT_ITEMS; ++i) {
        items << new QRadioButton(QStringLiteral("COM%1").arg(i + 1), group);
        RadioGroup2Items->addButton(items.back(), i);
    }
    PlaceRadioItems(group, items, 2);
    connect(RadioGroup2Items, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            RadioGroup2Click(id);
    });

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("Button1"));
    ok->setGeometry(64, std::max(200, group->geometry().bottom() + 8), 75, 25);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void TForm15::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (!e->spontaneous())
        FormShow();
}

void TForm15::FormShow() {
    ShowDevices();
    PortSelectionGuard = true;
    const int index = Link.ComPortIndex < PORT_ITEMS ? Link.ComPortIndex : PORT_ITEMS - 1;
    RadioGroup2Items->button(index)->setChecked(true);
    PortSelectionGuard = false;
}

void TForm15::RadioGroup2Click(int itemIndex) {
    if (PortSelectionGuard || itemIndex < 0 || itemIndex >= PORT_ITEMS)
        return;
    const auto index = static_cast<std::uint8_t>(itemIndex);
    // Closes the port, sets DeviceName to COM<n> and opens it; the user's choice looks for
    // the device anew.
    const orvik::OpenOutcome opened = Line.OpenPort(index, true);
    if (!opened.opened)
        ShowMessage(QString::fromStdString(orvik::PortUnavailableMessage(index)),
                    QString::fromStdString(opened.reason));
    Link.ComPortIndex = index;
    ShowDevices();
}

// Each item's tooltip names the device it opens, whether it was remembered, and whether it
// is connected.
void TForm15::ShowDevices() {
    for (int i = 0; i < PORT_ITEMS; ++i)
        RadioGroup2Items->button(i)->setToolTip(QString::fromStdString(Line.DescribePort(i + 1)));
}
