#include "Unit3.h"

#include "FormFont.h"

#include "LinkState.h"
#include "StatusTexts.h"
#include "ValueTables.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

TForm3::TForm3(orvik::LinkState& link, QWidget* parent) : TActivatingDialog(parent), Link(link) {
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
    // One column, the items spread evenly below the caption.
    constexpr int top = 18;
    const int pitch = (281 - top - 4) / static_cast<int>(orvik::WigwagIntervalItems.size());
    for (int i = 0; i < static_cast<int>(orvik::WigwagIntervalItems.size()); ++i) {
        auto* item = new QRadioButton(
            QString::fromLatin1(orvik::WigwagIntervalItems[static_cast<std::size_t>(i)]), group);
        item->setGeometry(8, top + pitch * i, 170, pitch);
        RadioGroup1Items->addButton(item, i);
    }
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
