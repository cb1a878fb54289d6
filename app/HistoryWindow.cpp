#include "app/HistoryWindow.h"

#include "app/BackgroundRead.h"
#include "app/EventsModel.h"
#include "app/FileChooser.h"
#include "app/HistoryAccessible.h"
#include "app/HistoryPlot.h"
#include "app/Messages.h"
#include "app/WindowPlace.h"
#include "link/base/FileReplace.h"
#include "link/base/LocalTime.h"
#include "link/history/HistoryCsv.h"
#include "link/history/HistoryReplay.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QInputDialog>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSplitter>
#ifdef ORVIK_WITH_SVG
#include <QSvgGenerator>
#endif
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>
#include <sstream>

using namespace orvik;

namespace {

constexpr std::int64_t MINUTE_MS = 60 * 1000;
// The spans offered, in the span box's order; 0 is everything.
constexpr std::int64_t SPANS[] = {MINUTE_MS, 10 * MINUTE_MS, 60 * MINUTE_MS, 0};
constexpr const char* SPAN_NAMES[] = {"1 minute", "10 minutes", "1 hour", "Everything"};
constexpr int LIVE_SPAN = 1;      // what a live window opens with
constexpr int RECORDING_SPAN = 3; // a recording is shown whole
constexpr int NODES = static_cast<int>(NODE_COUNT);
#ifdef ORVIK_WITH_SVG
constexpr const char* PICTURE_FILTER = "PNG picture (*.png);;SVG picture (*.svg);;All files (*)";
#else
constexpr const char* PICTURE_FILTER = "PNG picture (*.png);;All files (*)";
#endif

// Written whole or not at all; false with the reason shown.
bool WriteWhole(QWidget* parent, const QString& path, const std::string& text) {
    std::string reason;
    if (ReplaceFileWhole(path.toStdString(), text, &reason) == ReplaceResult::Replaced)
        return true;
    messages::ShowMessage(parent, "Unable to write to " + QDir::toNativeSeparators(path) + ": " +
                                      QString::fromStdString(reason) + ".");
    return false;
}

} // namespace

HistoryWindow::HistoryWindow(const BusHistory& history, std::function<std::int64_t()> now,
                             QWidget* parent)
    : QWidget(parent, Qt::Window), history_(history), now_(std::move(now)) {
    InstallHistoryAccessibility();
    setWindowTitle("History");
    Build(true);
}

HistoryWindow::HistoryWindow(std::unique_ptr<BusHistory> history, const QString& file,
                             const QString& note, QWidget* parent)
    : QWidget(parent, Qt::Window), owned_(std::move(history)), history_(*owned_) {
    InstallHistoryAccessibility();
    setWindowTitle("History - " + QFileInfo(file).fileName());
    setAttribute(Qt::WA_DeleteOnClose);
    Build(false);
    ShowNote(note);
    // A recording is shown whole; its first node on the bus first.
    for (int n = 1; n <= NODES; ++n)
        if (history_.Nodes() & (1 << (n - 1))) {
            SetNode(n);
            break;
        }
    span_->setCurrentIndex(RECORDING_SPAN);
}

HistoryWindow::~HistoryWindow() = default;

void HistoryWindow::Build(bool live) {
    setObjectName(live ? "History" : "RecordingHistory");
    resize(960, 720);
    QMenuBar* menus = BuildMenus(live);
    QLayout* bar = BuildBar();

    plot_ = new HistoryPlot(history_, now_, this);
    plot_->SetSpan(SPANS[LIVE_SPAN]);
    if (!live)
        plot_->GoLive(); // the view ends at the recording's last frame

    QWidget* events = BuildEvents();
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(plot_);
    split->addWidget(events);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(menus);
    layout->addLayout(bar);
    layout->addWidget(split, 1);
    setTabOrder(node_, span_);
    setTabOrder(span_, liveButton_);
    setTabOrder(liveButton_, plot_);
    setTabOrder(plot_, nodeFilter_);
    setTabOrder(nodeFilter_, kindFilter_);
    setTabOrder(kindFilter_, table_);

    connect(node_, &QComboBox::currentIndexChanged, this,
            [this](int index) { plot_->SetNode(index + 1); });
    connect(span_, &QComboBox::currentIndexChanged, this, [this](int i) { SpanChosen(i); });
    connect(liveButton_, &QPushButton::clicked, this, [this] { plot_->GoLive(); });
    connect(nodeFilter_, &QComboBox::currentIndexChanged, this, [this] { ApplyFilter(); });
    connect(kindFilter_, &QComboBox::currentIndexChanged, this, [this] { ApplyFilter(); });
    connect(plot_, &HistoryPlot::ViewChanged, this, [this] { ShowSpanOf(plot_->Span()); });

    PlaceBeside(this, parentWidget(), 720);

    // At most ten paints a second, whatever the bus's rate; once a second while it is quiet,
    // so that the live view still moves on.
    timer_ = new QTimer(this);
    timer_->setInterval(100);
    connect(timer_, &QTimer::timeout, this, [this] { Refresh(); });
    paintClock_.start();
    if (live)
        timer_->start();
}

// File: recordings, exports and the picture; Recording, in the live window only.
QMenuBar* HistoryWindow::BuildMenus(bool live) {
    auto* menus = new QMenuBar(this);
    QMenu* file = menus->addMenu("&File");
    auto add = [this](QMenu* menu, const QString& text, const QString& name,
                      const QKeySequence& keys, auto&& action) {
        QAction* a = menu->addAction(text);
        a->setObjectName(name);
        a->setShortcut(keys);
        connect(a, &QAction::triggered, this, action);
        return a;
    };
    add(file, "&Open recording...", "OpenRecording", QKeySequence::Open, [this] {
        const QString path =
            ChooseFileToOpen(this, "Open recording", "Captures (*.pcapng);;All files (*)");
        if (!path.isEmpty())
            if (HistoryWindow* w =
                    OpenRecording(path, parentWidget() ? parentWidget() : this, std::nullopt, this))
                w->show();
    });
    add(file, "Export &CSV...", "ExportCsv", QKeySequence("Ctrl+E"), [this] {
        const QString path = ChooseFileToSave(
            this, "Export CSV", QString("orvik-node%1.csv").arg(node_->currentIndex() + 1),
            "CSV (*.csv);;All files (*)");
        if (!path.isEmpty())
            ExportCsv(path);
    });
    add(file, "Export &events...", "ExportEvents", QKeySequence("Ctrl+Shift+E"), [this] {
        const QString path = ChooseFileToSave(this, "Export events", "orvik-events.csv",
                                              "CSV (*.csv);;All files (*)");
        if (!path.isEmpty())
            ExportEvents(path);
    });
    add(file, "Save &picture...", "SavePicture", QKeySequence("Ctrl+P"), [this] {
        const QString path =
            ChooseFileToSave(this, "Save picture", "orvik-history.png", PICTURE_FILTER);
        if (!path.isEmpty())
            SavePicture(path);
    });
    file->addSeparator();
    add(file, "C&lose", "CloseHistory", QKeySequence::Close, [this] { close(); });
    if (live) {
        QMenu* recording = menus->addMenu("&Recording");
        record_ = add(recording, "&Record", "Record", QKeySequence("Ctrl+R"), [this](bool on) {
            if (OnRecord)
                OnRecord(on);
        });
        record_->setCheckable(true);
        everyRun_ = add(recording, "Record &every run", "RecordEveryRun", {}, [this](bool on) {
            if (OnRecordEveryRun)
                OnRecordEveryRun(on);
        });
        everyRun_->setCheckable(true);
    }
    return menus;
}

// The bar above the plot: node, span, Live and the note.
QLayout* HistoryWindow::BuildBar() {
    node_ = new QComboBox(this);
    node_->setObjectName("HistoryNode");
    for (int n = 1; n <= NODES; ++n)
        node_->addItem(QString("Orvik node %1").arg(n));
    span_ = new QComboBox(this);
    span_->setObjectName("HistorySpan");
    for (const char* name : SPAN_NAMES)
        span_->addItem(name);
    span_->setCurrentIndex(LIVE_SPAN);
    liveButton_ = new QPushButton("&Live", this);
    liveButton_->setObjectName("LiveButton");
    liveButton_->setToolTip("Follow the bus again (or double-click the plot)");
    note_ = new QLabel(this);
    note_->setObjectName("HistoryNote");
    // A long note never widens the window; the whole of it is in the tooltip.
    note_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    note_->installEventFilter(this);
    auto* nodeLabel = new QLabel("&Node:", this);
    nodeLabel->setBuddy(node_);
    node_->setAccessibleName("Node");
    auto* spanLabel = new QLabel("&Span:", this);
    spanLabel->setBuddy(span_);
    span_->setAccessibleName("Span");
    auto* bar = new QHBoxLayout;
    bar->addWidget(nodeLabel);
    bar->addWidget(node_);
    bar->addWidget(spanLabel);
    bar->addWidget(span_);
    bar->addWidget(liveButton_);
    bar->addWidget(note_, 1);
    return bar;
}

// The events under the plot: their filters and the table; a double click shows an event's
// time in the plot.
QWidget* HistoryWindow::BuildEvents() {
    events_ = new EventsModel(history_, this);
    table_ = new QTableView(this);
    table_->setObjectName("HistoryEvents");
    table_->setAccessibleName("Events");
    table_->setModel(events_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setColumnWidth(EventsModel::ColTime, 170);
    table_->setColumnWidth(EventsModel::ColNode, 100);
    table_->setColumnWidth(EventsModel::ColBreaker, 60);
    table_->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* copy = new QAction("&Copy", table_);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    table_->addAction(copy);
    connect(copy, &QAction::triggered, this, [this] { CopyRows(); });
    connect(table_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        if (const BusEvent* e = events_->EventAt(index.row())) {
            if (e->node)
                SetNode(e->node);
            plot_->CentreOn(e->timeMs);
            ShowSpanOf(plot_->Span());
        }
    });

    nodeFilter_ = new QComboBox(this);
    nodeFilter_->setObjectName("EventNodeFilter");
    nodeFilter_->setAccessibleName("Events of node");
    nodeFilter_->addItem("All nodes");
    for (int n = 1; n <= NODES; ++n)
        nodeFilter_->addItem(QString("Orvik node %1").arg(n));
    kindFilter_ = new QComboBox(this);
    kindFilter_->setObjectName("EventKindFilter");
    kindFilter_->setAccessibleName("Events of kind");
    kindFilter_->addItem("All events");
    for (std::size_t g = 0; g < EVENT_GROUP_COUNT; ++g)
        kindFilter_->addItem(EventGroupName(static_cast<EventGroup>(g)));
    auto* eventsLabel = new QLabel("E&vents:", this);
    eventsLabel->setBuddy(table_);
    auto* filters = new QHBoxLayout;
    filters->addWidget(eventsLabel);
    filters->addWidget(nodeFilter_);
    filters->addWidget(kindFilter_);
    filters->addStretch(1);
    auto* lower = new QWidget(this);
    auto* lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(0, 0, 0, 0);
    lowerLayout->addLayout(filters);
    lowerLayout->addWidget(table_);
    return lower;
}

HistoryWindow* HistoryWindow::OpenRecording(const QString& path, QWidget* parent,
                                            std::optional<int> day, QWidget* asker) {
    // Its questions, progress and errors belong to the window the user worked in.
    QWidget* owner = asker ? asker : parent;
    // A first reading for the recording's length: longer than the history holds, the user
    // chooses which day of it to see.
    const QString name = QFileInfo(path).fileName();
    ScanControl measure;
    RecordingSpan span;
    ReadInBackground(owner, "Reading " + name + "...", measure,
                     [&] { span = ScanRecordingSpan(path.toStdString(), &measure); });
    if (span.scan.cancelled)
        return nullptr;
    if (span.scan.NotACapture()) {
        messages::ShowMessage(owner,
                              QDir::toNativeSeparators(path) + " is not a recording of the bus.",
                              QString::fromStdString(span.scan.error));
        return nullptr;
    }
    const std::int64_t keepMs = HistoryLimits{}.keepMs;
    std::int64_t untilMs = -1;
    QString shown;
    if (span.spanMs > keepMs) {
        // Whole days from the start, then the last 24 hours.
        std::vector<std::int64_t> ends;
        for (std::int64_t end = keepMs; end < span.spanMs; end += keepMs)
            ends.push_back(end);
        ends.push_back(span.spanMs + 1);
        QStringList names;
        for (const std::int64_t end : ends)
            names << QString("%1 to %2")
                         .arg(QString::fromStdString(LocalTimeText(span.firstMs + end - keepMs)))
                         .arg(QString::fromStdString(LocalTimeText(span.firstMs + end - 1)));
        int chosen = static_cast<int>(ends.size()) - 1;
        if (day) {
            chosen = *day < 0 ? chosen : std::min(*day, chosen);
        } else {
            bool ok = false;
            const QString picked = QInputDialog::getItem(
                owner, "Open recording",
                QString("%1 runs %2 hours; the history shows 24 of them. Show:")
                    .arg(name)
                    .arg((span.spanMs + 1'800'000) / 3'600'000),
                names, chosen, false, &ok);
            if (!ok)
                return nullptr;
            chosen = static_cast<int>(names.indexOf(picked));
        }
        untilMs = ends[static_cast<std::size_t>(chosen)];
        shown = QString("Shows 24 of the recording's %1 hours: %2.")
                    .arg((span.spanMs + 1'800'000) / 3'600'000)
                    .arg(names[chosen]);
    }
    auto history = std::make_unique<BusHistory>();
    ScanControl replay;
    ReplayResult result;
    ReadInBackground(owner, "Reading " + name + "...", replay, [&] {
        result = ReplayCapture(path.toStdString(), *history, untilMs, &replay);
    });
    if (result.scan.cancelled)
        return nullptr;
    QStringList note;
    if (!shown.isEmpty())
        note << shown;
    if (result.scan.damagedBlocks > 0)
        note << QString::fromStdString(result.DamageText()) + " in the recording.";
    if (!result.Ok())
        note << "Shown up to where the recording breaks off: " +
                    QString::fromStdString(result.BreakText()) + ".";
    return new HistoryWindow(std::move(history), path, note.join(" "), parent);
}

void HistoryWindow::SetNode(int node) {
    node_->setCurrentIndex(std::clamp(node, 1, NODES) - 1);
}

void HistoryWindow::SetRecordingState(bool recording, bool everyRun, const QString& note) {
    if (record_)
        record_->setChecked(recording);
    if (everyRun_)
        everyRun_->setChecked(everyRun);
    ShowNote(note);
}

void HistoryWindow::ShowNote(const QString& note) {
    note_->setToolTip(note);
    const QString shown =
        note_->fontMetrics().elidedText(note, Qt::ElideMiddle, std::max(80, note_->width()));
    if (note_->text() != shown)
        note_->setText(shown);
}

bool HistoryWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == note_ && event->type() == QEvent::Resize)
        ShowNote(note_->toolTip());
    return QWidget::eventFilter(watched, event);
}

void HistoryWindow::Refresh() {
    const std::uint64_t frames = history_.StatusFrames();
    const std::uint64_t events = history_.Events().NextSeq();
    if (events != eventsSeen_) {
        // A table scrolled to its end stays at the end as events come.
        QScrollBar* bar = table_->verticalScrollBar();
        const bool atEnd = bar->value() == bar->maximum();
        events_->Refresh();
        if (atEnd)
            table_->scrollToBottom();
    }
    // At most ten paints a second, and no more often than a pixel column's time: a new frame
    // changes only the last column. An event is shown at once; a quiet live view still moves
    // on once a second.
    const std::int64_t now = paintClock_.elapsed();
    const bool due = now - paintedAt_ >= std::clamp<std::int64_t>(plot_->ColumnMs(), 100, 1000);
    if (events != eventsSeen_ || (due && (frames != framesSeen_ || plot_->Live()))) {
        paintedAt_ = now;
        plot_->update();
    }
    framesSeen_ = frames;
    eventsSeen_ = events;
}

void HistoryWindow::ApplyFilter() {
    const int kind = kindFilter_->currentIndex();
    events_->SetFilter(nodeFilter_->currentIndex(),
                       kind == 0 ? std::nullopt
                                 : std::optional<EventGroup>(static_cast<EventGroup>(kind - 1)));
}

void HistoryWindow::SpanChosen(int index) {
    const int offered = static_cast<int>(std::size(SPANS));
    if (index < 0 || index >= offered)
        return;
    plot_->SetSpan(SPANS[index]);
    if (span_->count() > offered) {
        const QSignalBlocker quiet(span_);
        span_->removeItem(offered);
    }
}

QString SpanText(std::int64_t spanMs) {
    const std::int64_t s = (spanMs + 500) / 1000;
    if (s == 3600 || s == 60)
        return s == 60 ? "1 minute" : "1 hour";
    if (s >= 3600)
        return s % 3600 / 60 ? QString("%1 h %2 min").arg(s / 3600).arg(s % 3600 / 60)
                             : QString("%1 hours").arg(s / 3600);
    if (s >= 60)
        return s % 60 ? QString("%1 min %2 s").arg(s / 60).arg(s % 60)
                      : QString("%1 minutes").arg(s / 60);
    return QString("%1 seconds").arg(s);
}

void HistoryWindow::ShowSpanOf(std::int64_t spanMs) {
    const QSignalBlocker quiet(span_);
    const int offered = static_cast<int>(std::size(SPANS));
    for (int i = 0; i < offered; ++i)
        if (SPANS[i] == spanMs) {
            if (span_->count() > offered)
                span_->removeItem(offered);
            span_->setCurrentIndex(i);
            return;
        }
    // A zoomed view: the box says the span shown, as an entry of its own.
    if (span_->count() == offered)
        span_->addItem(SpanText(spanMs));
    else
        span_->setItemText(offered, SpanText(spanMs));
    span_->setCurrentIndex(offered);
}

void HistoryWindow::CopyRows() {
    QList<int> rows;
    for (const QModelIndex& index : table_->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    if (!rows.isEmpty())
        QApplication::clipboard()->setText(events_->RowsText(rows));
}

bool HistoryWindow::ExportCsv(const QString& path) {
    std::ostringstream out;
    WriteStatusCsv(out, history_, plot_->Node(), plot_->ViewFrom(), plot_->ViewTo());
    return WriteWhole(this, path, out.str());
}

bool HistoryWindow::ExportEvents(const QString& path) {
    std::ostringstream out;
    WriteEventsCsv(out, history_, nodeFilter_->currentIndex());
    return WriteWhole(this, path, out.str());
}

QString HistoryWindow::PictureTitle() const {
    const QDateTime from = QDateTime::fromMSecsSinceEpoch(plot_->ViewFrom());
    const QDateTime to = QDateTime::fromMSecsSinceEpoch(plot_->ViewTo());
    return QString("Orvik node %1, %2 to %3 (%4)")
        .arg(plot_->Node())
        .arg(from.toString("yyyy-MM-dd HH:mm:ss"))
        .arg(to.toString(to.date() == from.date() ? "HH:mm:ss" : "yyyy-MM-dd HH:mm:ss"))
        .arg(SpanText(plot_->ViewTo() - plot_->ViewFrom()));
}

bool HistoryWindow::SavePicture(const QString& path) {
    // The plot under a title that says what it shows, so that the picture speaks for itself.
    const QString title = PictureTitle();
    const int band = QFontMetrics(plot_->font()).height() * 2;
    const QSize plotSize = plot_->size();
    const QSize size(plotSize.width(), plotSize.height() + band);
    const auto draw = [&](QPainter& painter) {
        painter.fillRect(QRect(0, 0, size.width(), band), Qt::white);
        painter.setFont(plot_->font());
        painter.setPen(Qt::black);
        painter.drawText(QRect(0, 0, size.width(), band), Qt::AlignCenter, title);
        painter.translate(0, band);
        plot_->Render(painter, plotSize);
    };
    if (path.endsWith(".svg", Qt::CaseInsensitive)) {
#ifndef ORVIK_WITH_SVG
        messages::ShowMessage(this, "Unable to save " + QDir::toNativeSeparators(path) +
                                        ": this build saves the picture as PNG only; choose a "
                                        "name ending in .png.");
        return false;
#else
        // Drawn into memory first: a file that cannot be written is said, never half made.
        QByteArray svg;
        QBuffer buffer(&svg);
        buffer.open(QIODevice::WriteOnly);
        QSvgGenerator generator;
        generator.setOutputDevice(&buffer);
        generator.setSize(size);
        generator.setViewBox(QRect(QPoint(0, 0), size));
        generator.setTitle(title);
        QPainter painter(&generator);
        draw(painter);
        painter.end();
        return WriteWhole(this, path, svg.toStdString());
#endif
    }
    QImage image(size * plot_->devicePixelRatio(), QImage::Format_RGB32);
    image.setDevicePixelRatio(plot_->devicePixelRatio());
    QPainter painter(&image);
    draw(painter);
    painter.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return WriteWhole(this, path, png.toStdString());
}
