#pragma once
// The "Remote control" window: on or off, where it listens, whom it lets in,
// the clients connected and the last lines they sent.

#include <QTimer>
#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace velmora {

class RemoteServer;
class Session;

/// Small modeless window over remote control; changes are stored in the
/// settings group "Remote" when applied.
class RemoteWindow : public QWidget {
    Q_OBJECT
  public:
    RemoteWindow(Session& session, RemoteServer& server);

    QCheckBox* enabled;
    QLineEdit* address;
    QSpinBox* port;
    QLineEdit* allowFrom;
    QPushButton* apply;
    QLabel* status;
    QListWidget* clients;
    QListWidget* lines;

    /// Listens as the boxes say, and stores it; a box that cannot be read is
    /// said in the status line and nothing changes.
    void applyBoxes();
    /// Shows the server as it is now.
    void refresh();

  private:
    void fill();

    Session& session_;
    RemoteServer& server_;
    QTimer refresh_; // at most a few redraws a second, however fast lines come
    bool stale_ = false;
    QString problem_;
};

} // namespace velmora
