#include "app/NodeSettingsDialog.h"

#include "link/nodefiles/NodeSettingsFile.h"
#include "widgets/FormFont.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace orvik;

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

QString NodeName(int node) {
    return QString("Orvik node %1").arg(node);
}

} // namespace

NodeSettingsDialog::NodeSettingsDialog(LinkState& link, QWidget* parent)
    : QDialog(parent), link_(link) {
    setObjectName("NodeSettingsDialog");
    UseFormFont(this);
    resize(640, 420);

    Text = new QLabel(this);
    Text->setObjectName("Text");
    Text->setWordWrap(true);
    Table = new QTreeWidget(this);
    Table->setObjectName("Table");
    Table->setRootIsDecorated(false);
    Table->setHeaderLabels({"Setting", "Now", "File", "Result"});
    Table->setAccessibleName("Settings");
    Table->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ApplyButton = new QPushButton("&Apply", this);
    ApplyButton->setObjectName("ApplyButton");
    CloseButton = new QPushButton("&Close", this);
    CloseButton->setObjectName("CloseButton");
    ApplyButton->setAutoDefault(false);
    CloseButton->setDefault(true); // Enter never sends
    connect(ApplyButton, &QPushButton::clicked, this, [this] { ApplyClick(); });
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::reject);
    // Closed in any way: nothing more is sent.
    connect(this, &QDialog::finished, this, [this] { Stop(); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ApplyButton);
    buttons->addWidget(CloseButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Text);
    layout->addWidget(Table);
    layout->addLayout(buttons);
}

NodeSettingsDialog::~NodeSettingsDialog() = default;

void NodeSettingsDialog::Begin(const QString& title, int node, const std::string& path) {
    setWindowTitle(title);
    node_ = node;
    path_ = path;
    apply_.reset();
    Table->clear();
    Table->headerItem()->setText(1, "Now");
    Table->setVisible(!saving_);
    ApplyButton->setVisible(!saving_);
    ApplyButton->setEnabled(false);
    Text->setText(QString("Reading the settings of %1 ...").arg(NodeName(node)));
    read_ = std::make_unique<NodeRead>(link_, node);
    read_->Start(LinkClock::now());
    open(); // window-modal, no loop of its own
}

void NodeSettingsDialog::StartSave(int node, const std::string& path) {
    saving_ = true;
    Begin("Save node settings", node, path);
}

void NodeSettingsDialog::StartApply(int node, const std::string& path, const NodeSettings& file) {
    saving_ = false;
    file_ = file;
    Begin("Apply node settings", node, path);
}

void NodeSettingsDialog::OnStatus() {
    const LinkTime now = LinkClock::now();
    if (read_)
        read_->OnStatus(now);
    if (apply_)
        apply_->OnStatus(now);
    Advance();
}

void NodeSettingsDialog::OnSetupStored() {
    const LinkTime now = LinkClock::now();
    if (read_)
        read_->OnSetupStored(now);
    if (apply_)
        apply_->OnSetupStored(now);
    Advance();
}

void NodeSettingsDialog::Tick() {
    const LinkTime now = LinkClock::now();
    if (read_)
        read_->Tick(now);
    if (apply_)
        apply_->Tick(now);
    Advance();
}

void NodeSettingsDialog::Advance() {
    if (read_ && read_->Finished())
        ReadFinished();
    else if (apply_)
        ShowResults();
}

void NodeSettingsDialog::ReadFinished() {
    const std::unique_ptr<NodeRead> read = std::move(read_);
    const QString problem = Q(read->Problem());
    const QString node = NodeName(node_);
    if (read->GetState() != NodeRead::State::Read || (saving_ && !read->TripSettingsRead())) {
        Text->setText(QString("%1 could not be read: %2.").arg(node, problem));
        return;
    }
    if (saving_) {
        std::string error;
        std::vector<std::string> skipped;
        if (!SaveNodeSettingsFile(path_, read->Settings(), error, &skipped)) {
            Text->setText(QString("%1: %2").arg(Q(path_), Q(error)));
            return;
        }
        QString text = QString("Saved the settings of %1 to %2.").arg(node, Q(path_));
        for (const auto& s : skipped)
            text += "\nNot saved, as no command sets such a value: " + Q(s) + ".";
        Text->setText(text);
        return;
    }
    apply_ = std::make_unique<NodeApply>(link_, node_, read->Settings(), file_);
    const auto& outcomes = apply_->Outcomes();
    for (const SettingOutcome& o : outcomes) {
        const SettingDifference& d = o.difference;
        auto* row = new QTreeWidgetItem(Table);
        row->setText(0, Q(SettingName(d.id)));
        row->setText(1, d.now ? Q(SettingReading(d.id, *d.now)) : "not known");
        row->setText(2, Q(SettingReading(d.id, d.file)));
        if (o.result == ApplyResult::NotApplicable)
            row->setText(3, "not applicable: needs the programmable profile");
    }
    const QString unknown = read->TripSettingsRead() ? QString() : "\n" + problem + ".";
    if (outcomes.empty()) {
        Text->setText(
            QString("%1 already matches %2; nothing to send.%3").arg(node, Q(path_), unknown));
        apply_.reset();
        return;
    }
    Text->setText(QString("%1 of %2 differ from %3. Send them with Apply?%4")
                      .arg(outcomes.size() == 1 ? QString("1 setting")
                                                : QString("%1 settings").arg(outcomes.size()),
                           node, Q(path_), unknown));
    ApplyButton->setEnabled(true);
}

void NodeSettingsDialog::ApplyClick() {
    if (!apply_ || !ApplyButton->isEnabled())
        return;
    ApplyButton->setEnabled(false);
    Table->headerItem()->setText(1, "Before");
    Text->setText(QString("Sending to %1 and checking each setting ...").arg(NodeName(node_)));
    apply_->Start(LinkClock::now());
    ShowResults();
}

void NodeSettingsDialog::ShowResults() {
    int counts[4] = {};
    const auto& outcomes = apply_->Outcomes();
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        const SettingOutcome& o = outcomes[i];
        ++counts[static_cast<int>(o.result)];
        if (o.result == ApplyResult::Confirmed || o.result == ApplyResult::NotConfirmed)
            Table->topLevelItem(static_cast<int>(i))
                ->setText(3, o.result == ApplyResult::Confirmed
                                 ? "confirmed"
                                 : QString("not confirmed after %1 sends").arg(o.sends));
    }
    if (apply_->Finished() && !ApplyButton->isEnabled()) {
        Text->setText(QString("%1: %2 confirmed, %3 not confirmed, %4 not applicable.")
                          .arg(NodeName(node_))
                          .arg(counts[1])
                          .arg(counts[2])
                          .arg(counts[3]));
        apply_.reset();
    }
}

void NodeSettingsDialog::Stop() {
    read_.reset();
    apply_.reset();
}
