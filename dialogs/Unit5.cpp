#include "dialogs/Unit5.h"

#include "widgets/FormFont.h"

#include "link/state/LinkState.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>

TForm5::TForm5(orvik::LinkState& link, QWidget* parent) : QDialog(parent), Link(link) {
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("Status"));
    UseFormFont(this);
    setFixedSize(281, 148);

    auto* label = new QLabel(QStringLiteral("Waiting for data...."), this);
    label->setObjectName(QStringLiteral("Label1"));
    label->move(96, 24);
    label->adjustSize();

    BitBtn1 = new QPushButton(QStringLiteral("Cancel"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(96, 56, 75, 25);
    connect(BitBtn1, &QPushButton::clicked, this, &TForm5::BitBtn1Click);
}

void TForm5::BitBtn1Click() {
    Link.WaitCancelled = true;
    emit Cancelled();
}

void TForm5::reject() {
    BitBtn1->click();
}

void TForm5::closeEvent(QCloseEvent* e) {
    BitBtn1Click();
    e->accept();
}
