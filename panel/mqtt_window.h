#pragma once
// The "MQTT" window: the bridge's settings, stored and applied as soon as
// they are changed, the connection's state, the messages sent and
// received, and the last commands taken or refused.

#include <QTimer>
#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QSpinBox;

namespace velmora {

class MqttBridge;
class SettingsStore;
struct MqttSettings;

/// Small modeless window over the MQTT bridge; the settings go to the group
/// "MQTT" of the settings file.
class MqttWindow : public QWidget {
    Q_OBJECT
  public:
    MqttWindow(MqttBridge& bridge, SettingsStore& store, QWidget* parent = nullptr);

    QCheckBox* enabled;
    QLineEdit* host;
    QSpinBox* port; // 0: the default
    QLineEdit* topic;
    QLineEdit* clientId;
    QLineEdit* username;
    QLineEdit* passwordFile;
    QLineEdit* caFile;
    QCheckBox* commands;
    QCheckBox* discovery;
    QSpinBox* rate;
    QLabel* status;
    QLabel* counters;
    QListWidget* lines;

    /// Stores what the boxes say and runs the bridge so; a box that cannot be
    /// read is named in the status line and nothing changes.
    void applyBoxes();
    /// Shows the bridge as it is now.
    void refresh();

  private:
    void fill(const MqttSettings& settings);
    QString boxProblem() const;

    MqttBridge& bridge_;
    SettingsStore& store_;
    QTimer refresh_; // a few redraws a second at most, however fast messages go
    bool stale_ = false;
    QString problem_;
};

} // namespace velmora
