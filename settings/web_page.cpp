#include "settings/web_page.h"

#include <QDesktopServices>

namespace velmora {

QUrl AuthorPageUrl() {
    return QUrl(QStringLiteral("http://%1/").arg(kAuthorHost));
}

void OpenAuthorPage(const UrlOpener& opener) {
    const QUrl url = AuthorPageUrl();
    // The page is a courtesy: no browser, no desktop session, a refusing
    // handler - none of it may disturb the window, so every outcome is dropped.
    try {
        if (opener)
            (void)opener(url);
        else
            (void)QDesktopServices::openUrl(url);
    } catch (...) {
    }
}

} // namespace velmora
