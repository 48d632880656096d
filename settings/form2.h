#pragma once
// The settings window: port and model, file names, recorder and player.

#include <QWidget>
#include <array>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace velmora {

struct PlaybackProgress;

/// The settings window "Settings": chooses port and model at once, holds the
/// two file names in use and the recorder and player buttons.
class Form2 : public QWidget {
    Q_OBJECT
  public:
    Form2();
    ~Form2() override;

    QGroupBox* Frame1;                    // "Port"
    QGroupBox* Frame2;                    // "Version"
    std::array<QRadioButton*, 4> Option1; // COM1..COM4
    std::array<QRadioButton*, 2> Option2; // "1A/20V", "2,5A/25V"
    QPushButton* Command1;                // recorder Start/Stop
    QPushButton* Command2;                // player Start/Stop
    QPushButton* Command3;                // "Ok"
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;   // the author's web page
    QLineEdit* Text1; // record file name in use
    QLineEdit* Text2; // control file name in use

    /// The opening steps; run once, before the window is first shown.
    void Form_Load();
    /// Choosing a port: index 0..3 stands for COM1..COM4.
    void Option1_Click(int index);
    /// Choosing a model: index 0 is "1A/20V", 1 is "2,5A/25V".
    void Option2_Click(int index);
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Label4_Click();

    /// Maps COM(index+1) to `device` (empty: back to the default device) and
    /// then chooses that port, so it is reopened on the new device.
    void MapPort(int index, const QString& device);
    /// Shows the port-mapping menu for option `index` at `globalPos`.
    void ShowPortMenu(int index, const QPoint& globalPos);

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void createControls();
    void placeControls();
    void connectHandlers();
    void setTabOrders();
    void updatePortToolTip(int index);
    void showPlaybackProgress(const PlaybackProgress& progress);
    void selectOption(QRadioButton* option);
};

/// Creates the settings window and runs its opening steps when it is not
/// open; otherwise only brings it to the front.
void OpenSettingsWindow();

/// The open settings window, or nullptr when it is closed.
Form2* SettingsWindow();

} // namespace velmora
