#include "playback/playback_progress.h"

#include "recording/wall_time.h"

#include <algorithm>

namespace velmora {

QString PlaybackStatusText(const PlaybackProgress& progress, qint64 now) {
    const QString head = QStringLiteral("%1: %2 of %3 sent, ")
                             .arg(progress.fileName)
                             .arg(progress.sent)
                             .arg(progress.total);
    if (!progress.running) return head + QStringLiteral("run ended");
    if (!progress.nextAt) return head + QStringLiteral("nothing more to send");
    if (*progress.nextAt <= now) return head + QStringLiteral("next now");
    return head + QStringLiteral("next in ") + ShowDuration(*progress.nextAt - now);
}

std::vector<PlannedCommand> CommandsAhead(const PlaybackProgress& progress) {
    if (!progress.plan || !progress.running) return {};
    const auto& all = progress.plan->commands;
    const auto first = std::find_if(all.begin(), all.end(), [&](const PlannedCommand& c) {
        return c.line >= progress.nextLine;
    });
    return {first, all.end()};
}

} // namespace velmora
