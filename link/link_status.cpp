#include "link/link_status.h"

#include <QFile>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace velmora {

namespace {

// Characters come at least every second from a unit that reports; a longer
// silence is worth telling.
constexpr qint64 kQuietNs = 2'000'000'000;
// Major number of /dev/null, /dev/zero and the other memory devices.
constexpr unsigned kMemoryDevicesMajor = 1;

QString StateText(const LinkStatus& s) {
    switch (s.state) {
    case LinkState::Closed:
        return QStringLiteral("closed");
    case LinkState::Open:
        if (s.quietNs < kQuietNs) return QStringLiteral("receiving");
        return QStringLiteral("open, no frames for %1 s").arg(s.quietNs / 1'000'000'000);
    case LinkState::Waiting:
        return s.detail.isEmpty() ? QStringLiteral("waiting for the device")
                                  : QStringLiteral("waiting for the device (%1)").arg(s.detail);
    case LinkState::CannotOpen:
        return QStringLiteral("cannot open: ") + s.detail;
    case LinkState::NotSerial:
        return QStringLiteral("not a serial device: ") + s.detail;
    }
    return {};
}

} // namespace

QString LinkStatusText(const LinkStatus& status) {
    return QStringLiteral("COM%1 \u2013 %2: %3")
        .arg(status.port)
        .arg(status.device, StateText(status));
}

DeviceCheck CheckDevicePath(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    if (::stat(name.constData(), &info) != 0) {
        struct stat link {};
        const bool dangling = ::lstat(name.constData(), &link) == 0;
        return {LinkState::Waiting,
                dangling ? QStringLiteral("the link points nowhere") : QString(), QString()};
    }
    const QString identity =
        QStringLiteral("%1:%2:%3").arg(info.st_dev).arg(info.st_ino).arg(info.st_rdev);
    if (S_ISDIR(info.st_mode)) return {LinkState::NotSerial, QStringLiteral("a folder"), identity};
    if (S_ISREG(info.st_mode))
        return {LinkState::NotSerial, QStringLiteral("a regular file"), identity};
    if (!S_ISCHR(info.st_mode) || major(info.st_rdev) == kMemoryDevicesMajor)
        return {LinkState::NotSerial, QStringLiteral("no terminal device"), identity};
    return {LinkState::Open, QString(), identity};
}

QString LinkWord(const LinkStatus& status) {
    switch (status.state) {
    case LinkState::Open:
        return status.quietNs > 2'000'000'000 ? QStringLiteral("silent")
                                              : QStringLiteral("receiving");
    case LinkState::Waiting:
        return QStringLiteral("waiting");
    case LinkState::CannotOpen:
        return QStringLiteral("cannot open");
    case LinkState::NotSerial:
        return QStringLiteral("not serial");
    case LinkState::Closed:
        break;
    }
    return QStringLiteral("closed");
}

} // namespace velmora
