// The bus overview: all eight nodes at once in a small window beside the main window, live from
// the same status frames; it sends nothing. A node's row tells whether it is on the bus, each
// breaker's state and load current, and the input voltage; a fault anywhere is red. A click on
// a node's row, or Enter on it, selects that node in the main window.
#pragma once

#include "link/state/BusGlance.h"

#include <QWidget>

#include <array>
#include <functional>

class QTableWidget;

class BusOverview : public QWidget {
    Q_OBJECT
public:
    // `select` selects node 1..8 in the main window, as a click on its indicator does.
    BusOverview(const orvik::LinkState& link, std::function<void(int node)> select,
                QWidget* parent = nullptr);

    // Shows the link's last record: after a status frame, and when the node strip blanks.
    void Refresh();
    // Marks the node the main window shows (1..8).
    void ShowSelected(int node);
    QTableWidget* Table() const { return table_; }

    static constexpr int COL_NODE = 0;
    static constexpr int COL_VOLTAGE = 9; // breakers 1..8 in the columns between

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ShowNode(const orvik::NodeGlance& g);
    void FitToTable();

    const orvik::LinkState& link_;
    std::function<void(int)> select_;
    QTableWidget* table_ = nullptr;
    std::array<orvik::NodeGlance, orvik::NODE_COUNT> shown_{};
    int selected_ = 0;
};
