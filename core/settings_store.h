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
    /// The user's store (organisation "Tarnholm").
    SettingsStore();
    /// A store in the file at `path` (tests, a second unit).
    explicit SettingsStore(const QString& path);
    ~SettingsStore();
    SettingsStore(SettingsStore&&) noexcept;
    SettingsStore& operator=(SettingsStore&&) noexcept;

    QString fileName() const;
    StoredSettings load() const;
    StoredUserLimits userLimits(Model model) const;
    /// The text under `group`/`key`; empty when there is none. A value with
    /// commas, which the store hands back as a list, comes back whole.
    QString text(const QString& group, const QString& key) const;

    // Each returns false when the file could not be written.
    bool saveText(const QString& key, const QString& text); // in "Netzteil"
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
    std::unique_ptr<QSettings> store_;
};

/// The stored key of a user limit: "MaxU_1000", "MaxI_2500", ...; empty for
/// no model.
QString UserLimitKey(Model model, bool voltage);

} // namespace velmora
