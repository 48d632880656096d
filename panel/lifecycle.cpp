#include "panel/lifecycle.h"

#include "core/settings_store.h"
#include "link/port.h"
#include "recorder/channels.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>
#include <cstdlib>

namespace velmora {

void Startup() {
    QDir::setCurrent(QCoreApplication::applicationDirPath());
    LoadSettings();
    OpenPort();
}

void ReleaseResources() {
    CloseAllChannels();
    ClosePort();
}

void Shutdown() {
    ReleaseResources();
    std::fflush(nullptr);
    // Leaving through the event loop would resume every handler suspended in
    // a wait (a playback, a held button); ending here keeps them from
    // sending anything more to the unit.
    std::_Exit(0);
}

} // namespace velmora
