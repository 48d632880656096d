#include "files/check.h"

#include "core/clock.h"
#include "core/limits.h"
#include "core/settings_store.h"
#include "files/check_tally.h"
#include "files/options.h"
#include "recorder/wall_time.h"

namespace velmora {

namespace {

int Fail(QTextStream& err, const QString& message) {
    err << QStringLiteral("velmora-files check: ") << message << Qt::endl;
    return 2;
}

// The model stored in the settings, as the panel would start with it.
Model StoredModel() {
    LoadSettings();
    return CurrentModel();
}

} // namespace

std::optional<Model> ParseModel(const QString& text) {
    if (text == QStringLiteral("1A/20V")) return Model::Small1A20V;
    if (text == QStringLiteral("2,5A/25V") || text == QStringLiteral("2.5A/25V"))
        return Model::Large2A5_25V;
    return std::nullopt;
}

QString ModelName(Model model) {
    switch (model) {
    case Model::Small1A20V:
        return QStringLiteral("1A/20V");
    case Model::Large2A5_25V:
        return QStringLiteral("2,5A/25V");
    case Model::None:
        break;
    }
    return QStringLiteral("no model");
}

int RunCheck(const QStringList& args, QTextStream& out, QTextStream& err) {
    const Options options =
        ParseOptions(args, {QStringLiteral("--model"), QStringLiteral("--now")});
    if (!options.error.isEmpty()) return Fail(err, options.error);
    if (options.files.size() != 1) return Fail(err, QStringLiteral("give one control file"));
    std::optional<Model> model = Model::None;
    if (options.values.contains(QStringLiteral("--model"))) {
        model = ParseModel(options.values.value(QStringLiteral("--model")));
        if (!model) return Fail(err, QStringLiteral("--model is 1A/20V or 2,5A/25V"));
    } else {
        model = StoredModel();
    }
    std::optional<qint64> now = WallSeconds(LocalNow());
    if (options.values.contains(QStringLiteral("--now"))) {
        now = ParseMoment(options.values.value(QStringLiteral("--now")));
        if (!now) return Fail(err, QStringLiteral("--now needs \"YYYY-MM-DD HH:MM:SS\""));
    }
    InputFile input = OpenInput(options.files.first());
    if (!input.error.isEmpty()) return Fail(err, input.error);

    CheckTally tally(*model, *now);
    // The player skips what goes past the user's own limits; so does the check.
    const UserLimits userLimits = ReadUserLimits(*model);
    int number = 0;
    while (const auto line = input.lines->next()) {
        RecordVerdict verdict;
        if (input.lines->lastWasTooLong()) {
            verdict.reason = SkipReason::TooLong;
            verdict.skippedAtOnce = true;
        } else {
            verdict = JudgeRecordLine(*line, *model, userLimits);
        }
        out << tally.take(++number, verdict) << u'\n';
    }
    tally.finish(out);
    out.flush();
    return tally.skipped() > 0 ? 1 : 0;
}

} // namespace velmora
