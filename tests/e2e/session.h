#pragma once
// One run of the real panel against the simulated unit, with settings,
// record file and control file of its own in a private folder.

#include "e2e/driver.h"

#include <QProcessEnvironment>
#include <memory>

namespace velmora::e2e {

// Window pixels of the controls the tests use.
constexpr int kPlusOneVoltX = 464, kPlusOneVoltY = 24; // Command1
constexpr int kPlus100mAX = 560, kPlus100mAY = 24;     // Command5
constexpr int kPanelAreaX = 300, kPanelAreaY = 150;    // the click area, off every button
constexpr int kRecorderX = 548, kRecorderY = 52;       // Form2 Command1
constexpr int kPlayerX = 548, kPlayerY = 116;          // Form2 Command2

/// The panel of one test in a private folder with its own settings, record
/// file and control file; the panel is ended by the destructor.
class PanelRun {
  public:
    PanelRun() {
        ok_ = dir_.isValid() && QDir(dir_.path()).mkpath("config") &&
              QDir(dir_.path()).mkpath("runtime") &&
              QFile::setPermissions(path("runtime"),
                                    QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    ~PanelRun() { killPanel(); }

    PanelRun(const PanelRun&) = delete;
    PanelRun& operator=(const PanelRun&) = delete;

    QString path(const QString& name) const { return dir_.filePath(name); }
    QString link() const { return path("unit"); }
    QString recordFile() const { return path("record.txt"); }
    QString controlFile() const { return path("control.txt"); }
    QProcess& panel() { return panel_; }
    qint64 panelPid() const { return panel_.processId(); }
    const QString& window() const { return window_; }
    const QString& settingsWindow() const { return settings_; }

    /// Starts velmora with `arguments` on COM2, mapped to the unit's link,
    /// with the settings of the folder plus `settings` (ini lines).
    bool startProgram(const QStringList& arguments, const QByteArray& settings = {}) {
        if (!ok_) return false;
        const QByteArray conf = "[Ports]\nCOM2=" + link().toUtf8() +
                                "\n[Netzteil]\nLog=" + recordFile().toUtf8() +
                                "\nDat=" + controlFile().toUtf8() + "\n" + settings;
        if (!WriteFile(path("config/Tarnholm.conf"), conf)) return false;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", path("config"));
        env.insert("XDG_RUNTIME_DIR", path("runtime"));
        env.remove("QT_QPA_PLATFORM");
        panel_.setProcessEnvironment(env);
        panel_.setStandardOutputFile(path("panel.out"));
        panel_.setStandardErrorFile(path("panel.err"));
        panel_.start(QString(VELMORA_BIN_DIR) + "/velmora", arguments);
        return panel_.waitForStarted(5000);
    }

    /// Starts velmora on COM2 (mapped to the unit's link) and waits for its window.
    bool startPanel() {
        if (!startProgram({})) return false;
        window_ = FindWindow(panel_.processId(), "Power supply");
        // The window is mapped before its first paint; give it a moment.
        Pause(300ms);
        return !window_.isEmpty();
    }

    /// A click on the panel off the buttons opens "Settings"; it is moved
    /// below the panel so that it covers none of the buttons.
    bool openSettings() {
        if (!Click(window_, kPanelAreaX, kPanelAreaY)) return false;
        settings_ = FindWindow(panel_.processId(), "Settings");
        if (settings_.isEmpty()) return false;
        const Geometry panel = WindowGeometry(window_);
        Xdo({"windowmove", settings_, QString::number(panel.x),
             QString::number(panel.y + panel.height + 20)});
        return WaitUntil([&] { return WindowGeometry(settings_).y > panel.y + panel.height; }, 3s);
    }

    /// The recorder's Start: the record file is created (emptied) on success.
    bool startRecording() {
        QFile::remove(recordFile());
        return Click(settings_, kRecorderX, kRecorderY) &&
               WaitUntil([&] { return QFile::exists(recordFile()); }, 3s);
    }
    /// The panel shown, its settings window open and the recorder started.
    bool startRecordingPanel() { return startPanel() && openSettings() && startRecording(); }
    bool clickRecorder() { return Click(settings_, kRecorderX, kRecorderY); }
    bool clickPlayer() { return Click(settings_, kPlayerX, kPlayerY); }

    QByteArray record() const { return ReadFile(recordFile()); }
    QByteArray panelErrors() const { return ReadFile(path("panel.err")); }

    /// Exit code once the panel has ended; -1 if it is still running after
    /// `timeout`, -2 if it crashed.
    int waitForPanelExit(milliseconds timeout) {
        if (!panel_.waitForFinished(static_cast<int>(timeout.count()))) return -1;
        return panel_.exitStatus() == QProcess::NormalExit ? panel_.exitCode() : -2;
    }
    bool panelRunning() {
        return !panel_.waitForFinished(0) && panel_.state() == QProcess::Running;
    }
    void killPanel() {
        if (panel_.state() != QProcess::NotRunning) {
            panel_.kill();
            panel_.waitForFinished(3000);
        }
    }

  protected:
    bool ok_ = false; // the folder is there; a subclass adds its own conditions

  private:
    QTemporaryDir dir_;
    QProcess panel_;
    QString window_;
    QString settings_;
};

/// The panel and the unit of one test, ended by the destructor.
class Session : public PanelRun {
  public:
    explicit Session(std::vector<std::string> simOptions = {}) {
        std::vector<std::string> args{"--rate",   "20",
                                      "--settle", "0.05",
                                      "--link",   link().toStdString(),
                                      "--status", path("status").toStdString()};
        args.insert(args.end(), simOptions.begin(), simOptions.end());
        sim_ = std::make_unique<test::SimProcess>(args);
        ok_ = ok_ && !sim_->devicePath().empty();
    }
    // The panel goes before its unit, so it never sees its line vanish.
    ~Session() { killPanel(); }

    test::SimProcess& sim() { return *sim_; }
    QByteArray status() const { return ReadFile(path("status")); }

    /// The next command the unit reports ("030 100"); empty on timeout.
    QByteArray nextCommand(milliseconds timeout = 5s) {
        const auto line = sim_->waitForLine("command ", timeout);
        return line ? CommandFields(*line) : QByteArray();
    }
    /// Commands until one equals `fields`; false on timeout.
    bool waitForCommand(const QByteArray& fields, milliseconds timeout = 5s) {
        const auto deadline = Clock::now() + timeout;
        while (Clock::now() < deadline) {
            const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
            if (nextCommand(left) == fields) return true;
        }
        return false;
    }
    /// Forgets the unit's lines printed so far.
    void drainUnit() {
        while (sim_->readLine(50ms)) {
        }
    }

    /// Sets the panel's current set-point to `clicks` x 100 mA, one short
    /// click at a time, each sent before the next.
    bool raiseCurrent(int clicks, int expectedVoltageField = 0) {
        for (int i = 1; i <= clicks; ++i) {
            if (!Hold(window(), kPlus100mAX, kPlus100mAY, 80ms)) return false;
            const QByteArray fields =
                QByteArray::number(expectedVoltageField).rightJustified(3, '0') + ' ' +
                QByteArray::number(i * 20).rightJustified(3, '0');
            if (!waitForCommand(fields)) return false;
        }
        return true;
    }

    /// 0.3 A, then +1 V: the unit gets "010 060" and its output moves to
    /// 1.0 V and 0.10 A.
    bool raiseToOneVolt() {
        return raiseCurrent(3) && Click(window(), kPlusOneVoltX, kPlusOneVoltY) &&
               waitForCommand("010 060");
    }

  private:
    std::unique_ptr<test::SimProcess> sim_;
};

} // namespace velmora::e2e
