#pragma once
// One remote client's conversation with a session: its lines run in order
// and its answers come back in order; its error queue and status registers
// are its own.

#include "scpi/scpi_errors.h"
#include "scpi/scpi_line.h"
#include "scpi/scpi_parser.h"
#include "session/setpoint_source.h"
#include "session/unit_set.h"
#include "unit/command.h"

#include <QByteArray>
#include <QObject>
#include <functional>
#include <memory>
#include <optional>

namespace velmora {

class Session;

/// Runs the lines of one client against the session. A line with a syntax
/// error runs nothing. Set-points changed within one line go out as one
/// command once the whole line has run, checked at the door against the
/// limits in force then. *OPC? and *WAI hold the line's answer, and the next
/// lines, until the commands this client asked for (the line's own included)
/// have gone out whole.
class ScpiClient : public QObject {
    Q_OBJECT
  public:
    /// A client of the bench `units`; unit 1 selected.
    explicit ScpiClient(UnitSet& units, QObject* parent = nullptr);
    /// A client of a bench of one unit.
    explicit ScpiClient(Session& session, QObject* parent = nullptr);
    ~ScpiClient() override;

    /// Takes one line. Only while not busy: a busy client's next line waits.
    void takeLine(const scpi::LineReader::Line& line);
    /// Waiting for its commands to go out before it goes on.
    bool busy() const { return waiting_; }
    /// Adds an error to this client's queue (the watchdog's news).
    void pushError(const scpi::Error& error);
    /// The seconds of silence after which the output goes to zero; 0: off.
    double watchdogSeconds() const { return watchdogSeconds_; }
    /// The unit this client's commands act on (INST:NSEL), from 1.
    int selectedUnit() const { return selectedNumber(); }
    /// The status byte, as *STB? answers it.
    quint8 statusByte() const;

  signals:
    /// An answer line, ending in LF.
    void answer(const QByteArray& line);
    /// No longer busy: the next line may come.
    void ready();
    /// SYST:WDOG changed.
    void watchdogChanged(double seconds);

  private:
    void runUnits();
    void run(const scpi::Call& call);
    std::optional<QByteArray> query(const scpi::Call& call);
    void command(const scpi::Call& call);
    void setpoint(bool voltage, const scpi::Value& value);
    Setpoints lineSetpoints() const;
    void limit(bool voltage, const scpi::Value& value);
    void output(bool on);
    void reset();
    std::optional<QByteArray> benchQuery(const scpi::Call& call);
    bool benchCommand(const scpi::Call& call);
    bool unitsThere(const scpi::ChannelList& list);
    void select(int number);
    void outputs(bool on, const scpi::ChannelList& list);
    void couple(const scpi::Value& value);
    std::optional<QByteArray> measurements(scpi::CommandId id, const scpi::ChannelList& list);
    void fileCommand(const scpi::Call& call);
    void runCommand(scpi::RunStop what);
    std::optional<QByteArray> measurement(scpi::CommandId id);
    QByteArray measurementOf(int number, scpi::CommandId id);
    std::optional<QByteArray> meterQuery(scpi::CommandId id);
    QByteArray stale(const QString& why);
    void flushSetpoints();
    void ask(int number, SetpointSource source, const Setpoints& setpoints);
    std::function<void()> whenSent();
    QString refusal(int number, const QString& reason) const;
    void commandOut();
    void fail(scpi::ErrorCode code, const QString& detail = {});
    void finishLine();
    Session& selected() const;
    int selectedNumber() const;

    std::unique_ptr<OneUnit> ownUnit_; // a bench of one, when made for one session
    UnitSet& bench_;
    int selected_ = 1;
    scpi::ErrorQueue errors_;
    QList<scpi::Unit> units_;
    qsizetype next_ = 0;
    QByteArrayList answers_;
    SetpointChange pending_;  // the line's set-points so far, to go out at its end
    bool flushed_ = false;    // the line's set-points have been asked for
    bool holdsAtEnd_ = false; // the line has *OPC? or *WAI: its answer waits for its commands
    int outstanding_ = 0;     // commands asked for that have not gone out yet
    bool waiting_ = false;
    bool opcPending_ = false; // *OPC: set the bit once the commands are out
    quint8 esr_ = 0, ese_ = 0, sre_ = 0;
    double watchdogSeconds_ = 0;
};

} // namespace velmora
