#include "plot/plan_picture.h"

#include "recording/local_clock.h"

namespace velmora {

namespace {

QString SkipText(const PlannedSkip& skip) {
    return QStringLiteral("line %1 skipped: %2").arg(skip.line).arg(skip.reason);
}

} // namespace

std::vector<SetpointStep> PlanSteps(const std::vector<PlannedCommand>& commands, Model model) {
    std::vector<SetpointStep> steps;
    steps.reserve(commands.size());
    LocalClock clock;
    for (const PlannedCommand& c : commands)
        if (const auto setpoints = DecodeCommand(model, c.command))
            steps.push_back({clock.ms(c.at), *setpoints});
    return steps;
}

std::vector<SkipMark> PlanSkipMarks(const PlaybackPlan& plan) {
    std::vector<SkipMark> marks;
    LocalClock clock;
    // A line skipped before any record has no time of its own: listed only.
    for (const PlannedSkip& skip : plan.skips)
        if (skip.at > 0) marks.push_back({clock.ms(skip.at), SkipText(skip)});
    return marks;
}

PlanPicture PictureOf(const PlaybackPlan& plan) {
    return {PlanSteps(plan.commands, plan.model), PlanSkipMarks(plan), PlanNotes(plan)};
}

QStringList PlanNotes(const PlaybackPlan& plan) {
    QStringList notes = plan.warnings;
    for (const PlannedSkip& skip : plan.skips)
        notes += SkipText(skip);
    return notes;
}

} // namespace velmora
