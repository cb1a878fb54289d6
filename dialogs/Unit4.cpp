#include "dialogs/Unit4.h"

#include "widgets/FormFont.h"

#include "link/protocol/StatusTexts.h"
#include "link/protocol/ValueTables.h"
#include "link/state/LinkState.h"
#include "widgets/FindComponent.h"
#include "widgets/WheelGuard.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace {

QComboBox* MakeComboBox(QWidget* parent, int number, int row, int left, int width,
                        const auto& items) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QStringLiteral("ComboBox%1").arg(number));
    box->setProperty("Tag", row);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    for (const char* item : items)
        box->addItem(QString::fromLatin1(item));
    box->setCurrentIndex(-1);
    box->setMaxVisibleItems(box->count()); // the whole list drops down
    box->setGeometry(left, 96 + 24 * row, width, 21);
    // Each change sends a new trip setting: no change by a wheel that only passes over it.
    WheelGuard::Install(box);
    return box;
}

QLabel* MakeLabel(QWidget* parent, const QString& text, int left, int top) {
    auto* label = new QLabel(text, parent);
    label->move(left, top);
    label->adjustSize();
    return label;
}

// Shows `text` in the box with the list item of that text selected, or none when no item
// has it. No change handler runs.
void SetBoxText(QComboBox* box, const QString& text) {
    const QSignalBlocker block(box);
    box->setCurrentIndex(box->findText(text, Qt::MatchExactly));
    box->setEditText(text);
}

} // namespace

TForm4::TForm4(orvik::LinkState& link, QWidget* parent) : ActivatingDialog(parent), Link(link) {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Breaker setup"));
    UseFormFont(this);
    setFixedSize(364, 378);

    auto* note = new QLabel(
        QStringLiteral("Note: These values are only relevant for the programmable profile. For "
                       "all other profiles trip currents and times are selected as part of the "
                       "profile selection (Dipswitch array setting, see manual for options)"),
        this);
    note->setWordWrap(true);
    note->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // A wide face may need a line more than the place has; the headings leave room for it.
    note->setGeometry(24, 8, 305, std::max(57, note->heightForWidth(305)));
    MakeLabel(this, QStringLiteral("Trip Current"), 72, 80);
    MakeLabel(this, QStringLiteral("Trip Time"), 184, 80);

    QWidget* previous = nullptr;
    for (int row = 0; row < 8; ++row) {
        MakeLabel(this, QStringLiteral("Breaker %1").arg(row + 1), 16, 99 + 24 * row);
        QComboBox* current = MakeComboBox(this, 2 * row + 1, row, 72, 97, orvik::TripCurrentItems);
        QComboBox* time = MakeComboBox(this, 2 * row + 2, row, 184, 145, orvik::TripTimeItems);
        connect(current, &QComboBox::activated, this,
                [this, current] { ComboBox1Change(current); });
        connect(time, &QComboBox::activated, this, [this, time] { ComboBox2Change(time); });
        if (previous)
            setTabOrder(previous, current);
        setTabOrder(current, time);
        previous = time;
    }

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("Button1"));
    ok->setGeometry(144, 304, 75, 25);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    setTabOrder(previous, ok);
}

void TForm4::FormActivate() {
    for (int row = 0; row < 8; ++row) {
        if (auto* box =
                FindComponent<QComboBox>(this, QStringLiteral("ComboBox%1").arg(2 * row + 1))) {
            const auto b = static_cast<std::size_t>(box->property("Tag").toInt());
            SetBoxText(box, QString::fromStdString(
                                orvik::FormatTenths(Link.BreakerSetupRecord.TripCurrent[b]) + "A"));
        }
        if (auto* box =
                FindComponent<QComboBox>(this, QStringLiteral("ComboBox%1").arg(2 * row + 2))) {
            const auto b = static_cast<std::size_t>(box->property("Tag").toInt());
            SetBoxText(box,
                       QString::fromStdString(
                           orvik::FormatTenths(Link.BreakerSetupRecord.TripTime[b]) + " seconds"));
        }
    }
}

void TForm4::ComboBox1Change(QComboBox* sender) {
    // SendTripCurrent refuses an index below 0 (no item selected).
    Link.SendTripCurrent(sender->property("Tag").toInt(), sender->currentIndex());
}

void TForm4::ComboBox2Change(QComboBox* sender) {
    Link.SendTripTime(sender->property("Tag").toInt(), sender->currentIndex());
}
