// A run against the real simulated unit with a cell, without the session:
// the engine fed the frames the unit sends over its pseudo-terminal, its
// commands written to the line, and the report folder drawn by
// velmora-files. The charge example's figures: CC for 8.4 s, the current down
// to 0.05 A after about 22 s, about 1.92 mAh.

#include "runs/run_check.h"
#include "runs/run_engine.h"
#include "runs/run_report.h"
#include "support/files.h"
#include "support/print_qt.h"
#include "support/sim_process.h"
#include "support/wait_until.h"
#include "unit/command.h"

#include <QDir>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <unistd.h>

namespace velmora {
namespace {

using namespace std::chrono_literals;

constexpr Model kModel = Model::Small1A20V;

// The unit's end of a run: frames read off the line into the engine, with
// the regulation inferred from the set-points last sent, and commands
// written to it, told out once their 80 ms have passed.
class LineToUnit {
  public:
    LineToUnit(int fd, RunEngine*& engine)
        : fd_(fd), engine_(engine), notifier_(fd, QSocketNotifier::Read) {
        QObject::connect(&notifier_, &QSocketNotifier::activated, [this] { read(); });
    }
    QString send(int millivolts, int milliamps, std::function<void()> sent) {
        const QByteArray command = BuildSetpointCommand(kModel, millivolts, milliamps);
        if (::write(fd_, command.constData(), size_t(command.size())) != command.size())
            return QStringLiteral("the line took no command");
        set_ = {millivolts, milliamps};
        QTimer::singleShot(80, std::move(sent));
        return {};
    }
    void zero() {
        send(0, 0, [] {});
    }

  private:
    void read() {
        char bytes[256];
        const ssize_t n = ::read(fd_, bytes, sizeof bytes);
        if (n <= 0) return;
        pending_.append(bytes, n);
        RealClock clock;
        while (pending_.size() >= kFrameLength) {
            const qsizetype start = pending_.indexOf('D');
            if (start < 0 || pending_.size() - start < kFrameLength) {
                pending_.remove(0, std::max<qsizetype>(start, 0));
                break;
            }
            const auto frame = ParseFrame(QByteArrayView(pending_).sliced(start, kFrameLength));
            pending_.remove(0, start + kFrameLength);
            if (!frame || !engine_) continue;
            const Regulation regulation =
                frame->values ? InferRegulation(frame->values->decivolts, frame->values->centiamps,
                                                set_.millivolts, set_.milliamps)
                              : Regulation::ConstantVoltage;
            engine_->take({clock.monotonicNs(), clock.epochMs(), frame->values, regulation});
        }
    }

    int fd_;
    RunEngine*& engine_;
    QSocketNotifier notifier_;
    QByteArray pending_;
    Setpoints set_;
};

TEST(RunOnTheSimulatedUnit, ChargesACellToItsCutOffAndReportsIt) {
    test::SimProcess sim({"--cell", "2:3.0:4.2:1", "--settle", "0", "--rate", "20"});
    ASSERT_FALSE(sim.devicePath().empty());
    const int fd = test::openSerial(sim.devicePath());
    ASSERT_GE(fd, 0);
    RunEngine* running = nullptr;
    LineToUnit line(fd, running);
    QStringList events;
    RealClock clock;
    RunEngine engine(clock, {[&](int mv, int ma, std::function<void()> sent) {
                                 return line.send(mv, ma, std::move(sent));
                             },
                             [&] { line.zero(); }, [&](const RunEvent& e) { events << e.text(); }});
    running = &engine;
    const RunVerdict verdict = CheckRunText(
        "# Charge one cell: 0.5 A to 4.2 V, then hold until the current falls to 50 mA.\n"
        "set 4.2 V 0.5 A until I < 0.05 A timeout 60 s\nrest 1 s\n",
        {});
    ASSERT_TRUE(verdict.ok());
    QTemporaryDir reports;
    RunReport report(clock);
    ASSERT_TRUE(report.open(reports.path(), {"charge.run", "ab", ModelName(kModel), "pty"}));
    ASSERT_TRUE(engine.start(verdict.program, &report));
    ASSERT_TRUE(test::WaitUntil([&] { return engine.state() != RunState::Running; }, 40s));
    ::close(fd);

    ASSERT_EQ(engine.state(), RunState::Done) << events.join('\n').toStdString();
    const StepOutcome& charge = engine.endedSteps().front();
    const double seconds = double(charge.end.ns - charge.start.ns) / 1e9;
    std::printf("%s\nended after %.2f s with %.4f mAh\n", events.join('\n').toUtf8().constData(),
                seconds, charge.ampHours * 1000);
    EXPECT_TRUE(charge.reason.startsWith("I < 0.05 A held 3 frames at "))
        << charge.reason.toStdString();
    EXPECT_GT(seconds, 21.5);
    EXPECT_LT(seconds, 25.0);
    EXPECT_NEAR(charge.ampHours * 1000, 1.92, 0.07);
    EXPECT_EQ(sim.waitForLine("command 000 000", 2000ms).value_or(""),
              "command 000 000 -> set 0.0 V 0.000 A");

    // 0.5 A while the cell's voltage is below 3.7 V, for 8.4 s; inferred as
    // CC until the read-out shows 4.2 V, from 3.65 V inside the cell (7.8 s).
    const QString folder = report.folder();
    double lastHalfAmpere = 0, lastConstantCurrent = 0;
    for (const QByteArray& row : test::ReadFile(folder + "/measurements.csv").split('\n')) {
        const double at = row.left(row.indexOf(',')).toDouble();
        if (row.contains(",0.50,")) lastHalfAmpere = at;
        if (row.endsWith(",1,CC")) lastConstantCurrent = at;
    }
    EXPECT_NEAR(lastHalfAmpere, 8.4, 0.3);
    EXPECT_NEAR(lastConstantCurrent, 7.8, 0.3);
    EXPECT_TRUE(test::ReadFile(folder + "/summary.json").contains("\"outcome\": \"done\""));
    const test::FilesRun pictures = test::RunFiles({"report", folder});
    EXPECT_EQ(pictures.exitCode, 0) << pictures.err.toStdString();
    EXPECT_TRUE(QFile::exists(folder + "/plot.png") && QFile::exists(folder + "/plot.svg"));
}

} // namespace
} // namespace velmora
