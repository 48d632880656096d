#pragma once
// The author's web page, opened from the settings window.

#include <QLatin1StringView>
#include <QUrl>
#include <functional>

namespace velmora {

/// The host the settings window names as the author's page.
inline constexpr QLatin1StringView kAuthorHost{"tarnholm.example"};

/// "http://<host>/".
QUrl AuthorPageUrl();

/// What shows a web page: the desktop's own opener unless a test gives another.
using UrlOpener = std::function<bool(const QUrl&)>;

/// Asks `opener` (the desktop when empty) to show the author's page. Every
/// failure is ignored: nothing is shown and the caller goes on.
void OpenAuthorPage(const UrlOpener& opener = {});

} // namespace velmora
