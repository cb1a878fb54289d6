// The window of "Save node settings..." and "Apply node settings...": reads the selected node,
// then saves its settings to a file, or shows where a file differs from the node and, when the
// user presses Apply, sends the differences and shows each setting's result. It never waits by
// itself: the main window hands it the link's events and its timer's ticks.
#pragma once

#include "link/nodefiles/NodeApply.h"
#include "link/nodefiles/NodeRead.h"

#include <QDialog>

#include <memory>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;

class NodeSettingsDialog : public QDialog {
    Q_OBJECT
public:
    NodeSettingsDialog(orvik::LinkState& link, QWidget* parent);
    ~NodeSettingsDialog() override;

    // Reads `node`, then writes its settings to `path`.
    void StartSave(int node, const std::string& path);
    // Reads `node` and shows how `file` differs from it.
    void StartApply(int node, const std::string& path, const orvik::NodeSettings& file);

    // From the main window: a status frame was accepted, a setup reply stored, a timer tick.
    void OnStatus();
    void OnSetupStored();
    void Tick();

    void ApplyClick(); // the Apply button

private:
    void Begin(const QString& title, int node, const std::string& path);
    void Advance();
    void ReadFinished();
    void ShowResults();
    void Stop();

    orvik::LinkState& link_;
    QLabel* Text = nullptr;
    QTreeWidget* Table = nullptr;
    QPushButton* ApplyButton = nullptr;
    QPushButton* CloseButton = nullptr;

    bool saving_ = false;
    int node_ = 1;
    std::string path_;
    orvik::NodeSettings file_;
    std::unique_ptr<orvik::NodeRead> read_;
    std::unique_ptr<orvik::NodeApply> apply_;
};
