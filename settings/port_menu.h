#pragma once
// The menu that maps a COM number to one of the serial devices present.

#include <QList>
#include <QString>

class QMenu;
class QWidget;

namespace velmora {

/// One serial device the machine offers: its path and what it says it is.
struct SerialDevice {
    QString path;         // e.g. /dev/ttyUSB0
    QString description;  // e.g. "FT232R USB UART"; may be empty
    QString serialNumber; // the adapter's own serial number; may be empty
    QString stableName;   // e.g. /dev/serial/by-id/usb-…-if00-port0; may be empty
};

/// Where udev keeps the names of USB serial adapters that survive re-plugging.
inline constexpr QLatin1StringView kStableNameFolder{"/dev/serial/by-id"};

/// The serial devices present now, as the system lists them, each with its
/// stable name from `stableNameFolder` when it has one.
QList<SerialDevice> PresentSerialDevices(const QString& stableNameFolder = kStableNameFolder);

/// Gives each device the link in `folder` that leads to it, if any. Links
/// that lead nowhere or to no listed device are passed over.
QList<SerialDevice> WithStableNames(QList<SerialDevice> devices, const QString& folder);

/// The menu text for one device: "path (description)", or the path alone.
QString DeviceMenuText(const SerialDevice& device);

/// The menu text for a device by its stable name: "name (description, serial
/// number)", leaving out what the device does not report.
QString StableMenuText(const SerialDevice& device);

/// One entry of the port menu; an empty path is "Default".
struct PortMenuEntry {
    QString text;
    QString path;
    bool checked = false;
    bool operator==(const PortMenuEntry&) const = default;
};

/// The port menu for a COM number mapped to `mapped` (empty: not mapped):
/// a mapped device that is not listed, marked "(absent)" unless
/// `mappedPresent`; the stable names; the plain names, ttyS before ttyUSB
/// before ttyACM; then "Default". An empty text is a separator.
QList<PortMenuEntry> PortMenuEntries(const QList<SerialDevice>& devices, const QString& mapped,
                                     bool mappedPresent);

/// The tooltip of a COM option: the device it stands for and whether the
/// device is there now.
QString PortToolTip(const QString& device, bool present);

/// Whether a device path leads to something now (a dangling link does not).
bool DevicePresent(const QString& device);

/// A menu for COM`port`, mapped to `mapped` (empty: not mapped), built from
/// PortMenuEntries. Each action's data is the device path, empty for "Default".
QMenu* BuildPortMenu(int port, const QString& mapped, const QList<SerialDevice>& devices,
                     QWidget* parent);

} // namespace velmora
