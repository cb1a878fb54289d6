#include "dialogs/Unit3.h"

#include "dialogs/RadioGroupLayout.h"
#include "widgets/FormFont.h"

#include "link/protocol/StatusTexts.h"
#include "link/protocol/ValueTables.h"
#include "link/state/LinkState.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

TForm3::TForm3(orvik::LinkState& link, QWidget* parent) : ActivatingDialog(parent), Link(link) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("WigWag Time Interval"));
    UseFormFont(this);
    setFixedSize(281, 433);

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setReadOnly(true);
    Edit1->setGeometry(40, 16, 185, 21);

    auto* group = new QGroupBox(QStringLiteral("Flash time on duration"), this);
    group->setObjectName(QStringLiteral("RadioGroup1"));
    group->setGeometry(40, 48, 185, 281);
    RadioGroup1Items = new QButtonGroup(group);
    RadioGroup1Items->setExclusive(true);
    QList<QRadioButton*> items;
    for (std::size_t i = 0; i < orvik::WigwagIntervalItems.size(); ++i) {
        items << new QRadioButton(QString::fromLatin1(orvik::WigwagIntervalItems[i]), group);
        RadioGroup1Items->addButton(items.back(), static_cast<int>(i));
    }
    PlaceRadioItems(group, items, 1);
    connect(RadioGroup1Items, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            RadioGroup1Click(id);
    });

    auto* note = new QLabel(QStringLiteral("Flash interval is 2 x flash time on duration"), this);
    note->move(32, 336);
    note->adjustSize();

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("Button1"));
    ok->setGeometry(96, 360, 75, 25);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void TForm3::FormActivate() {
    Edit1->setText(QStringLiteral("Current interval ") +
                   QString::fromStdString(orvik::FormatTenths(Link.CurWigwagInterval)));
}

void TForm3::RadioGroup1Click(int itemIndex) {
    if (Link.ChooseWigwagInterval(itemIndex))
        FormActivate();
}
