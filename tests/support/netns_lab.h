#pragma once
// A private network for tests that broadcast, multicast or need rpcbind's
// port 111: the test runs again inside a network namespace it makes (and a
// mount namespace with its own /run, for rpcbind's and D-Bus's sockets),
// with loopback up and a veth pair that carries multicast. Nothing it sends
// reaches the machine's own interfaces. The namespace is removed always.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace velmora::test {

/// The address of the lab's own interface (vx0), its other end (vx1) silent.
inline constexpr const char* kLabAddress = "10.231.0.1";

/// Whether this process is the run inside the lab.
bool InNetnsLab();

/// How the run inside the lab went, seen from the test that started it.
struct LabOutcome {
    bool parent = false; // false: this is the run inside the lab
    QString skipped;     // why it was skipped (here or inside)
    bool passed = false;
    QString output;
};

/// Runs the current test again inside a fresh lab; skipped when the machine
/// cannot make the namespace (not root, no `ip`). Use VELMORA_IN_NETNS_LAB.
LabOutcome RunInNetnsLab();

/// First in a test: the rest of the test runs inside a lab, whose outcome
/// (passed, failed with its output, skipped with its reason) is this test's.
#define VELMORA_IN_NETNS_LAB()                                                                     \
    if (const ::velmora::test::LabOutcome lab = ::velmora::test::RunInNetnsLab(); lab.parent) {    \
        if (!lab.skipped.isEmpty()) GTEST_SKIP() << lab.skipped.toStdString();                     \
        EXPECT_TRUE(lab.passed) << lab.output.toStdString();                                       \
        return;                                                                                    \
    }

/// Inside the lab: brings up loopback and vx0/vx1 and mounts a private /run.
/// An empty text when done, else what failed.
QString SetUpNetnsLab();

/// A daemon the test started, ended (by its own id) when this goes.
class Daemon {
  public:
    Daemon(const QString& program, const QStringList& arguments);
    ~Daemon();
    bool running() const { return process_.state() == QProcess::Running; }
    QString output();

  private:
    QProcess process_;
};

/// Inside the lab: rpcbind, and for mDNS D-Bus and Avahi, started for the
/// test; `problem` says what did not start.
struct LabDaemons {
    explicit LabDaemons(bool mdns);
    QString problem;
    std::unique_ptr<Daemon> rpcbind, dbus, avahi;
};

/// Runs a command to its end (within `ms`), its standard output and error
/// together; the exit code in `code` (-1 if it did not end).
QString RunCommand(const QString& program, const QStringList& arguments, int* code = nullptr,
                   int ms = 30'000);

/// Whether `program` is on the PATH.
bool HaveProgram(const QString& program);

} // namespace velmora::test
