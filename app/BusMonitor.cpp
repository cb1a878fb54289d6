#include "app/BusMonitor.h"

#include "app/FileChooser.h"
#include "app/Messages.h"
#include "app/ProgramTitle.h"
#include "app/SteadyLabel.h"
#include "app/SteadyScrollBar.h"
#include "app/TrafficDelegate.h"
#include "app/TrafficModel.h"
#include "app/WindowPlace.h"
#include "link/base/FileReplace.h"
#include "link/capture/Pcapng.h"
#include "link/protocol/FrameDecode.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

using namespace orvik;

namespace {

QComboBox* Combo(QWidget* parent, const char* name, const QStringList& items) {
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->addItems(items);
    return box;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& caption) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

} // namespace

BusMonitor::BusMonitor(FrameLog& log, std::function<std::string()> portName, QWidget* parent)
    : QWidget(parent, Qt::Window), log_(log), portName_(std::move(portName)) {
    setObjectName("BusMonitor");
    setWindowTitle("Bus monitor");
    resize(780, 560);

    QStringList nodes{"All nodes"};
    for (int n = 1; n <= 8; ++n)
        nodes << QString("Orvik node %1").arg(n);
    direction_ = Combo(this, "DirectionFilter", {"Both directions", "From the bus", "To the bus"});
    direction_->setAccessibleName("Direction");
    node_ = Combo(this, "NodeFilter", nodes);
    node_->setAccessibleName("Node");
    node_->setToolTip("Commands to the node and its breaker setup replies; status frames "
                      "concern every node");
    kind_ = Combo(this, "KindFilter",
                  {"All frames", "Status frames", "Breaker setup replies", "Commands",
                   "Dropped and ignored", "Noise"});
    kind_->setAccessibleName("Kind of record");
    pause_ = Button(this, "PauseButton", "&Pause");
    pause_->setCheckable(true);
    pause_->setToolTip("Stops the table; the log goes on recording");
    auto* clear = Button(this, "ClearButton", "C&lear");
    clear->setToolTip("Forgets the records and the counters");
    auto* save = Button(this, "SaveButton", "&Save capture...");
    save->setToolTip("Saves every record kept (the last 100 000), whatever the filters show, "
                     "as a pcapng capture");

    auto* bar = new QHBoxLayout;
    for (QWidget* w : {static_cast<QWidget*>(direction_), static_cast<QWidget*>(node_),
                       static_cast<QWidget*>(kind_)})
        bar->addWidget(w);
    bar->addStretch(1);
    bar->addWidget(pause_);
    bar->addWidget(clear);
    bar->addWidget(save);

    // A plain label: a selectable one lays its text out as a document at every refresh, which
    // costs more than the rows. The counters are copied from its menu.
    counters_ = new SteadyLabel(this);
    QLabel* counters = counters_->Label();
    counters->setObjectName("Counters");
    counters->setTextFormat(Qt::PlainText);
    counters->setAccessibleName("Counters");
    auto* copy = new QAction("&Copy counters", counters);
    copy->setObjectName("CopyCountersAction");
    counters->addAction(copy);
    counters->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(copy, &QAction::triggered, this,
            [counters] { QGuiApplication::clipboard()->setText(counters->text()); });
    status_ = new QLabel(this);
    status_->setObjectName("SaveStatus");

    model_ = new TrafficModel(log_, this);
    table_ = new QTableView(this);
    table_->setObjectName("Traffic");
    table_->setAccessibleName("Records of the line");
    table_->setModel(model_);
    auto* delegate = new TrafficDelegate(table_);
    table_->setItemDelegate(delegate);
    delegate->TakeGrid(*table_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setWordWrap(false);
    table_->setVerticalScrollBar(new SteadyScrollBar(Qt::Vertical, table_));
    table_->verticalHeader()->hide();
    // Fixed sizes: nothing is measured per row, whatever the rate.
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    table_->horizontalHeader()->setStretchLastSection(true);
    const int widths[] = {90, 70, 40, 260, 140};
    for (int c = 0; c < 5; ++c)
        table_->setColumnWidth(c, widths[c]);

    details_ = new QPlainTextEdit(this);
    details_->setObjectName("Details");
    details_->setReadOnly(true);
    details_->setMaximumHeight(150);
    details_->setPlaceholderText("Choose a row to see its fields");
    details_->setAccessibleName("Fields of the chosen record");

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(counters_);
    layout->addWidget(table_, 1);
    layout->addWidget(details_);
    layout->addWidget(status_);

    for (QComboBox* box : {direction_, node_, kind_})
        connect(box, &QComboBox::currentIndexChanged, this, [this] { FilterChanged(); });
    connect(clear, &QPushButton::clicked, this, [this] { ClearClick(); });
    connect(save, &QPushButton::clicked, this, [this] { SaveCaptureClick(); });
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { ShowDetails(); });
    connect(new QShortcut(QKeySequence::Cancel, this), &QShortcut::activated, this,
            &QWidget::close);

    PlaceBeside(this, parent, width());

    timer_ = new QTimer(this);
    timer_->setInterval(500);
    connect(timer_, &QTimer::timeout, this, [this] {
        if (isVisible())
            Refresh();
    });
    timer_->start();
    Refresh();
    table_->scrollToBottom();
}

void BusMonitor::Refresh() {
    counters_->setText(CountersText());
    if (pause_->isChecked())
        return;
    // Follow the newest rows only while the view is at the bottom.
    const QScrollBar* bar = table_->verticalScrollBar();
    const bool atBottom = bar->value() >= bar->maximum();
    if (model_->Refresh() > 0 && atBottom)
        table_->scrollToBottom();
}

QString BusMonitor::CountersText() const {
    const LinkCounters& c = log_.Counters();
    auto n = [&c](FrameOutcome o) { return QString::number(c.Of(o)); };
    return QString("From the bus: %1 bytes, %2 frames accepted, %3 frames/s; noise: %4 bytes in "
                   "%5 runs\nDropped: bad sum %6, bad XOR %7; ignored: short status frame %8, "
                   "short setup frame %9, ignored type %10, reply from another node %11\n"
                   "To the bus: %12 commands sent, %13 not sent, %14 bytes")
        .arg(c.bytesIn)
        .arg(n(FrameOutcome::Accepted))
        .arg(log_.FramesPerSecond(log_.Now()))
        .arg(c.noiseBytes)
        .arg(n(FrameOutcome::Noise), n(FrameOutcome::BadSum), n(FrameOutcome::BadXor),
             n(FrameOutcome::ShortStatus), n(FrameOutcome::ShortSetup),
             n(FrameOutcome::IgnoredType), n(FrameOutcome::OtherNode), n(FrameOutcome::Sent),
             n(FrameOutcome::NotSent))
        .arg(c.bytesOut);
}

void BusMonitor::FilterChanged() {
    TrafficModel::Filter f;
    f.direction = direction_->currentIndex(); // 1 inbound, 2 outbound, as Direction
    f.node = node_->currentIndex();
    f.kind = static_cast<TrafficModel::Kind>(kind_->currentIndex());
    model_->SetFilter(f);
    table_->scrollToBottom();
}

void BusMonitor::ClearClick() {
    log_.Clear();
    model_->Refresh();
    details_->clear();
    counters_->setText(CountersText());
}

void BusMonitor::ShowDetails() {
    const FrameRecord* r = model_->RecordAt(table_->currentIndex().row());
    if (!r) {
        details_->clear();
        return;
    }
    const DecodedFrame d = DecodeFrame(*r, true);
    QString text = QString::fromStdString(d.summary) + " (" + OutcomeText(r->outcome) + ")\n";
    for (const DecodedField& f : d.fields)
        text += QString::fromStdString(f.name + ": " + f.value) + "\n";
    text += QString::fromStdString(HexText(r->bytes.data(), r->length, r->length));
    details_->setPlainText(text);
}

void BusMonitor::SaveCaptureClick() {
    const QString path =
        ChooseFileToSave(this, "Save capture",
                         QDateTime::currentDateTime().toString("'orvik-'yyyyMMdd-HHmmss'.pcapng'"),
                         "Captures (*.pcapng);;All files (*)");
    if (!path.isEmpty())
        SaveCapture(path);
}

bool BusMonitor::SaveCapture(const QString& path) {
    const std::vector<std::uint8_t> bytes =
        CaptureOfLog(log_, {PROGRAM_TITLE, portName_ ? portName_() : "",
                            "Orvik bus; inbound: from the bus to the PC"});
    // Written whole or not at all: a temporary file, renamed at the end; never over a device.
    std::string reason;
    if (ReplaceFileWhole(
            path.toStdString(),
            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
            &reason) != ReplaceResult::Replaced) {
        messages::ShowMessage(this, "Unable to write to " + QDir::toNativeSeparators(path) + ": " +
                                        QString::fromStdString(reason) + ".");
        return false;
    }
    status_->setText(
        QString("Saved %1 records to %2").arg(log_.Size()).arg(QDir::toNativeSeparators(path)));
    return true;
}
