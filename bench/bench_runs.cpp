// Runs: how soon the engine asks for the next step's command after the frame
// that completes a condition, the report's row written on the way, on the
// real clock; and how long the check of a run file of 10,000 lines takes.
// The door itself (the session) adds its own time after this.

#include "bench_support.h"
#include "runs/run_check.h"
#include "runs/run_engine.h"
#include "runs/run_report.h"

#include <QFile>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace velmora;
using bench::Figures;
using bench::NowNs;

int main(int argc, char** argv) {
    bench::BenchApp app(argc, argv);
    const int steps = argc > 1 ? std::max(2, std::atoi(argv[1])) : 2000;
    RealClock clock;
    qint64 askedAt = 0;
    RunSettings settings;
    settings.frames = 1;
    RunEngine run(clock,
                  {[&](int, int, std::function<void()> sent) {
                       askedAt = NowNs();
                       sent(); // as if the line were free and the command out at once
                       return QString();
                   },
                   [] {}, [](const RunEvent&) {}},
                  settings);
    const QByteArray text =
        QByteArray("repeat ") + QByteArray::number(steps / 2) +
        "\n set 5 V 0.5 A until I < 0.05 A\n set 5 V 0.5 A until I > 0.05 A\nend\n";
    const RunVerdict verdict = CheckRunText(text, {});
    QTemporaryDir reports;
    RunReport report(clock);
    if (!verdict.ok() || !report.open(reports.path(), {"bench.run", "", "1A/20V", "COM2"}))
        return 1;
    if (!run.start(verdict.program, &report)) return 1;
    Figures latency;
    std::vector<double> samples;
    for (int i = 0; i < steps && run.state() == RunState::Running; ++i) {
        const Values values{50, i % 2 == 0 ? 4 : 6};
        const qint64 before = NowNs();
        run.take({clock.monotonicNs(), clock.epochMs(), values, Regulation::ConstantVoltage});
        latency.add(double(askedAt - before) / 1e3);
        samples.push_back(double(askedAt - before) / 1e3);
    }
    if (run.state() != RunState::Done) return 1;
    std::sort(samples.begin(), samples.end());
    std::printf("run condition to command mean/median/99th/max: %.1f/%.1f/%.1f/%.1f us (%d steps, "
                "the report's row written on the way)\n",
                latency.mean(), samples[samples.size() / 2], samples[samples.size() * 99 / 100],
                latency.max, latency.count);

    // Through the session: from the frame that completes a condition to the
    // next step's first character on the line, its report row on the way.
    QTemporaryDir store;
    auto* line = new test::FakeLine;
    Session session(clock, std::unique_ptr<SerialLine>(line),
                    SettingsStore(store.filePath("Tarnholm.conf")));
    session.setFileNames(store.filePath("rec.log"), QString());
    session.start();
    const QString runFile = store.filePath("steps.run");
    {
        QFile out(runFile);
        if (!out.open(QIODevice::WriteOnly)) return 1;
        out.write(
            "repeat 10\n set 5 V 0.5 A until I < 0.1 A\n set 5 V 0.6 A until I > 0.1 A\nend\n");
    }
    if (!session.startRun(runFile).started) return 1;
    Figures toCommand;
    for (int i = 0; i < 20 && session.runs().state() == RunState::Running; ++i) {
        bench::RunUntil([&] { return session.unit().linkIdle(); },
                        1000); // the step's command is out
        line->clearWrites();
        const char* frame = i % 2 == 0 ? "D 050  005  " : "D 050  020  ";
        for (int f = 0; f < 2; ++f) {
            line->feed(frame);
            bench::RunFor(12);
        }
        const qint64 completed = NowNs();
        line->feed(frame);
        if (!bench::RunUntil([&] { return !line->writes().isEmpty(); }, 1000)) return 1;
        toCommand.add(double(line->writes().first().atNs - completed) / 1e6);
    }
    std::printf("run condition to the next command on the line mean/max: %.2f/%.2f ms (%d steps)\n",
                toCommand.mean(), toCommand.max, toCommand.count);

    QByteArray file;
    for (int i = 0; i < kMaxRunFileLines / 2; ++i)
        file += "set 4.2 V 0.5 A until I < 0.05 A or CV timeout 3 h  # a comment\nrest 10 s\n";
    const qint64 from = NowNs();
    const RunVerdict big = CheckRunText(file, {});
    std::printf("run file check, 10000 lines: %.1f ms (%s)\n", double(NowNs() - from) / 1e6,
                big.ok() ? "ok" : "problems");
    return 0;
}
