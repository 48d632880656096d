#include "runs/run_settings.h"

#include "core/settings_store.h"
#include "runs/run_parser.h"
#include "runs/step_reader.h"

namespace velmora {

namespace {

std::optional<qint64> ReadTimeout(const QString& text) {
    const QByteArray bytes = text.trimmed().toLatin1();
    const auto seconds = ReadDecimal(bytes);
    if (seconds && !seconds->negative && seconds->fractionDigits == 0 && seconds->digits > 0 &&
        seconds->digits <= kMaxDurationMs / 1000)
        return seconds->digits * 1000;
    std::vector<Token> tokens;
    if (CutTokens(bytes, 1, tokens)) return std::nullopt;
    StepReader in(tokens, 1, int(bytes.size()) + 1);
    const auto duration = in.positiveDuration("the timeout");
    if (!duration || !in.expectEnd()) return std::nullopt;
    return duration;
}

} // namespace

RunSettings ParseRunSettings(const QString& timeout, const QString& frames, QStringList* problems) {
    RunSettings settings;
    const auto unreadable = [problems](const char* key, const QString& text) {
        if (problems) *problems << QLatin1StringView(key) + u'=' + text;
    };
    if (!timeout.isEmpty()) {
        if (const auto ms = ReadTimeout(timeout))
            settings.defaultTimeoutMs = *ms;
        else
            unreadable("Timeout", timeout);
    }
    if (!frames.isEmpty()) {
        const auto number = ParseInt16(frames);
        if (number && *number >= 1 && *number <= RunSettings::kMaxFrames)
            settings.frames = *number;
        else
            unreadable("Frames", frames);
    }
    return settings;
}

RunSettings LoadRunSettings(const SettingsStore& store, QStringList* problems) {
    const QString group = QStringLiteral("Runs");
    return ParseRunSettings(store.text(group, QStringLiteral("Timeout")),
                            store.text(group, QStringLiteral("Frames")), problems);
}

} // namespace velmora
