// velmora --headless: the bench with no window; what happens is told on
// standard error, one line an event, each unit's starting with its name once
// there is more than one.

#include "app/run.h"

#include "link/link_status.h"
#include "workbench/workbench.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>
#include <memory>
#include <vector>

namespace velmora {

namespace {

void Say(const QString& text) {
    const QByteArray line = (QStringLiteral("velmora: ") + text + u'\n').toLocal8Bit();
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}

// What one unit says, with its name when the bench has more than one.
class UnitVoice : public QObject {
  public:
    UnitVoice(Units& units, Session& session) : units_(units), session_(session) {
        connect(&session.unit(), &UnitControl::linkChanged, this, [this] { tellLink(); });
        connect(&session, &Session::recordingChanged, this, [this](bool on) {
            say(on ? QStringLiteral("recording to ") + session_.recordFileName()
                   : QStringLiteral("recording stopped"));
        });
        // Messages for a user at the panel; a trip is told once, as it happens.
        connect(&session, &Session::message, this,
                [this](const QString& text, const QString&) { say(text); });
        connect(&session, &Session::protectionTripped, this, [this](const QString& t) { say(t); });
        connect(&session, &Session::settingsNotStored, this, [this](const QString& t) { say(t); });
        connect(&session, &Session::runEvent, this,
                [this](const RunEvent& event) { say(event.text()); });
        tellLink();
    }

    void say(const QString& text) const {
        Say(units_.count() > 1 ? QStringLiteral("%1: %2").arg(units_.name(session_.number()), text)
                               : text);
    }

  private:
    // Tells each change of the link once: opened, waiting, re-attached, refused.
    void tellLink() {
        const LinkStatus status = session_.unit().linkStatus();
        if (status.state == before_) return;
        const bool back = before_ == LinkState::Waiting && status.state == LinkState::Open;
        before_ = status.state;
        say(back ? LinkStatusText(status) + QStringLiteral(" (re-attached)")
                 : LinkStatusText(status));
    }

    Units& units_;
    Session& session_;
    LinkState before_ = LinkState::Closed;
};

// --run FILE: the run's steps on standard error as they start and end; the
// program ends with the run: 0 when every step ended as the file says, 3
// when it ended early, 2 when the check refused it.
int RunAndEnd(Workbench& bench, Session& session, const QString& file) {
    int status = 3;
    QObject::connect(&session, &Session::runEvent, [&](const RunEvent& event) {
        if (event.kind != RunEvent::RunEnded) return;
        status = event.state == RunState::Done ? 0 : 3;
        const QString folder = session.runs().reportFolder();
        if (!folder.isEmpty()) Say(QStringLiteral("report in ") + folder);
        bench.shutdown();
    });
    // A signal ends the run early, then the program.
    QObject::connect(&bench, &Workbench::signalled, &session, [&session](int signal) {
        session.stopRun(QStringLiteral("stopped by signal %1").arg(signal));
    });
    const RunStart start = session.startRun(file);
    if (!start.started) {
        const QStringList lines = start.verdict.problems.isEmpty() ? QStringList{start.refusal}
                                                                   : start.verdict.lines();
        for (const QString& text : lines)
            Say(QStringLiteral("run %1 refused: %2").arg(file, text));
        return 2;
    }
    Say(QStringLiteral("run %1 on %2: worst case %3")
            .arg(file, bench.units().name(session.number()), start.verdict.worstCaseText()));
    QCoreApplication::exec();
    return status;
}

} // namespace

int RunHeadless(int argc, char* argv[], const CommandLine& line) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(ProgramVersion());
    QDir::setCurrent(QCoreApplication::applicationDirPath());
    Workbench bench({true, line.remote, line.mqtt, line.metrics});
    Units& units = bench.units();
    std::vector<std::unique_ptr<UnitVoice>> voices;
    QObject::connect(&units, &UnitSet::changed, [&] {
        voices.clear();
        for (int n = 1; n <= units.count(); ++n)
            voices.push_back(std::make_unique<UnitVoice>(units, units.at(n)));
    });
    QObject::connect(&bench, &Workbench::news, &Say);
    QObject::connect(&bench, &Workbench::signalled, [](int signal) {
        Say(QStringLiteral("signal %1: ending after the command on the line").arg(signal));
    });
    QObject::connect(&bench, &Workbench::ended, &app, &QCoreApplication::quit);
    if (!bench.start()) return 1;
    if (line.run.isEmpty()) return QCoreApplication::exec();
    if (line.unit < 1 || line.unit > units.count()) {
        Say(QStringLiteral("--unit %1: the bench has units 1 to %2").arg(line.unit).arg(units.count()));
        return 2;
    }
    return RunAndEnd(bench, units.at(line.unit), line.run);
}

} // namespace velmora
