#pragma once
// The per-user settings store: organisation "Tarnholm", section "Netzteil"
// for the panel's own keys, "Ports" for the devices COM1 to COM4 stand for,
// and "Limits" for the user's own limits. On Linux:
// $XDG_CONFIG_HOME/Tarnholm.conf. Read into a value once; every change is
// written through here.

#include "unit/limits.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QSettings;

namespace velmora {

/// What the store holds for the panel, over the defaults: a first run, an
/// empty value, or a number that is not a whole 16-bit number keeps the default.
struct StoredSettings {
    Millivolts voltageLimit = LimitsOf(kDefaultModel).voltage; // "NLU"
    Milliamps currentLimit = LimitsOf(kDefaultModel).current;  // "NLI": tells the model
    qint16 port = 2;                                           // "Com": 1..4 for COM1..COM4
    QString recordFileName = QStringLiteral("Velmora.log");    // "Log", as typed
    QString controlFileName = QStringLiteral("Velmora.dat");   // "Dat", as typed
    QMap<int, QString> portDevices;                            // "Ports": COMn -> device
    QString name;                                              // "Name": "Unit 1" when absent
};

/// The most units one program drives.
inline constexpr int kMaxUnits = 8;

/// Where one unit's keys are kept: unit 1's in "Netzteil", "Limits" and
/// "Protection", as a settings file of one unit always had them; unit N's (2
/// to 8) all in "UnitN". The device each COM name stands for is in "Ports",
/// shared by every unit.
struct UnitGroups {
    QString main, limits, protection;
    static UnitGroups Of(int unit);
};

/// The user's limits for a model as stored, and the keys whose values could
/// not be read (they leave the model's limit in force).
struct StoredUserLimits {
    UserLimits limits;
    QStringList unreadable; // "MaxU_1000=+5000", one text a key
};

/// A whole number within 16 bits ("20000", "-3"); nothing for any other text,
/// including blanks around the digits.
std::optional<qint16> ParseInt16(const QString& text);

/// The store's file; reads and writes go straight to it.
class SettingsStore {
  public:
    /// The user's store (organisation "Tarnholm"), for unit `unit`.
    explicit SettingsStore(int unit = 1);
    /// A store in the file at `path` (tests), for unit `unit`.
    explicit SettingsStore(const QString& path, int unit = 1);
    ~SettingsStore();
    SettingsStore(SettingsStore&&) noexcept;
    SettingsStore& operator=(SettingsStore&&) noexcept;

    QString fileName() const;
    int unit() const { return unit_; }
    const UnitGroups& groups() const { return groups_; }
    /// The groups of the file: which units it holds ("Unit2", ...).
    QStringList allGroups() const;
    /// Moves the unit's keys to unit `unit`'s group (units 2 to 8, whose keys
    /// are all in one group) and keeps them there from now on.
    bool renumber(int unit);
    /// Removes the unit's own group (units 2 to 8).
    bool removeUnit();
    StoredSettings load() const;
    StoredUserLimits userLimits(Model model) const;
    /// The text under `group`/`key`; empty when there is none. A value with
    /// commas, which the store hands back as a list, comes back whole.
    QString text(const QString& group, const QString& key) const;

    // Each returns false when the file could not be written.
    bool saveText(const QString& key, const QString& text); // in the unit's main group
    /// Texts under `group`, key by key; an empty text removes its key.
    bool saveTexts(const QString& group, const QList<QPair<QString, QString>>& texts);
    bool saveModelLimits(const Limits& limits);
    bool savePort(qint16 port);
    bool saveFileNames(const QString& recordFile, const QString& controlFile);
    /// An empty device removes the mapping.
    bool savePortDevice(int port, const QString& device);
    /// Nothing given removes that key, so the model's limit holds.
    bool saveUserLimits(Model model, const UserLimits& limits);

  private:
    bool written();
    QString mainKey(QLatin1StringView key) const { return groups_.main + u'/' + key; }
    std::unique_ptr<QSettings> store_;
    int unit_ = 1;
    UnitGroups groups_;
};

/// The name a unit goes by when none is stored: "Unit 2".
QString DefaultUnitName(int unit);

/// The stored key of a user limit: "MaxU_1000", "MaxI_2500", ...; empty for
/// no model.
QString UserLimitKey(Model model, bool voltage);

} // namespace velmora
