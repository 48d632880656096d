#pragma once
// A test's own time zone, for behaviour that must hold outside UTC.

#include <QByteArray>
#include <QtGlobal>
#include <time.h>

namespace velmora::test {

/// While alive, local time is that of `zone` ("Europe/Berlin"), as TZ and
/// tzset() make it for the C library and Qt; the zone before comes back after.
class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const char* zone)
        : had_(qEnvironmentVariableIsSet("TZ")), before_(qgetenv("TZ")) {
        qputenv("TZ", zone);
        tzset();
    }
    ~ScopedTimeZone() {
        if (had_)
            qputenv("TZ", before_);
        else
            qunsetenv("TZ");
        tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

  private:
    bool had_;
    QByteArray before_;
};

} // namespace velmora::test
