#pragma once
// The VXI-11 core and abort channels' calls as bytes: program numbers,
// procedures, error codes and flags, each procedure's arguments read from
// XDR (nothing for arguments that do not fit) and its results written.

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

namespace velmora::vxi11 {

inline constexpr quint32 kCoreProgram = 395183;  // DEVICE_CORE
inline constexpr quint32 kAbortProgram = 395184; // DEVICE_ASYNC
inline constexpr quint32 kVersion = 1;

enum class Proc : quint32 {
    AbortDevice = 1, // on the abort program
    CreateLink = 10,
    DeviceWrite = 11,
    DeviceRead = 12,
    DeviceReadStb = 13,
    DeviceTrigger = 14,
    DeviceClear = 15,
    DeviceRemote = 16,
    DeviceLocal = 17,
    DeviceLock = 18,
    DeviceUnlock = 19,
    DeviceEnableSrq = 20,
    DeviceDocmd = 22,
    DestroyLink = 23,
    CreateIntrChan = 25,
    DestroyIntrChan = 26,
};

enum class DeviceError : qint32 {
    None = 0,
    Syntax = 1,
    NotAccessible = 3,
    InvalidLink = 4,
    Parameter = 5,
    ChannelNotEstablished = 6,
    NotSupported = 8,
    OutOfResources = 9,
    LockedByAnother = 11,
    NoLockHeld = 12,
    IoTimeout = 15,
    IoError = 17,
    InvalidAddress = 21,
    Abort = 23,
    ChannelAlreadyEstablished = 29,
};

namespace flags {
inline constexpr qint32 kWaitLock = 0x01;
inline constexpr qint32 kEnd = 0x08;
inline constexpr qint32 kTermCharSet = 0x80;
} // namespace flags

namespace reason {
inline constexpr qint32 kRequestCount = 0x01;
inline constexpr qint32 kTermChar = 0x02;
inline constexpr qint32 kEnd = 0x04;
} // namespace reason

/// The longest device name and data a call may carry.
inline constexpr quint32 kMaxDeviceName = 256;
inline constexpr quint32 kMaxRecvSize = 64 * 1024;

struct CreateLinkParms {
    qint32 clientId = 0;
    bool lockDevice = false;
    quint32 lockTimeoutMs = 0;
    QByteArray device;
};
struct WriteParms {
    qint32 lid = 0;
    quint32 ioTimeoutMs = 0;
    quint32 lockTimeoutMs = 0;
    qint32 flags = 0;
    QByteArray data;
};
struct ReadParms {
    qint32 lid = 0;
    quint32 requestSize = 0;
    quint32 ioTimeoutMs = 0;
    quint32 lockTimeoutMs = 0;
    qint32 flags = 0;
    char termChar = 0;
};
/// device_readstb, _trigger, _clear, _remote and _local.
struct GenericParms {
    qint32 lid = 0;
    qint32 flags = 0;
    quint32 lockTimeoutMs = 0;
    quint32 ioTimeoutMs = 0;
};
struct LockParms {
    qint32 lid = 0;
    qint32 flags = 0;
    quint32 lockTimeoutMs = 0;
};
struct EnableSrqParms {
    qint32 lid = 0;
    bool enable = false;
    QByteArray handle; // at most 40 bytes
};

std::optional<CreateLinkParms> ReadCreateLink(QByteArrayView args);
std::optional<WriteParms> ReadWrite(QByteArrayView args);
std::optional<ReadParms> ReadRead(QByteArrayView args);
std::optional<GenericParms> ReadGeneric(QByteArrayView args);
std::optional<LockParms> ReadLock(QByteArrayView args);
std::optional<EnableSrqParms> ReadEnableSrq(QByteArrayView args);
/// device_unlock, destroy_link and device_abort take a link alone.
std::optional<qint32> ReadLinkId(QByteArrayView args);
/// docmd's link, for checking it before "not supported".
std::optional<qint32> ReadDocmdLink(QByteArrayView args);

QByteArray CreateLinkResult(DeviceError error, qint32 lid, quint16 abortPort, quint32 maxRecvSize);
QByteArray WriteResult(DeviceError error, quint32 size);
QByteArray ReadResult(DeviceError error, qint32 reasons, QByteArrayView data);
QByteArray ReadStbResult(DeviceError error, quint8 stb);
QByteArray ErrorResult(DeviceError error);
QByteArray DocmdResult(DeviceError error);
/// The results of procedure `proc` carrying nothing but `error`.
QByteArray ResultWithError(Proc proc, DeviceError error);

} // namespace velmora::vxi11
