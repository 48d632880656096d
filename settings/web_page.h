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

/// Asks the desktop to show the author's page. Every failure is ignored:
/// nothing is shown and the caller goes on.
void OpenAuthorPage();

/// Replaces the desktop's URL opener (tests); an empty function restores it.
void SetUrlOpenerForTesting(std::function<bool(const QUrl&)> opener);

} // namespace velmora
