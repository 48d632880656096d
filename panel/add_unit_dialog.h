#pragma once
// "Add unit…": the port, the model and the name of a unit to add to the bench.

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace velmora {

class Units;

/// Adds a unit, stored at once; a unit that may not run (a port or a name
/// another unit has) is refused with the reason shown, and nothing stored.
class AddUnitDialog : public QWidget {
    Q_OBJECT
  public:
    explicit AddUnitDialog(Units& units, QWidget* parent = nullptr);

    QComboBox* port;  // COM1 .. COM4
    QComboBox* model; // "1A/20V", "2,5A/25V"
    QLineEdit* name;
    QPushButton* add;
    QLabel* problem;

    /// Adds the unit as the boxes say; its number, or 0 when refused.
    int addUnit();

  signals:
    /// A unit was added: its panel may show.
    void added(int number);

  private:
    Units& units_;
};

} // namespace velmora
