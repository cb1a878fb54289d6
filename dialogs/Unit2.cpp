#include "dialogs/Unit2.h"

#include "widgets/FormFont.h"

#include "link/state/LinkState.h"
#include "widgets/FindComponent.h"

#include <QCheckBox>
#include <QPushButton>

TForm2::TForm2(orvik::LinkState& link, QWidget* parent) : ActivatingDialog(parent), Link(link) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Power on defaults"));
    UseFormFont(this);
    setFixedSize(244, 321);

    for (int r = 0; r < 8; ++r) {
        auto* box = new QCheckBox(this);
        box->setObjectName(QStringLiteral("CheckBox%1").arg(r + 1));
        box->setProperty("Tag", r);
        box->setGeometry(48, 32 + 24 * r, 137, 17);
        connect(box, &QCheckBox::toggled, this, [this, box] { CheckBox1Click(box); });
    }

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("Button1"));
    ok->setGeometry(80, 240, 75, 25);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void TForm2::FormActivate() {
    const bool wasFilling = FillingGuard;
    FillingGuard = true;
    for (int r = 0; r < 8; ++r) {
        auto* box = FindComponent<QCheckBox>(this, QStringLiteral("Checkbox%1").arg(r + 1));
        if (!box)
            continue;
        const bool on =
            (Link.CurPowerOnMask & orvik::BitMaskTable[static_cast<std::size_t>(r)]) != 0;
        box->setText(QStringLiteral("Breaker %1 is %2").arg(r + 1).arg(on ? "ON" : "OFF"));
        box->setChecked(on);
    }
    FillingGuard = wasFilling;
}

void TForm2::CheckBox1Click(QCheckBox* sender) {
    if (FillingGuard)
        return;
    Link.SetPowerOnDefault(sender->property("Tag").toInt(), sender->isChecked());
    FormActivate();
}
