#pragma once
// The settings window: port and model, file names, recorder and player.

#include "settings/web_page.h"

#include <QWidget>
#include <array>

class QGroupBox;
class QLabel;
class QLineEdit;
class QMessageBox;
class QPushButton;
class QRadioButton;

namespace velmora {

class Session;
struct PlaybackProgress;

/// The settings window "Settings": chooses port and model at once, holds the
/// two file names in use and the recorder and player buttons, whose captions
/// follow the session's recorder and player.
class Form2 : public QWidget {
    Q_OBJECT
  public:
    explicit Form2(Session& session);
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

    /// The opening steps; run once, before the window is first shown. A
    /// message they raise is given back: the window shows once it is closed.
    QMessageBox* Form_Load();
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
    /// Shows web pages through `opener` rather than the desktop (tests).
    void setUrlOpener(UrlOpener opener) { urlOpener_ = std::move(opener); }
    /// Whether its closing steps have run: it is on its way out.
    bool closed() const { return closed_; }
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
    void showRecording(bool recording);
    void showPlaybackProgress(const PlaybackProgress& progress);
    void selectOption(QRadioButton* option);

    Session& session_;
    UrlOpener urlOpener_;
    bool closed_ = false; // the closing steps have run
};

/// Places a new window centred over `over` (the window the user clicked
/// in), else on the screen; kept on the screen either way.
void PlaceWindow(QWidget* window, QWidget* over);

} // namespace velmora
