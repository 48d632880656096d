#pragma once
// What the link is doing, in one line for the user, and what a mapped device
// path turns out to be.

#include <QString>

namespace velmora {

enum class LinkState {
    Closed,     // not meant to be open
    Open,       // open on its device
    Waiting,    // meant to be open; the device is absent
    CannotOpen, // the device is there but refused to open
    NotSerial,  // the path names something that is no serial device
};

/// The link at one moment, as the serial link knows it.
struct LinkStatus {
    qint16 port = 0;
    QString device;
    LinkState state = LinkState::Closed;
    QString detail;     // why it cannot open, or what the path is
    qint64 quietNs = 0; // since the last character came (or the port opened)
};

/// "COM2 – /dev/serial/by-id/usb-…: receiving", "…: open, no frames for 12 s",
/// "…: waiting for the device", "…: cannot open: permission denied (…)".
QString LinkStatusText(const LinkStatus& status);
/// The same in one word, for a table or a message: "receiving", "silent"
/// (no character for 2 s), "waiting", "cannot open", "not serial", "closed".
QString LinkWord(const LinkStatus& status);

/// What a device path turns out to be, looked up without opening it.
struct DeviceCheck {
    LinkState state = LinkState::Waiting; // Waiting, NotSerial, or Open for "worth a try"
    QString detail;                       // for Waiting and NotSerial: why
    QString identity;                     // tells one device node from another
};
DeviceCheck CheckDevicePath(const QString& path);

} // namespace velmora
