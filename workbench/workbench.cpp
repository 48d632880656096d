#include "workbench/workbench.h"

#include "link/serial_line.h"

#include <QCoreApplication>

namespace velmora {

Workbench::Workbench(const RunOptions& options, QObject* parent)
    : QObject(parent), options_(options), units_(clock_, &MakeQtSerialLine),
      remote_(units_, clock_, store_) {
    connect(&remote_, &RemoteServer::news, this, &Workbench::news);
    connect(&units_, &Units::message, this, &Workbench::news);
    connect(&units_, &Units::ended, this, &Workbench::ended);
    connect(&endSignals_, &EndSignals::asked, this, [this](int signal) {
        emit signalled(signal);
        shutdown();
    });
}

Workbench::~Workbench() = default;

bool Workbench::start(QString* error) {
    // A unit added later draws its runs' pictures too.
    connect(&units_, &Units::changed, this, [this] {
        for (int n = 1; n <= units_.count(); ++n)
            units_.at(n).runs().drawPicturesWith(QCoreApplication::applicationDirPath());
    });
    units_.start();
    QStringList problems;
    const RemoteSettings remote =
        RemoteSettingsForRun(store_, options_.remote, options_.headless, &problems);
    for (const QString& problem : problems)
        emit news(QStringLiteral("settings file %1, [Remote] %2").arg(store_.fileName(), problem));
    return remote_.apply(remote, error) || !remote.enabled;
}

void Workbench::shutdown() {
    remote_.stop();
    units_.shutdown();
}

} // namespace velmora
