#include "support/netns_lab.h"

#include "support/wait_until.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>

namespace velmora::test {

namespace {
constexpr const char* kLabVariable = "VELMORA_NETNS_LAB";
}

bool InNetnsLab() {
    return qEnvironmentVariableIsSet(kLabVariable);
}

bool HaveProgram(const QString& program) {
    return !QStandardPaths::findExecutable(program).isEmpty();
}

QString RunCommand(const QString& program, const QStringList& arguments, int* code, int ms) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool ended = process.waitForFinished(ms);
    if (!ended) {
        process.kill();
        process.waitForFinished(1000);
    }
    if (code)
        *code = ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromLocal8Bit(process.readAll());
}

LabOutcome RunInNetnsLab() {
    LabOutcome outcome;
    if (InNetnsLab()) return outcome;
    outcome.parent = true;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const QString filter = QStringLiteral("%1.%2").arg(info->test_suite_name(), info->name());
    if (::geteuid() != 0) {
        outcome.skipped = "needs root to make a network namespace";
        return outcome;
    }
    if (!HaveProgram("ip") || !HaveProgram("unshare")) {
        outcome.skipped = "needs ip (iproute2) and unshare to make a network namespace";
        return outcome;
    }
    const QString name = QStringLiteral("velmora-test-%1").arg(::getpid());
    int code = 0;
    const QString made = RunCommand("ip", {"netns", "add", name}, &code);
    if (code != 0) {
        outcome.skipped = "cannot make a network namespace: " + made;
        return outcome;
    }
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(kLabVariable, name);
    child.setProcessEnvironment(environment);
    child.start("ip", {"netns", "exec", name, "unshare", "--mount", "--propagation", "private",
                       QCoreApplication::applicationFilePath(), "--gtest_filter=" + filter});
    const bool ended = child.waitForFinished(240'000);
    if (!ended) {
        child.kill();
        child.waitForFinished(2000);
    }
    outcome.output = QString::fromLocal8Bit(child.readAll());
    // Whatever the run left behind in its namespace is ended, by its id.
    const QStringList pids =
        RunCommand("ip", {"netns", "pids", name}).split('\n', Qt::SkipEmptyParts);
    for (const QString& pid : pids)
        ::kill(pid.toInt(), SIGKILL);
    RunCommand("ip", {"netns", "del", name});
    if (outcome.output.contains("[  SKIPPED ]")) {
        const qsizetype at = outcome.output.indexOf("Skipped");
        outcome.skipped = outcome.output.mid(at, 400).trimmed();
        if (outcome.skipped.isEmpty()) outcome.skipped = "skipped inside the lab";
    }
    outcome.passed = ended && child.exitCode() == 0;
    return outcome;
}

QString SetUpNetnsLab() {
    int code = 0;
    const auto run = [&](const QStringList& arguments) {
        const QString out = RunCommand("ip", arguments, &code);
        return code == 0 ? QString() : "ip " + arguments.join(' ') + ": " + out;
    };
    for (const QStringList& step :
         {QStringList{"link", "set", "lo", "up"},
          QStringList{"link", "add", "vx0", "type", "veth", "peer", "name", "vx1"},
          QStringList{"addr", "add", QStringLiteral("%1/24").arg(kLabAddress), "dev", "vx0"},
          QStringList{"link", "set", "vx0", "up"}, QStringList{"link", "set", "vx1", "up"}}) {
        if (const QString failed = run(step); !failed.isEmpty()) return failed;
    }
    if (::mount("tmpfs", "/run", "tmpfs", 0, nullptr) != 0) return "cannot mount a private /run";
    return {};
}

Daemon::Daemon(const QString& program, const QStringList& arguments) {
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(program, arguments);
    process_.waitForStarted(5000);
}

Daemon::~Daemon() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(3000)) {
        process_.kill();
        process_.waitForFinished(1000);
    }
}

QString Daemon::output() {
    return QString::fromLocal8Bit(process_.readAll());
}

LabDaemons::LabDaemons(bool mdns) {
    using namespace std::chrono_literals;
    problem = SetUpNetnsLab();
    if (!problem.isEmpty()) return;
    QDir().mkpath("/run/rpcbind");
    rpcbind = std::make_unique<Daemon>("rpcbind", QStringList{"-f"});
    if (!WaitUntil([] { return QFile::exists("/run/rpcbind.sock"); }, 5s))
        problem = "rpcbind did not start";
    if (!mdns || !problem.isEmpty()) return;
    QDir().mkpath("/run/dbus");
    dbus = std::make_unique<Daemon>("dbus-daemon",
                                    QStringList{"--system", "--nofork", "--nopidfile"});
    if (!WaitUntil([] { return QFile::exists("/run/dbus/system_bus_socket"); }, 5s))
        problem = "dbus-daemon did not start";
    avahi = std::make_unique<Daemon>(
        "avahi-daemon", QStringList{"--no-drop-root", "--no-chroot", "--no-rlimits"});
    int code = 0;
    if (!WaitUntil([&] { return RunCommand("avahi-daemon", {"--check"}, &code), code == 0; },
                   10s))
        problem = "avahi-daemon did not start: " + avahi->output();
}

} // namespace velmora::test
