// velmora --headless: the session and remote control with no window; what
// happens is told on standard error, one line an event.

#include "app/run.h"

#include "core/clock.h"
#include "core/end_signals.h"
#include "core/settings_store.h"
#include "link/link_status.h"
#include "link/serial_line.h"
#include "remote/remote_server.h"
#include "session/session.h"

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
    const LinkStatus status = session.linkStatus();
    if (status.state == before) return;
    const bool back = before == LinkState::Waiting && status.state == LinkState::Open;
    before = status.state;
    Say(back ? LinkStatusText(status) + QStringLiteral(" (re-attached)") : LinkStatusText(status));
}

} // namespace

int RunHeadless(int argc, char* argv[], const CommandLine& line) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(ProgramVersion());
    QDir::setCurrent(QCoreApplication::applicationDirPath());
    SettingsStore store;
    const RemoteSettings remote = RemoteSettingsForRun(store, line.remote, true);
    RealClock clock;
    Session session(clock, MakeQtSerialLine(), std::move(store));
    RemoteServer server(session);
    EndSignals endSignals;
    LinkState linkBefore = LinkState::Closed;
    QObject::connect(&session, &Session::linkChanged, [&] { TellLink(session, linkBefore); });
    QObject::connect(&session, &Session::recordingChanged, [&](bool on) {
        Say(on ? QStringLiteral("recording to ") + session.recordFileName()
               : QStringLiteral("recording stopped"));
    });
    QObject::connect(&session, &Session::message,
                     [](const QString& text, const QString&) { Say(text); });
    QObject::connect(&session, &Session::protectionTripped, &Say);
    QObject::connect(&server, &RemoteServer::news, &Say);
    QObject::connect(&endSignals, &EndSignals::asked, [&](int signal) {
        Say(QStringLiteral("signal %1: ending after the command on the line").arg(signal));
        session.shutdown();
    });
    QObject::connect(&session, &Session::ended, &app, &QCoreApplication::quit);
    session.start();
    TellLink(session, linkBefore);
    if (!server.apply(remote) && remote.enabled) return 1;
    return QCoreApplication::exec();
}

} // namespace velmora
