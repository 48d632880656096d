#include "settings/port_menu.h"

#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QSerialPortInfo>
#include <algorithm>

namespace velmora {

namespace {

// Built-in ports first, then USB adapters, then modems; ttyS2 before ttyS10.
auto PlainNameOrder(const QString& path) {
    static constexpr QLatin1StringView kinds[] = {QLatin1StringView("/dev/ttyS"),
                                                  QLatin1StringView("/dev/ttyUSB"),
                                                  QLatin1StringView("/dev/ttyACM")};
    const auto kind = std::find_if(std::begin(kinds), std::end(kinds),
                                   [&path](QLatin1StringView k) { return path.startsWith(k); });
    return std::tuple(kind - std::begin(kinds), path.size(), path);
}

QString Joined(const QStringList& parts) {
    QStringList present;
    for (const QString& part : parts)
        if (!part.isEmpty()) present << part;
    return present.join(QStringLiteral(", "));
}

QString WithDetails(const QString& name, const QString& details) {
    if (details.isEmpty()) return name;
    return QStringLiteral("%1 (%2)").arg(name, details);
}

} // namespace

QList<SerialDevice> PresentSerialDevices(const QString& stableNameFolder) {
    QList<SerialDevice> devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        devices.append({info.systemLocation(), info.description(), info.serialNumber(), {}});
    return WithStableNames(devices, stableNameFolder);
}

QList<SerialDevice> WithStableNames(QList<SerialDevice> devices, const QString& folder) {
    const QFileInfoList links = QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (SerialDevice& device : devices) {
        const QString target = QFileInfo(device.path).canonicalFilePath();
        if (target.isEmpty()) continue;
        for (const QFileInfo& link : links) {
            if (link.isSymLink() && link.canonicalFilePath() == target) {
                device.stableName = link.absoluteFilePath();
                break;
            }
        }
    }
    return devices;
}

QString DeviceMenuText(const SerialDevice& device) {
    return WithDetails(device.path, device.description);
}

QString StableMenuText(const SerialDevice& device) {
    return WithDetails(device.stableName, Joined({device.description, device.serialNumber}));
}

QList<PortMenuEntry> PortMenuEntries(const QList<SerialDevice>& devices, const QString& mapped,
                                     bool mappedPresent) {
    QList<SerialDevice> listed;
    for (const SerialDevice& device : devices)
        if (!device.path.isEmpty()) listed << device;
    const bool mappedListed =
        mapped.isEmpty() || std::any_of(listed.begin(), listed.end(), [&](const auto& d) {
            return d.path == mapped || d.stableName == mapped;
        });

    QList<PortMenuEntry> entries;
    auto add = [&](const QString& text, const QString& path) {
        entries.append(PortMenuEntry{text, path, path == mapped});
    };
    // A mapped device that is absent now (adapter unplugged) still shows, so
    // the user sees what the COM number stands for.
    if (!mappedListed) add(mappedPresent ? mapped : mapped + QStringLiteral(" (absent)"), mapped);

    std::sort(listed.begin(), listed.end(),
              [](const auto& a, const auto& b) { return a.stableName < b.stableName; });
    bool anyStable = false;
    for (const SerialDevice& device : listed) {
        if (device.stableName.isEmpty()) continue;
        add(StableMenuText(device), device.stableName);
        anyStable = true;
    }
    if (anyStable) entries.append(PortMenuEntry{});

    std::sort(listed.begin(), listed.end(), [](const auto& a, const auto& b) {
        return PlainNameOrder(a.path) < PlainNameOrder(b.path);
    });
    for (const SerialDevice& device : listed)
        add(DeviceMenuText(device), device.path);
    if (!listed.isEmpty()) entries.append(PortMenuEntry{});
    add(QStringLiteral("Default"), QString());
    return entries;
}

QString PortToolTip(const QString& device, bool present) {
    return device + (present ? QStringLiteral(" (present)") : QStringLiteral(" (absent)"));
}

bool DevicePresent(const QString& device) {
    return QFileInfo::exists(device);
}

QMenu* BuildPortMenu(int port, const QString& mapped, const QList<SerialDevice>& devices,
                     QWidget* parent) {
    auto* menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("PortMenu%1").arg(port));
    for (const PortMenuEntry& entry :
         PortMenuEntries(devices, mapped, mapped.isEmpty() || DevicePresent(mapped))) {
        if (entry.text.isEmpty()) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(entry.text);
        action->setData(entry.path);
        action->setCheckable(true);
        action->setChecked(entry.checked);
    }
    return menu;
}

} // namespace velmora
