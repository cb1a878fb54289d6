// The main window's controls: made in their places, found by their names, their tab order,
// and the indicators' colours and fault marks.
#include "app/Unit1.h"

#include "app/BusOverview.h"
#include "app/Shape.h"
#include "app/StatusLine.h"
#include "app/Unit1Layout.h"
#include "link/protocol/StatusTexts.h"
#include "link/state/BusGlance.h"
#include "widgets/FindComponent.h"
#include "widgets/Switch.h"

#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <string_view>

using namespace orvik;
namespace L = unit1_layout;

namespace {

QColor ToColor(const Rgb& c) {
    return QColor(c.r, c.g, c.b);
}

QLabel* Label(QWidget* parent, const QString& text, QPoint at) {
    auto* label = new QLabel(text, parent);
    label->move(at);
    label->adjustSize();
    return label;
}

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

QLineEdit* ReadOnlyEdit(QWidget* parent, const QString& name, const QRect& at) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setReadOnly(true);
    edit->setGeometry(at);
    return edit;
}

// For the figures that change with every frame: laid out without the font's shaping, which
// figures do not need and which was the dearest part of setting their text. Only the strategy
// is set, so face and size still follow the window's font.
QLineEdit* FigureEdit(QLineEdit* edit) {
    QFont font;
    font.setStyleStrategy(QFont::PreferNoShaping);
    edit->setFont(font);
    return edit;
}

} // namespace

void TForm1::CreateControls() {
    setFixedSize(L::FormWidth, L::FormHeight);

    CreateMenus();

    auto* client = new QWidget(this);
    client->setObjectName("ClientArea");
    setCentralWidget(client);

    auto* bevel = new QFrame(client);
    bevel->setObjectName("Bevel1");
    bevel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    bevel->setGeometry(L::Bevel);
    Label(client, "Orvik module detect by node address", L::NodeStripCaption);
    for (int n = 1; n <= NODES; ++n) {
        Label(client, QString::number(n), L::NodeNumberLabel(n));
        auto* shape = new Shape(Shape::Kind::Circle, client);
        shape->setObjectName(QString("Shape%1").arg(n));
        shape->Tag = n - 1;
        shape->setGeometry(L::NodeShape(n));
        shape->SetPressable(true);
        connect(shape, &Shape::MouseDown, this, [this](Shape* s) { Shape1MouseDown(s); });
        connect(shape, &Shape::Pressed, this, [this](Shape* s) { Shape1MouseDown(s); });
        connect(shape, &Shape::Step, this,
                [this](Shape* s, int by) { MoveNodeFocus(s->Tag + 1 + by); });
        // A red mark beside the circle while the node reports a fault; the fill stays.
        auto* mark = new Shape(Shape::Kind::Circle, client);
        mark->setObjectName(QString("FaultMark%1").arg(n));
        mark->setGeometry(L::FaultMark(n));
        mark->SetBrushColor(ToColor(COLOUR_RED));
        mark->hide();
        faultMarks_[static_cast<std::size_t>(n - 1)] = mark;
    }
    Label(client, "Click on indicator to select Orvik node", L::NodeStripHint);

    auto* showing = Label(client, "Showing Orvik: ", L::ShowingLabel);
    SpinEdit1 = new QSpinBox(client);
    SpinEdit1->setObjectName("SpinEdit1");
    SpinEdit1->setRange(1, NODES);
    SpinEdit1->setValue(1);
    SpinEdit1->setGeometry(L::SpinEdit);
    showing->setBuddy(SpinEdit1);
    connect(SpinEdit1, &QSpinBox::valueChanged, this, [this](int node) {
        NodeTabStop(node);
        if (overview_)
            overview_->ShowSelected(node);
    });

    SwitchArray1 = new TSwitchArray(client);
    SwitchArray1->setObjectName("SwitchArray1");
    SwitchArray1->setGeometry(L::SwitchArray);
    SwitchArray1->SetSwitchesPerLine(BREAKERS);
    SwitchArray1->SetRowFirst(true);
    SwitchArray1->SetDesignationOrientation(TSwitchArray::StVertical);
    SwitchArray1->SetHGap(24);
    SwitchArray1->SetVGap(20);
    SwitchArray1->SetIDSize(20);
    SwitchArray1->SetIDMove(0);
    SwitchArray1->SetCtrlClick(false);
    SwitchArray1->SetSmallSwitches(false);
    QStringList breakers;
    for (int n = 1; n <= BREAKERS; ++n)
        breakers << QString("Breaker %1,toggle,%1").arg(n);
    SwitchArray1->SetSwitches(breakers);
    SwitchArray1->SetShowsData(false); // until the selected node is reported
    connect(SwitchArray1, &TSwitchArray::OnSwitch, this,
            [this](quint16 position) { SwitchArray1Switch(position); });

    Label(client, "Current", L::CurrentLabel);
    for (int n = 1; n <= BREAKERS; ++n)
        FigureEdit(ReadOnlyEdit(client, QString("Edit%1").arg(n), L::CurrentEdit(n)))
            ->setAccessibleName(Q(CurrentEditName(n)));
    Label(client, "Fault", L::FaultLabel);
    for (int n = 1; n <= BREAKERS; ++n) {
        auto* shape = new Shape(Shape::Kind::Rectangle, client);
        shape->setObjectName(QString("Shape%1").arg(NODES + n));
        shape->Tag = n - 1;
        shape->setGeometry(L::FaultShape(n));
    }

    for (const auto& row : L::SettingsRows) {
        QLineEdit* edit = ReadOnlyEdit(client, QString("Edit%1").arg(row.edit), row.editAt);
        if (row.edit == 9) // the input voltage
            FigureEdit(edit);
        Label(client, row.label, row.labelAt)->setBuddy(edit);
    }
    Label(client, "* 2", L::TimesTwoLabel)
        ->setAccessibleName("A wigwag cycle takes twice the interval");

    for (const auto& place : L::Buttons) {
        auto* button = new QPushButton(place.caption, client);
        button->setObjectName(QString("Button%1").arg(place.button));
        button->setGeometry(place.at);
        button->setAutoDefault(false);
        // "..." says nothing to a screen reader: name it after its row.
        for (const auto& row : L::SettingsRows)
            if (std::string_view(place.caption) == "..." && row.labelAt.y() - place.at.y() >= 0 &&
                row.labelAt.y() - place.at.y() < 4)
                button->setAccessibleName(QString("%1 settings").arg(row.label));
    }
    const std::pair<int, void (TForm1::*)()> handlers[] = {
        {1, &TForm1::Button1Click}, {2, &TForm1::Button2Click}, {3, &TForm1::Button3Click},
        {4, &TForm1::Button4Click}, {5, &TForm1::Button5Click}, {6, &TForm1::Button6Click},
        {7, &TForm1::Button7Click}, {8, &TForm1::Button8Click}, {9, &TForm1::Button9Click},
    };
    for (const auto& [n, handler] : handlers) {
        auto* button = FindComponent<QPushButton>(this, QString("Button%1").arg(n));
        connect(button, &QPushButton::clicked, this, [this, h = handler] { (this->*h)(); });
    }

    auto* close =
        new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton), "Cl&ose", client);
    close->setObjectName("BitBtn1");
    close->setGeometry(L::CloseButton);
    connect(close, &QPushButton::clicked, this, &QWidget::close);

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    Timer1->start(std::chrono::ceil<std::chrono::milliseconds>(ticks_.FirstWait()));

    for (int n = 1; n <= NODES + BREAKERS; ++n)
        PaintIndicator(n, COLOUR_WHITE);
    NodeTabStop(1);
    // The window opens with the node selector, as it always did: no mark shows until the
    // keyboard moves.
    SpinEdit1->setFocus();
}

// Layout order: the node strip, the selector, the switches and their currents, then each
// settings row with its buttons, the action buttons, Close and the status line's Reconnect.
void TForm1::SetTabOrder() {
    QList<QWidget*> chain;
    for (int n = 1; n <= NODES; ++n)
        chain << ShapeN(n);
    chain << SpinEdit1 << SwitchArray1;
    for (int n = 1; n <= BREAKERS; ++n)
        chain << EditN(n);
    auto button = [this](int n) {
        return FindComponent<QPushButton>(centralWidget(), QString("Button%1").arg(n));
    };
    struct Row {
        int edit;
        int buttons[2]; // 0: none
    };
    const Row rows[] = {{9, {}},      {10, {1}}, {11, {2}}, {12, {}},
                        {13, {6, 3}}, {15, {4}}, {14, {5}}, {16, {7}}};
    for (const Row& row : rows) {
        chain << EditN(row.edit);
        for (int b : row.buttons)
            if (b != 0)
                chain << button(b);
    }
    chain << button(9) << button(8) << FindComponent<QPushButton>(centralWidget(), "BitBtn1")
          << statusLine_->ReconnectButton();
    for (int i = 1; i < chain.size(); ++i)
        setTabOrder(chain[i - 1], chain[i]);
}

void TForm1::NodeTabStop(int node) {
    for (int n = 1; n <= NODES; ++n)
        if (n != node)
            ShapeN(n)->setFocusPolicy(Qt::NoFocus);
    ShapeN(node)->setFocusPolicy(Qt::TabFocus);
}

void TForm1::MoveNodeFocus(int node) {
    node = std::clamp(node, 1, NODES);
    Shape* to = ShapeN(node);
    to->setFocusPolicy(Qt::TabFocus);
    to->setFocus(Qt::TabFocusReason);
    NodeTabStop(node);
}

void TForm1::PaintIndicator(int n, const Rgb& colour) {
    Shape* shape = ShapeN(n);
    const QColor c = ToColor(colour);
    if (shape->BrushColor() == c && !shape->accessibleName().isEmpty())
        return;
    shape->SetBrushColor(c);
    shape->setAccessibleName(
        Q(n <= NODES ? NodeIndicatorReading(n, colour) : FaultIndicatorReading(n - NODES, colour)));
}

void TForm1::ShowFaultMarks(bool blank) {
    for (std::size_t n = 0; n < NODE_COUNT; ++n) {
        const std::uint8_t faults = blank ? 0 : NodeFaults(link_.StatusRecord, n);
        if (faults == markedFaults_[n])
            continue;
        markedFaults_[n] = faults;
        const QString text = Q(FaultsText(faults));
        Shape* mark = faultMarks_[n];
        mark->setVisible(faults != 0);
        mark->setAccessibleName(faults ? QString("Orvik node %1: %2").arg(n + 1).arg(text) : "");
        ShapeN(static_cast<int>(n) + 1)->setAccessibleDescription(text);
    }
}

// Found by their composed names once; the display then reaches them at every frame.
QLineEdit* TForm1::EditN(int n) const {
    QLineEdit*& edit = edits_[static_cast<std::size_t>(n)];
    if (!edit)
        edit = FindComponent<QLineEdit>(centralWidget(), QString("Edit%1").arg(n));
    return edit;
}

Shape* TForm1::ShapeN(int n) const {
    Shape*& shape = shapes_[static_cast<std::size_t>(n)];
    if (!shape)
        shape = FindComponent<Shape>(centralWidget(), QString("Shape%1").arg(n));
    return shape;
}
