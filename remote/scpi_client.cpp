// The flow of a client's lines: parse, run unit by unit, send the line's
// set-points at its end, hold at *OPC? and *WAI until the commands asked for
// have gone out, answer once per line.

#include "remote/scpi_client.h"

#include "remote/scpi_values.h"
#include "scpi/scpi_format.h"
#include "session/session.h"
#include "session/unit_set.h"

#include <QPointer>

namespace velmora {

using namespace scpi;

ScpiClient::ScpiClient(UnitSet& units, QObject* parent) : QObject(parent), bench_(units) {}

ScpiClient::ScpiClient(Session& session, QObject* parent)
    : QObject(parent), ownUnit_(std::make_unique<OneUnit>(session)), bench_(*ownUnit_) {}

// A unit that went away since it was selected leaves unit 1 selected.
int ScpiClient::selectedNumber() const {
    return selected_ <= bench_.count() ? selected_ : 1;
}

Session& ScpiClient::selected() const {
    return bench_.at(selectedNumber());
}

ScpiClient::~ScpiClient() = default;

void ScpiClient::takeLine(const LineReader::Line& line) {
    if (line.tooLong) {
        fail(ErrorCode::TooMuchData,
             QStringLiteral("a line of more than %1 bytes").arg(kMaxLineBytes));
        return;
    }
    QList<Unit> units = ParseLine(line.text);
    // A line with a unit that cannot be read runs nothing of it: nothing
    // half-understood reaches the unit.
    if (const Error* error = FirstError(units)) {
        fail(error->code, error->detail);
        return;
    }
    units_ = std::move(units);
    next_ = 0;
    answers_.clear();
    pending_ = {};
    flushed_ = false;
    holdsAtEnd_ = false;
    runUnits();
}

void ScpiClient::runUnits() {
    while (next_ < units_.size()) {
        const Call& call = std::get<Call>(units_[next_]);
        const bool holds =
            call.id == CommandId::Wait || (call.id == CommandId::OperationComplete && call.query);
        if (holds) {
            holdsAtEnd_ = true;
            // What earlier lines asked for goes out before the rest of this one runs.
            if (outstanding_ > 0) {
                waiting_ = true;
                return;
            }
        }
        ++next_;
        if (call.id == CommandId::OperationComplete) {
            if (call.query)
                answers_ << "1";
            else
                opcPending_ = true;
            continue;
        }
        if (call.id == CommandId::Wait) continue;
        run(call);
    }
    if (!flushed_) {
        flushed_ = true;
        flushSetpoints();
        if (opcPending_ && outstanding_ == 0) {
            opcPending_ = false;
            esr_ |= 1;
        }
    }
    if (holdsAtEnd_ && outstanding_ > 0) {
        waiting_ = true;
        return;
    }
    finishLine();
}

void ScpiClient::run(const Call& call) {
    if (!call.query) return command(call);
    if (const std::optional<QByteArray> text = query(call)) answers_ << *text;
}

void ScpiClient::finishLine() {
    units_.clear();
    if (!answers_.isEmpty()) emit answer(AnswerLine(answers_));
    answers_.clear();
    if (waiting_) {
        waiting_ = false;
        emit ready();
    }
}

Setpoints ScpiClient::lineSetpoints() const {
    const Setpoints now = selected().unit().setpoints();
    return {pending_.voltage.value_or(now.voltage), pending_.current.value_or(now.current)};
}

// Set-points changed within one line go out as one command at its end, to
// the selected unit and the units coupled with it.
void ScpiClient::flushSetpoints() {
    if (pending_.empty()) return;
    const SetpointChange change = pending_;
    pending_ = {};
    const BenchAnswer answer =
        bench_.request(selectedNumber(), SetpointSource::Remote, change, whenSent());
    outstanding_ += answer.queued;
    if (answer.refusedBy != 0)
        fail(DoorError(answer.answer.verdict), refusal(answer.refusedBy, answer.answer.reason));
}

void ScpiClient::ask(int number, SetpointSource source, const Setpoints& setpoints) {
    const DoorAnswer answer = bench_.at(number).unit().request(source, setpoints, whenSent());
    if (answer.queued())
        ++outstanding_;
    else
        fail(DoorError(answer.verdict), refusal(number, answer.reason));
}

// The command may go out after this client has gone.
std::function<void()> ScpiClient::whenSent() {
    return [self = QPointer<ScpiClient>(this)] {
        if (self) self->commandOut();
    };
}

// On a bench of one, the door's reason as it is; with more, which unit's.
QString ScpiClient::refusal(int number, const QString& reason) const {
    if (bench_.count() == 1) return reason;
    return QStringLiteral("%1: %2").arg(bench_.name(number), reason);
}

void ScpiClient::commandOut() {
    if (--outstanding_ > 0) return;
    if (opcPending_ && flushed_) {
        opcPending_ = false;
        esr_ |= 1;
    }
    if (waiting_) runUnits();
}

void ScpiClient::fail(ErrorCode code, const QString& detail) {
    errors_.Push({code, detail});
    const int n = -int(code);
    if (n >= 100 && n < 200) esr_ |= 32; // command error
    if (n >= 200 && n < 300) esr_ |= 16; // execution error
    if (n >= 300 && n < 400) esr_ |= 8;  // device-dependent error
    if (n >= 400 && n < 500) esr_ |= 4;  // query error
}

void ScpiClient::pushError(const Error& error) {
    fail(error.code, error.detail);
}

quint8 ScpiClient::statusByte() const {
    quint8 stb = 0;
    if (!errors_.IsEmpty()) stb |= 4;
    if (esr_ & ese_) stb |= 32;
    if (stb & sre_) stb |= 64;
    return stb;
}

} // namespace velmora
