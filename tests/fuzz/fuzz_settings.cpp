// The settings loader fed arbitrary stored texts: the settings file is
// replaced by the input, then loaded. Numbers that are not whole 16-bit
// numbers keep their defaults; nothing crashes.

#include "core/settings_store.h"
#include "fuzz/fuzz_common.h"
#include "link/serial_link.h"

#include <QFile>
#include <QSettings>
#include <charconv>

using namespace velmora;

namespace {

// An independent reading of "a whole 16-bit number": optional minus, digits.
std::optional<qint16> Reference(const QString& text) {
    const QByteArray latin = text.toLatin1();
    if (latin.isEmpty() || QString::fromLatin1(latin) != text) return std::nullopt;
    const char* begin = latin.constData();
    const char* end = begin + latin.size();
    if (*begin == '-' && latin.size() > 1 && begin[1] == '-') return std::nullopt;
    int value = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || ptr != end || latin.startsWith('+')) return std::nullopt;
    if (value < -32768 || value > 32767) return std::nullopt;
    return qint16(value);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::StartApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    {
        // Whatever the text, the parser agrees with the reference reading.
        const QString text = QString::fromLatin1(input.left(12));
        if (ParseInt16(text) != Reference(text)) fuzz::Finding();
    }
    const QString path = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Tarnholm.conf");
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        file.write("[Netzteil]\n");
        file.write(input);
    }
    const SettingsStore store(path);
    const StoredSettings loaded = store.load();
    for (QLatin1StringView key :
         {QLatin1StringView("NLU"), QLatin1StringView("NLI"), QLatin1StringView("Com")}) {
        const QString stored = store.text(QStringLiteral("Netzteil"), QString(key));
        const qint16 value = key == u"NLU"   ? qint16(loaded.voltageLimit.value)
                             : key == u"NLI" ? qint16(loaded.currentLimit.value)
                                             : loaded.port;
        const qint16 fallback = key == u"NLU" ? 20000 : key == u"NLI" ? 1000 : 2;
        if (value != Reference(stored).value_or(fallback)) fuzz::Finding();
    }
    if (loaded.recordFileName.isEmpty() || loaded.controlFileName.isEmpty()) fuzz::Finding();
    for (const Model model : {Model::Small1A20V, Model::Large2A5_25V}) {
        // A user limit is within the model's range or absent, never anything else.
        const StoredUserLimits user = store.userLimits(model);
        const Limits own = LimitsOf(model);
        if (user.limits.voltage &&
            (*user.limits.voltage < Millivolts(0) || *user.limits.voltage > own.voltage))
            fuzz::Finding();
        if (user.limits.current &&
            (*user.limits.current < Milliamps(0) || *user.limits.current > own.current))
            fuzz::Finding();
    }
    for (int port = 1; port <= 4; ++port)
        DeviceForPort(port, loaded.portDevices);
    return 0;
}
