#pragma once
// Protection trips: the output is to be zeroed when the voltage, the current
// or the power stays above its threshold for a number of frames in a row.

#include "unit/model.h"

#include <QString>
#include <QTime>
#include <array>
#include <optional>

class QSettings;

namespace velmora {

enum class Quantity { Voltage, Current, Power };

/// One trip rule: a threshold in mV, mA or mW; off never trips.
struct TripRule {
    bool on = false;
    qint64 threshold = 0;
    bool operator==(const TripRule&) const = default;
};

struct ProtectionSettings {
    static constexpr int kDefaultFrames = 3;
    static constexpr int kMaxFrames = 1000;

    TripRule voltage, current, power;
    int frames = kDefaultFrames; // frames in a row above a threshold
};

/// What fired: the value of the last frame and the threshold, in mV, mA or mW.
struct Trip {
    Quantity quantity = Quantity::Voltage;
    qint64 value = 0;
    qint64 threshold = 0;
    int frames = 0;
};

/// Counts frames above each threshold. Feed it readable frames only: a frame
/// that cannot be read neither counts toward a trip nor breaks a run.
class Protection {
  public:
    explicit Protection(const ProtectionSettings& settings = {}) : settings_(settings) {}

    /// A rule that changes starts its count again; an unchanged one keeps
    /// it, so setting the same settings again does nothing.
    void setSettings(const ProtectionSettings& settings);
    const ProtectionSettings& settings() const { return settings_; }

    /// One frame; the trip on the frame that fires it (voltage first, then
    /// current, then power, when several fire at once), else nothing.
    /// Once tripped, frames are not looked at until clear().
    std::optional<Trip> take(const Values& frame);

    const std::optional<Trip>& trip() const { return trip_; }
    /// Ends a trip and starts every count again.
    void clear();

  private:
    ProtectionSettings settings_;
    std::array<int, 3> runs_{};
    std::optional<Trip> trip_;
};

/// The stored settings, as texts: group "Protection", keys below.
inline constexpr char kProtectionGroup[] = "Protection";
inline constexpr char kOverVoltageKey[] = "OVP_mV";
inline constexpr char kOverCurrentKey[] = "OCP_mA";
inline constexpr char kOverPowerKey[] = "OPP_mW";
inline constexpr char kTripFramesKey[] = "Frames";

struct ProtectionTexts {
    QString voltage, current, power, frames;
};

/// A threshold that is absent, empty, not a whole number of digits, zero or
/// beyond the model's limit (the power limit is the two limits' product)
/// turns its rule off. Frames absent, unreadable or below 1 are 3; at most 1000.
ProtectionSettings ParseProtectionSettings(const ProtectionTexts& texts, const Limits& range);

ProtectionSettings ReadProtectionSettings(QSettings& store, const Limits& range);
/// A rule that is off loses its key.
void SaveProtectionSettings(QSettings& store, const ProtectionSettings& settings);

/// "Output zeroed: current 1.23 A above 1.00 A for 3 frames at 12:34:56".
QString TripMessage(const Trip& trip, QTime at);

} // namespace velmora
