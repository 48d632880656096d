#pragma once
// The "Bench" window: every unit in a table, and "All outputs off".

#include <QWidget>

class QPushButton;
class QTableWidget;

namespace velmora {

class Units;

/// One row a unit: name, port, model, link, measured voltage and current,
/// set-points, CV/CC, trip, recording and run; a double click shows the
/// unit's panel. It follows the units as they change, a redraw a second at
/// most while frames come.
class BenchWindow : public QWidget {
    Q_OBJECT
  public:
    explicit BenchWindow(Units& units, QWidget* parent = nullptr);

    QTableWidget* table;
    QPushButton* allOff;

    /// The table as the units are now.
    void refresh();

  signals:
    /// Unit `number`'s panel is asked for (a double click on its row).
    void panelAsked(int number);

  private:
    void follow();
    void refreshSoon();
    void fitToTable();

    Units& units_;
    bool stale_ = false;
};

/// The texts of one unit's row, in the table's column order.
QStringList BenchRow(const Units& units, int number);

} // namespace velmora
