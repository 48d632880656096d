// velmora --headless: the bench with no window; what happens is told on
// standard error, one line an event.

#include "app/run.h"

#include "link/link_status.h"
#include "workbench/workbench.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>

namespace velmora {

namespace {

void Say(const QString& text) {
    const QByteArray line = (QStringLiteral("velmora: ") + text + u'\n').toLocal8Bit();
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}

// Tells each change of the link once: opened, waiting, re-attached, refused.
void TellLink(const Session& session, LinkState& before) {
    const LinkStatus status = session.unit().linkStatus();
    if (status.state == before) return;
    const bool back = before == LinkState::Waiting && status.state == LinkState::Open;
    before = status.state;
    Say(back ? LinkStatusText(status) + QStringLiteral(" (re-attached)") : LinkStatusText(status));
}

// --run FILE: the run's steps on standard error as they start and end; the
// program ends with the run: 0 when every step ended as the file says, 3
// when it ended early, 2 when the check refused it.
int RunAndEnd(Workbench& bench, const QString& file) {
    Session& session = bench.session();
    int status = 3;
    QObject::connect(&session, &Session::runEvent, [&](const RunEvent& event) {
        Say(event.text());
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
        const QStringList lines =
            start.verdict.problems.isEmpty() ? QStringList{start.refusal} : start.verdict.lines();
        for (const QString& text : lines)
            Say(QStringLiteral("run %1 refused: %2").arg(file, text));
        return 2;
    }
    Say(QStringLiteral("run %1: worst case %2").arg(file, start.verdict.worstCaseText()));
    QCoreApplication::exec();
    return status;
}

} // namespace

int RunHeadless(int argc, char* argv[], const CommandLine& line) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(ProgramVersion());
    QDir::setCurrent(QCoreApplication::applicationDirPath());
    Workbench bench({true, line.remote});
    Session& session = bench.session();
    LinkState linkBefore = LinkState::Closed;
    QObject::connect(&session.unit(), &UnitControl::linkChanged,
                     [&] { TellLink(session, linkBefore); });
    QObject::connect(&session, &Session::recordingChanged, [&](bool on) {
        Say(on ? QStringLiteral("recording to ") + session.recordFileName()
               : QStringLiteral("recording stopped"));
    });
    // Messages for a user at the panel; a trip is told once, as it happens.
    QObject::connect(&session, &Session::message,
                     [](const QString& text, const QString&) { Say(text); });
    QObject::connect(&session, &Session::protectionTripped, &Say);
    QObject::connect(&session, &Session::settingsNotStored, &Say);
    QObject::connect(&bench, &Workbench::news, &Say);
    QObject::connect(&bench, &Workbench::signalled, [](int signal) {
        Say(QStringLiteral("signal %1: ending after the command on the line").arg(signal));
    });
    QObject::connect(&bench, &Workbench::ended, &app, &QCoreApplication::quit);
    const bool listening = bench.start();
    TellLink(session, linkBefore);
    if (!listening) return 1;
    if (line.run.isEmpty()) return QCoreApplication::exec();
    return RunAndEnd(bench, line.run);
}

} // namespace velmora
