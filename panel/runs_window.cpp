#include "panel/runs_window.h"

#include "core/message.h"
#include "panel/form1.h"
#include "panel/runs_text.h"
#include "recording/file_names.h"
#include "session/session.h"
#include "ui/show_in_front.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QStringListModel>
#include <QVBoxLayout>
#include <algorithm>

namespace velmora {

namespace {

// The step's elapsed time shows whole seconds: the window refreshes as each
// one passes, and twice early in a step, when its command goes out.
qint64 NextRefreshNs(qint64 elapsedNs) {
    constexpr qint64 kEarlyNs = 100 * kNsPerMs;
    const qint64 toNextSecond = kNsPerSecond - std::max<qint64>(elapsedNs, 0) % kNsPerSecond;
    return elapsedNs < 2 * kEarlyNs ? std::min(toNextSecond, kEarlyNs) : toNextSecond;
}

QLabel* Line(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

// A file the dialog chose where a bare name leads is kept as the bare name,
// as remote control's RUN:FILE gives it; any other keeps its path.
QString NameFor(const QString& path) {
    const QString bare = QFileInfo(path).fileName();
    return QFileInfo(FilePathFor(bare)) == QFileInfo(path) ? bare : path;
}

} // namespace

RunsWindow::RunsWindow(Session& session)
    : session_(session), tick_(session.clock(), [this] { refresh(); }) {
    setWindowTitle(QStringLiteral("Runs"));
    setAttribute(Qt::WA_DeleteOnClose);
    fileName = new QLineEdit(session_.runFileName(), this);
    fileName->setPlaceholderText(QStringLiteral("charge.run"));
    choose = new QPushButton(QStringLiteral("Choose…"), this);
    verdict = Line(this);
    worstCase = Line(this);
    problems = new QListWidget(this);
    problems->setMaximumHeight(110);
    start = new QPushButton(QStringLiteral("Start"), this);
    stop = new QPushButton(QStringLiteral("Stop"), this);
    refusal = Line(this);
    state = Line(this);
    step = Line(this);
    progress = Line(this);
    endedSteps = new QListView(this);
    ended_ = new QStringListModel(endedSteps);
    endedSteps->setModel(ended_);
    endedSteps->setUniformItemSizes(true); // a run may end a great many steps
    endedSteps->setEditTriggers(QAbstractItemView::NoEditTriggers);
    outcome = Line(this);
    report = Line(this);
    placeControls();
    connect(fileName, &QLineEdit::editingFinished, this, &RunsWindow::takeFileName);
    connect(fileName, &QLineEdit::textChanged, this, [this](const QString& text) {
        fileName->setToolTip(MessageForDisplay(FilePathFor(text)));
        refresh();
    });
    connect(choose, &QPushButton::clicked, this, &RunsWindow::chooseFile);
    connect(start, &QPushButton::clicked, this, &RunsWindow::startRun);
    connect(stop, &QPushButton::clicked, this, &RunsWindow::stopRun);
    followRuns();
    if (!fileName->text().isEmpty()) checkFile();
    fileName->setToolTip(MessageForDisplay(FilePathFor(fileName->text())));
}

RunsWindow::~RunsWindow() = default;

void RunsWindow::placeControls() {
    auto* file = new QHBoxLayout;
    file->addWidget(new QLabel(QStringLiteral("Run file:"), this));
    file->addWidget(fileName, 1);
    file->addWidget(choose);
    auto* check = new QHBoxLayout;
    check->addWidget(verdict, 1);
    check->addWidget(worstCase);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(start);
    buttons->addWidget(stop);
    buttons->addStretch(1);
    auto* all = new QVBoxLayout(this);
    all->addLayout(file);
    all->addLayout(check);
    all->addWidget(problems);
    all->addLayout(buttons);
    all->addWidget(refusal);
    all->addWidget(state);
    all->addWidget(step);
    all->addWidget(progress);
    all->addWidget(new QLabel(QStringLiteral("Ended steps:"), this));
    all->addWidget(endedSteps, 1);
    all->addWidget(outcome);
    all->addWidget(report);
    worstCase->setWordWrap(false);
    problems->hide();
    refusal->hide();
    resize(600, 400);
}

void RunsWindow::takeFileName() {
    if (fileName->text() != session_.runFileName()) session_.setRunFileName(fileName->text());
    checkFile();
}

void RunsWindow::checkFile() {
    refusal->hide();
    if (fileName->text().isEmpty()) {
        verdict->clear();
        worstCase->clear();
        problems->hide();
        return;
    }
    const CheckedRunFile checked = session_.checkRun(fileName->text());
    if (!checked.file.error.isEmpty()) return showUnreadable(checked.file.error);
    showVerdict(checked.verdict);
}

void RunsWindow::showVerdict(const RunVerdict& checked) {
    QStringList lines = checked.lines();
    // The last two lines are the verdict and the worst case; the problems
    // go above them.
    const QString worst = lines.takeLast();
    verdict->setText(QStringLiteral("Check: ") +
                     lines.takeLast().remove(QStringLiteral("verdict: ")));
    worstCase->setText(QStringLiteral("Worst case: ") + checked.worstCaseText());
    worstCase->setToolTip(worst);
    problems->clear();
    for (const QString& line : lines)
        problems->addItem(MessageForDisplay(line));
    problems->setVisible(!lines.isEmpty());
}

void RunsWindow::showUnreadable(const QString& why) {
    verdict->setText(MessageForDisplay(why));
    worstCase->clear();
    problems->clear();
    problems->hide();
}

// A refusal is said here, beside the button: nothing waits for a box.
void RunsWindow::startRun() {
    if (fileName->text() != session_.runFileName()) session_.setRunFileName(fileName->text());
    const RunStart started = session_.startRun(fileName->text());
    if (started.started) {
        refusal->hide();
        showVerdict(started.verdict);
        return;
    }
    if (!started.verdict.problems.isEmpty()) showVerdict(started.verdict);
    refusal->setText(QStringLiteral("Not started: ") + MessageForDisplay(started.refusal));
    refusal->show();
}

void RunsWindow::stopRun() {
    session_.stopRun(QStringLiteral("stopped in the Runs window"));
}

QFileDialog* RunsWindow::chooseFile() {
    const QString folder = QFileInfo(FilePathFor(fileName->text())).absolutePath();
    auto* dialog = new QFileDialog(this, QStringLiteral("Choose a run file"), folder,
                                   QStringLiteral("Run files (*.run);;All files (*)"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFile);
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& path) {
        fileName->setText(NameFor(path));
        takeFileName();
    });
    dialog->open();
    return dialog;
}

void RunsWindow::followRuns() {
    connect(&session_, &Session::runEvent, this, &RunsWindow::onRunEvent);
    connect(&session_, &Session::runChanged, this, &RunsWindow::onRunChanged);
    fillEndedSteps();
    refresh();
}

// The ended steps come one by one as they end: a long run's list is never
// copied again.
void RunsWindow::onRunEvent(const RunEvent& event) {
    if (event.kind == RunEvent::StepStarted && event.step == 1)
        ended_->setStringList({});
    else if (event.kind == RunEvent::StepEnded)
        appendEndedStep(EndedStepText(event.step, event.stepText, event.reason));
}

void RunsWindow::onRunChanged() {
    // A name given elsewhere (remote control's RUN:FILE) is shown and checked.
    if (session_.runFileName() != fileName->text()) {
        fileName->setText(session_.runFileName());
        checkFile();
    }
    refresh();
}

void RunsWindow::fillEndedSteps() {
    QStringList texts;
    for (const StepOutcome& s : session_.runs().endedSteps())
        texts << EndedStepText(s.number, s.text, s.reason);
    ended_->setStringList(texts);
}

void RunsWindow::appendEndedStep(const QString& text) {
    const QScrollBar* bar = endedSteps->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    const int row = ended_->rowCount();
    ended_->insertRows(row, 1);
    ended_->setData(ended_->index(row), text);
    if (atEnd) endedSteps->scrollToBottom();
}

QStringList RunsWindow::endedStepTexts() const {
    return ended_->stringList();
}

// Once a second while a run goes, for its elapsed time; nothing ticks idle.
// Nothing else of the run's moves without a runChanged.
void RunsWindow::refresh() {
    const RunControl& runs = session_.runs();
    const RunStatus status = runs.status();
    const bool running = runs.running();
    QString stateText = RunStateText(status.state);
    if (!runs.fileName().isEmpty() && status.state != RunState::Idle)
        stateText += QStringLiteral(": ") + runs.fileName();
    state->setText(MessageForDisplay(stateText));
    step->setText(RunStepText(status));
    progress->setText(RunProgressText(status));
    progress->setVisible(running);
    outcome->setText(RunOutcomeText(runs.outcome()));
    outcome->setVisible(!outcome->text().isEmpty());
    const QString folder = runs.reportFolder();
    report->setText(folder.isEmpty() || running
                        ? QString()
                        : QStringLiteral("Report: ") + MessageForDisplay(folder));
    report->setVisible(!report->text().isEmpty());
    start->setEnabled(!running && !fileName->text().isEmpty());
    stop->setEnabled(running);
    if (running)
        tick_.start(NextRefreshNs(status.elapsedNs));
    else
        tick_.stop();
}

RunsWindow* Form1::OpenRunsWindow() {
    if (!runsWindow_) runsWindow_ = new RunsWindow(session_);
    return ShowInFront(runsWindow_.data());
}

RunsWindow* Form1::runsWindow() const {
    return runsWindow_;
}

} // namespace velmora
