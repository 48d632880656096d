#pragma once
// The units of one program: unit 1 as a settings file of one unit always
// had it, units 2 to 8 each in a group of their own, each a session. Every
// part that serves the whole bench (remote control, the broker, the Bench
// window) finds the units here and follows their coming and going.

#include "core/clock.h"
#include "core/settings_store.h"
#include "link/serial_line.h"
#include "session/session.h"
#include "session/unit_set.h"

#include <QObject>
#include <functional>
#include <memory>
#include <vector>

namespace velmora {

/// One unit's settings as stored, before it is let in.
struct UnitConfig {
    int number = 1; // its group's
    StoredSettings stored;
    QStringList unreadable = {}; // "Com=banana": what its group holds that cannot be read
};

/// Which of the stored units may run: a unit (2 to 8) whose port or model
/// cannot be read, on a port or device another
/// unit has, or recording into another unit's file, whose group comes after
/// a gap, or with a name that is empty, repeated, over 64 characters or
/// holding a control character, is left out with a message naming both;
/// unit 1 always runs. The units let in are numbered on the bench in their
/// groups' order: one left out moves those after it down a number. `device` gives the device a port of a unit stands for; `identity`
/// tells one device (or file) from another whatever its name.
struct UnitVerdicts {
    std::vector<UnitConfig> admitted;
    QStringList messages;
};
UnitVerdicts AdmitUnits(const std::vector<UnitConfig>& stored,
                        const std::function<QString(const UnitConfig&)>& device,
                        const std::function<QString(const QString& path)>& identity);

/// The name a unit is shown by, one line: control characters dropped.
QString ShownName(const QString& name);

/// Makes the serial line of each unit's session (the real one in the program).
using LineMaker = std::function<std::unique_ptr<SerialLine>()>;

/// The bench's units, numbered 1 to 8 without gaps, unit 1 always there.
class Units final : public UnitSet {
    Q_OBJECT
  public:
    /// The units stored in `store`'s file (its path; the user's when empty).
    Units(Clock& clock, LineMaker lines, QString settingsPath = {}, QObject* parent = nullptr);
    /// The store of the bench-wide groups ([Remote], [MQTT], [Bench], ...).
    SettingsStore benchStore() const { return storeFor(1); }
    ~Units() override;

    /// Reads the stored units, lets in those that may run and starts them;
    /// what was left out is said through message().
    void start();
    int count() const override { return int(sessions_.size()); }
    Session& at(int number) const override { return *sessions_.at(std::size_t(number - 1)); }
    QString name(int number) const override;

    /// A unit on `port` with `model` and `name`, stored at once and started;
    /// its number, or 0 with `why` set when it may not run.
    int add(qint16 port, Model model, const QString& name, QString* why = nullptr);
    /// Ends unit `number`'s session (2 to 8; unit 1 stays) once its command
    /// on the line is out, and removes its settings; the units after it move
    /// down one number, so the numbers stay without gaps.
    bool remove(int number, QString* why = nullptr);

    /// Ends every session; ended() once each command on a line is out.
    void shutdown();

  signals:
    /// For the user (what was left out, what could not be stored).
    void message(const QString& text);
    /// Every session has ended.
    void ended();

  protected:
    /// "[Bench] TripAll".
    bool storeTripAll(bool on) override;

  private:
    SettingsStore storeFor(int number) const;
    Session& make(int group);
    int freeGroup() const;
    void watch(Session& session);
    void onTrip(Session& tripped, const QString& text);
    void removeEnded(Session* gone);
    std::vector<UnitConfig> storedUnits();

    Clock& clock_;
    LineMaker lines_;
    QString settingsPath_;
    std::vector<std::unique_ptr<Session>> sessions_;
    bool ending_ = false;
    int ended_ = 0;
};

} // namespace velmora
