#include "files/run_check.h"

#include "core/settings_store.h"
#include "runs/door_check.h"
#include "runs/run_file_read.h"
#include "runs/run_settings.h"

namespace velmora {

namespace {

int Fail(QTextStream& err, const QString& message) {
    err << QStringLiteral("velmora-files check: ") << message << Qt::endl;
    return 2;
}

} // namespace

bool IsRunFile(const QString& path) {
    return path.endsWith(QStringLiteral(".run"), Qt::CaseInsensitive);
}

int RunCheckRunFile(const Options& options, QTextStream& out, QTextStream& err) {
    if (options.values.contains(QStringLiteral("--now")))
        return Fail(err,
                    QStringLiteral("--now is for control files: a run starts when it is started"));
    const SettingsStore store;
    Model model = ModelFromCurrentLimit(store.load().currentLimit);
    if (options.values.contains(QStringLiteral("--model"))) {
        const auto named = ParseModelName(options.values.value(QStringLiteral("--model")));
        if (!named) return Fail(err, QStringLiteral("--model is 1A/20V or 2,5A/25V"));
        model = *named;
    }
    const StoredUserLimits limits = store.userLimits(model);
    for (const QString& unreadable : limits.unreadable)
        out << QStringLiteral("warning: the stored limit %1 cannot be read; the model's limit "
                              "holds\n")
                   .arg(unreadable);
    QStringList unreadable;
    const RunSettings settings = LoadRunSettings(store, &unreadable);
    for (const QString& setting : unreadable)
        out << QStringLiteral("warning: the stored setting [Runs] %1 cannot be read; the default "
                              "holds\n")
                   .arg(setting);
    const CheckedRunFile checked = CheckRunFile(
        options.files.first(), {ModelDoorCheck(model, limits.limits), settings.defaultTimeoutMs});
    if (!checked.file.error.isEmpty())
        return Fail(err, QStringLiteral("cannot read ") + checked.file.error);
    out << QStringLiteral("checked for ") << ModelName(model) << u'\n';
    for (const QString& line : checked.verdict.lines())
        out << line << u'\n';
    out.flush();
    return checked.verdict.ok() ? 0 : 1;
}

} // namespace velmora
