#include "workbench/workbench.h"

#include "link/serial_line.h"

#include <QCoreApplication>

namespace velmora {

Workbench::Workbench(const RunOptions& options, QObject* parent)
    : QObject(parent), options_(options), session_(clock_, MakeQtSerialLine(), SettingsStore()),
      remote_(session_, store_) {
    connect(&remote_, &RemoteServer::news, this, &Workbench::news);
    connect(&session_, &Session::ended, this, &Workbench::ended);
    connect(&endSignals_, &EndSignals::asked, this, [this](int signal) {
        emit signalled(signal);
        shutdown();
    });
}

Workbench::~Workbench() = default;

bool Workbench::start(QString* error) {
    session_.start();
    session_.runs().drawPicturesWith(QCoreApplication::applicationDirPath());
    QStringList problems;
    const RemoteSettings remote =
        RemoteSettingsForRun(store_, options_.remote, options_.headless, &problems);
    for (const QString& problem : problems)
        emit news(QStringLiteral("settings file %1, [Remote] %2").arg(store_.fileName(), problem));
    return remote_.apply(remote, error) || !remote.enabled;
}

void Workbench::shutdown() {
    remote_.stop();
    session_.shutdown();
}

} // namespace velmora
