#pragma once
// A panel window for each unit of the bench, and the Bench and "Add unit"
// windows: unit 1's panel ends the program when closed, another's only hides.

#include <QObject>
#include <QPointer>
#include <memory>
#include <vector>

namespace velmora {

class AddUnitDialog;
class BenchWindow;
class Form1;
class MqttBridge;
class MqttWindow;
class RemoteServer;
class SettingsStore;
class Units;

class BenchPanels : public QObject {
    Q_OBJECT
  public:
    /// Panels over `units`; `remote`, when given, is remote control, and
    /// `mqtt` the broker's bridge with `store` its settings' store.
    BenchPanels(Units& units, RemoteServer* remote, MqttBridge* mqtt = nullptr,
                SettingsStore* store = nullptr, QObject* parent = nullptr);
    ~BenchPanels() override;

    /// Unit `number`'s panel (1 to the units' count).
    Form1& panel(int number) const { return *panels_.at(std::size_t(number - 1)); }
    int count() const { return int(panels_.size()); }
    Units& units() const { return units_; }
    /// Shows every unit's panel.
    void showAll();
    /// Shows unit `number`'s panel and brings it to the front.
    void showPanel(int number);
    BenchWindow* OpenBenchWindow();
    AddUnitDialog* OpenAddUnitDialog();
    /// "MQTT…": the broker's settings and state; nothing without a bridge.
    MqttWindow* OpenMqttWindow();
    bool hasMqtt() const { return mqtt_ && store_; }
    /// Removes unit `number` (not unit 1), its panel with it.
    void removeUnit(int number);
    /// "Power supply" for unit 1, "Power supply – Bench PSU" for another.
    QString titleOf(int number) const;

  signals:
    /// Unit 1's panel is closing: the program ends.
    void closing();

  private:
    void follow();

    Units& units_;
    RemoteServer* remote_;
    MqttBridge* mqtt_;
    SettingsStore* store_;
    std::vector<std::unique_ptr<Form1>> panels_;
    QPointer<BenchWindow> benchWindow_;
    QPointer<AddUnitDialog> addDialog_;
    QPointer<MqttWindow> mqttWindow_;
};

} // namespace velmora
