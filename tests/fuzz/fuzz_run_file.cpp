// The run file's parser and check, velmora-files check on a run file, and
// the engine on what passes, fed arbitrary bytes: every problem names a
// line of the file, a verdict of ok leaves a program the engine can run,
// and the engine on a fake clock asks only for set-points the file holds.

#include "fuzz/fuzz_common.h"

#include "files/check.h"
#include "runs/door_check.h"
#include "runs/run_check.h"
#include "runs/run_engine.h"
#include "support/fake_clock.h"

#include <QFile>
#include <QTextStream>
#include <set>

using namespace velmora;

namespace {

int LinesOf(QByteArrayView input) {
    return int(
        std::min<qsizetype>(input.count('\n') + input.count('\r') + 1, kMaxRunFileLines + 1));
}

// Every pair of set-points the program may ask for.
std::set<std::pair<int, int>> Setpoints(const RunProgram& program) {
    std::set<std::pair<int, int>> pairs{{0, 0}};
    for (const RunStep& step : program.steps) {
        pairs.insert({step.millivolts, step.milliamps});
        if (step.kind == StepKind::Sweep)
            for (const int value : SweepPoints(step))
                pairs.insert(SweepSetpoints(step, value));
    }
    return pairs;
}

void RunBriefly(const RunProgram& program) {
    test::FakeClock clock;
    const auto allowed = Setpoints(program);
    int zeros = 0;
    std::vector<std::function<void()>> waiting;
    RunEngine engine(clock, {[&](int mv, int ma, std::function<void()> sent) {
                                 if (!allowed.count({mv, ma})) fuzz::Finding();
                                 waiting.push_back(std::move(sent));
                                 return QString();
                             },
                             [&] { ++zeros; }, [](const RunEvent&) {}});
    if (!engine.start(program)) fuzz::Finding();
    for (int i = 0; i < 200 && engine.state() == RunState::Running; ++i) {
        for (auto& sent : std::exchange(waiting, {}))
            sent();
        clock.advanceMs(i * 37 % 5000);
        engine.take({clock.monotonicNs(), clock.epochMs(), Values{i % 200, i % 50},
                     i % 3 ? Regulation::ConstantVoltage : Regulation::ConstantCurrent});
    }
    engine.stop(QStringLiteral("the fuzzer"));
    if (zeros != 1 || engine.state() == RunState::Running) fuzz::Finding();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::StartApplication();
    const QByteArrayView input(reinterpret_cast<const char*>(data), qsizetype(size));
    const RunVerdict verdict =
        CheckRunText(input, {ModelDoorCheck(Model::Large2A5_25V, {}), kDefaultRunTimeoutMs});
    const int lines = LinesOf(input);
    if (verdict.problems.size() > kMaxRunProblems + 1) fuzz::Finding();
    for (const RunProblem& problem : verdict.problems)
        if (problem.place.line < 1 || problem.place.line > lines + 1 || problem.place.column < 1 ||
            problem.message.isEmpty())
            fuzz::Finding();
    if (verdict.worstCaseMs < 0 || verdict.worstCaseText().isEmpty()) fuzz::Finding();
    if (verdict.ok()) {
        if (!Runnable(verdict.program)) fuzz::Finding();
        RunBriefly(verdict.program);
    }
    // The same bytes as a file, through velmora-files check.
    const QString path = QDir::tempPath() + QStringLiteral("/velmora-fuzz.run");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
    file.write(input.data(), input.size());
    file.close();
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    const int code = RunCheck({path, QStringLiteral("--model"), QStringLiteral("2,5A/25V")},
                              outStream, errStream);
    if (code != (verdict.ok() ? 0 : 1)) fuzz::Finding();
    return 0;
}
