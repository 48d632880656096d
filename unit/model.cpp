#include "unit/model.h"

namespace velmora {

namespace {

// Every rule of a model, in one row.
struct ModelRow {
    Model model;
    const char* caption;
    const char* plainName;
    Limits limits;
    Milliamps currentStep;
};

constexpr ModelRow kModels[] = {
    {Model::Small1A20V, "1A/20V", "1A/20V", {Millivolts(20000), Milliamps(1000)}, Milliamps(5)},
    {Model::Large2A5_25V,
     "2,5A/25V",
     "2.5A/25V",
     {Millivolts(25000), Milliamps(2500)},
     Milliamps(10)},
};

const ModelRow* RowOf(Model model) {
    for (const ModelRow& row : kModels)
        if (row.model == model) return &row;
    return nullptr;
}

} // namespace

Limits LimitsOf(Model model) {
    const ModelRow* row = RowOf(model);
    return row ? row->limits : Limits{};
}

Model ModelFromCurrentLimit(Milliamps currentLimit) {
    for (const ModelRow& row : kModels)
        if (row.limits.current == currentLimit) return row.model;
    return Model::None;
}

Milliamps CurrentStep(Model model) {
    const ModelRow* row = RowOf(model);
    return row ? row->currentStep : Milliamps(10);
}

QString ModelCaption(Model model) {
    const ModelRow* row = RowOf(model);
    return row ? QString::fromLatin1(row->caption) : QString();
}

QString ModelPlainName(Model model) {
    const ModelRow* row = RowOf(model);
    return row ? QString::fromLatin1(row->plainName) : QStringLiteral("none");
}

QString ModelName(Model model) {
    const ModelRow* row = RowOf(model);
    return row ? QString::fromLatin1(row->caption) : QStringLiteral("no model");
}

std::optional<Model> ParseModelName(const QString& text) {
    for (const ModelRow& row : kModels)
        if (text.compare(QLatin1StringView(row.caption), Qt::CaseInsensitive) == 0 ||
            text.compare(QLatin1StringView(row.plainName), Qt::CaseInsensitive) == 0)
            return row.model;
    return std::nullopt;
}

} // namespace velmora
