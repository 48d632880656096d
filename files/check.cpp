#include "files/check.h"

#include "core/settings_store.h"
#include "files/options.h"
#include "files/run_check.h"
#include "playback/check_tally.h"
#include "playback/playback_plan.h"
#include "recording/wall_time.h"

namespace velmora {

namespace {

int Fail(QTextStream& err, const QString& message) {
    err << QStringLiteral("velmora-files check: ") << message << Qt::endl;
    return 2;
}

} // namespace

int RunCheck(const QStringList& args, QTextStream& out, QTextStream& err) {
    const Options options =
        ParseOptions(args, {QStringLiteral("--model"), QStringLiteral("--now")});
    if (!options.error.isEmpty()) return Fail(err, options.error);
    if (options.files.size() != 1) return Fail(err, QStringLiteral("give one control file"));
    if (IsRunFile(options.files.first())) return RunCheckRunFile(options, out, err);
    std::optional<Model> model = Model::None;
    if (options.values.contains(QStringLiteral("--model"))) {
        model = ParseModelName(options.values.value(QStringLiteral("--model")));
        if (!model) return Fail(err, QStringLiteral("--model is 1A/20V or 2,5A/25V"));
    } else {
        model = ModelFromCurrentLimit(SettingsStore().load().currentLimit);
    }
    std::optional<qint64> now = WallSeconds(QDateTime::currentDateTime());
    if (options.values.contains(QStringLiteral("--now"))) {
        now = ParseMoment(options.values.value(QStringLiteral("--now")));
        if (!now) return Fail(err, QStringLiteral("--now needs \"YYYY-MM-DD HH:MM:SS\""));
    }
    InputFile input = OpenInput(options.files.first());
    if (!input.error.isEmpty()) return Fail(err, input.error);

    CheckTally tally(*model, *now);
    // The player skips what goes past the user's own limits; so does the check.
    const StoredUserLimits stored = SettingsStore().userLimits(*model);
    for (const QString& unreadable : stored.unreadable)
        out << QStringLiteral("warning: the stored limit %1 cannot be read; the model's limit "
                              "holds")
                   .arg(unreadable)
            << u'\n';
    const UserLimits& userLimits = stored.limits;
    int number = 0;
    while (const auto line = input.lines->next()) {
        const RecordVerdict verdict =
            JudgeReadLine(*line, input.lines->lastWasTooLong(), *model, userLimits);
        out << tally.take(++number, verdict) << u'\n';
    }
    tally.finish(out);
    out.flush();
    return tally.skipped() > 0 ? 1 : 0;
}

} // namespace velmora
