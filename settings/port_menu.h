#pragma once
// The menu that maps a COM number to one of the serial devices present.

#include <QList>
#include <QString>

class QMenu;
class QWidget;

namespace velmora {

/// One serial device the machine offers: its path and what it says it is.
struct SerialDevice {
    QString path;        // e.g. /dev/ttyUSB0
    QString description; // e.g. "FT232R USB UART"; may be empty
};

/// The serial devices present now, as the system lists them.
QList<SerialDevice> PresentSerialDevices();

/// The menu text for one device: "path (description)", or the path alone.
QString DeviceMenuText(const SerialDevice& device);

/// A menu for COM`port`: one entry per device, the current mapping included
/// even when its device is not listed (checked), and "Default" for the
/// standard device. Each action's data is the device path, empty for "Default".
QMenu* BuildPortMenu(int port, const QList<SerialDevice>& devices, QWidget* parent);

} // namespace velmora
