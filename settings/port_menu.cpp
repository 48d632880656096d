#include "settings/port_menu.h"

#include "core/settings_store.h"

#include <QMenu>
#include <QSerialPortInfo>

namespace velmora {

QList<SerialDevice> PresentSerialDevices() {
    QList<SerialDevice> devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        devices.append({info.systemLocation(), info.description()});
    return devices;
}

QString DeviceMenuText(const SerialDevice& device) {
    if (device.description.isEmpty()) return device.path;
    return QStringLiteral("%1 (%2)").arg(device.path, device.description);
}

QMenu* BuildPortMenu(int port, const QList<SerialDevice>& devices, QWidget* parent) {
    auto* menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("PortMenu%1").arg(port));
    const QString mapped = ReadPortMapping(port);

    auto addEntry = [menu, &mapped](const QString& text, const QString& path) {
        QAction* action = menu->addAction(text);
        action->setData(path);
        action->setCheckable(true);
        action->setChecked(path == mapped);
    };

    bool mappedListed = mapped.isEmpty();
    for (const SerialDevice& device : devices) {
        if (device.path.isEmpty()) continue;
        mappedListed = mappedListed || device.path == mapped;
    }
    // A mapped device that is absent now (adapter unplugged, a pseudo-terminal)
    // still shows, so the user sees what the COM number stands for.
    if (!mappedListed) addEntry(mapped, mapped);
    for (const SerialDevice& device : devices)
        if (!device.path.isEmpty()) addEntry(DeviceMenuText(device), device.path);
    menu->addSeparator();
    addEntry(QStringLiteral("Default"), QString());
    return menu;
}

} // namespace velmora
