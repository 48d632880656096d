#include "runs/run_program.h"

namespace velmora {

bool Runnable(const RunProgram& program) {
    // How many steps that do something come before each index.
    std::vector<int> before(program.steps.size() + 1, 0);
    for (std::size_t i = 0; i < program.steps.size(); ++i) {
        const StepKind kind = program.steps[i].kind;
        before[i + 1] = before[i] + (kind != StepKind::Repeat && kind != StepKind::End);
    }
    if (before.back() == 0) return false;
    std::vector<std::size_t> open;
    for (std::size_t i = 0; i < program.steps.size(); ++i) {
        const RunStep& step = program.steps[i];
        if (step.kind == StepKind::Repeat) {
            if (step.count < 1) return false;
            open.push_back(i);
        } else if (step.kind == StepKind::End) {
            if (open.empty() || std::size_t(step.partner) != open.back()) return false;
            if (before[i] == before[open.back() + 1]) return false;
            open.pop_back();
        }
    }
    return open.empty();
}

std::vector<int> SweepPoints(const RunStep& sweep) {
    std::vector<int> points;
    if (sweep.increment <= 0) return points;
    const int direction = sweep.to >= sweep.from ? 1 : -1;
    for (qint64 value = sweep.from; (value - sweep.to) * direction < 0;
         value += qint64(direction) * sweep.increment)
        points.push_back(int(value));
    points.push_back(sweep.to);
    return points;
}

std::pair<int, int> SweepSetpoints(const RunStep& sweep, int value) {
    return sweep.sweepsVoltage ? std::pair{value, sweep.milliamps}
                               : std::pair{sweep.millivolts, value};
}

} // namespace velmora
