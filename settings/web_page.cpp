#include "settings/web_page.h"

#include <QDesktopServices>

namespace velmora {

namespace {

std::function<bool(const QUrl&)>& UrlOpener() {
    static std::function<bool(const QUrl&)> opener;
    return opener;
}

} // namespace

QUrl AuthorPageUrl() {
    return QUrl(QStringLiteral("http://%1/").arg(kAuthorHost));
}

void OpenAuthorPage() {
    const QUrl url = AuthorPageUrl();
    // The page is a courtesy: no browser, no desktop session, a refusing
    // handler - none of it may disturb the window, so every outcome is dropped.
    try {
        if (UrlOpener())
            (void)UrlOpener()(url);
        else
            (void)QDesktopServices::openUrl(url);
    } catch (...) {
    }
}

void SetUrlOpenerForTesting(std::function<bool(const QUrl&)> opener) {
    UrlOpener() = std::move(opener);
}

} // namespace velmora
