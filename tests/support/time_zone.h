#pragma once
// A test's own time zone, for the changes of the clock in summer time.

#include <QByteArray>
#include <QtGlobal>
#include <ctime>

namespace velmora::test {

/// Sets TZ for as long as it lives, then puts back what was there.
class TimeZoneForTest {
  public:
    explicit TimeZoneForTest(const char* zone)
        : had_(qEnvironmentVariableIsSet("TZ")), before_(qgetenv("TZ")) {
        qputenv("TZ", zone);
        tzset();
    }
    ~TimeZoneForTest() {
        if (had_)
            qputenv("TZ", before_);
        else
            qunsetenv("TZ");
        tzset();
    }
    TimeZoneForTest(const TimeZoneForTest&) = delete;
    TimeZoneForTest& operator=(const TimeZoneForTest&) = delete;

  private:
    bool had_;
    QByteArray before_;
};

} // namespace velmora::test
