#include "plot/plot_window.h"

#include "core/clock.h"
#include "core/limits.h"
#include "core/message.h"
#include "core/state.h"
#include "history/csv_export.h"
#include "history/file_history.h"
#include "history/history.h"
#include "plot/plot_view.h"
#include "recorder/playback_progress.h"
#include "recorder/wall_time.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmora {

namespace {

constexpr qint64 kSpanMs[] = {60'000, 600'000, 3'600'000, 0};

QString LocalPath(const QMimeData* mime) {
    if (!mime || !mime->hasUrls() || mime->urls().isEmpty()) return {};
    return mime->urls().first().toLocalFile();
}

} // namespace

PlotWindow::PlotWindow(const History* history) : history_(history), live_(true) {
    setWindowTitle(QStringLiteral("Plot"));
    build();
    setSpan(LastTenMinutes);
    connect(&PlaybackReports(), &PlaybackNews::progressed, this, &PlotWindow::showPlaybackProgress);
    if (!PlaybackReports().last().fileName.isEmpty())
        showPlaybackProgress(PlaybackReports().last());
}

PlotWindow::PlotWindow(std::unique_ptr<History> history, const QString& fileName,
                       const QString& note)
    : own_(std::move(history)), history_(own_.get()), live_(false) {
    setWindowTitle(QStringLiteral("Plot \u2013 %1").arg(fileName));
    setAttribute(Qt::WA_DeleteOnClose);
    build();
    note_->setText(note);
    setSpan(Everything);
}

PlotWindow::~PlotWindow() = default;

void PlotWindow::build() {
    setAcceptDrops(true);
    resize(900, 420);
    view_ = new PlotView(history_, this);
    span_ = new QComboBox(this);
    span_->addItems({QStringLiteral("Last 1 minute"), QStringLiteral("Last 10 minutes"),
                     QStringLiteral("Last hour"), QStringLiteral("Everything")});
    follow_ = new QPushButton(QStringLiteral("Follow"), this);
    follow_->setCheckable(true);
    power_ = new QCheckBox(QStringLiteral("Power"), this);
    auto* open = new QPushButton(QStringLiteral("Open…"), this);
    auto* saveData = new QPushButton(QStringLiteral("Save data…"), this);
    auto* savePicture = new QPushButton(QStringLiteral("Save picture…"), this);
    readout_ = new QLabel(this);
    note_ = new QLabel(this);
    playback_ = new QLabel(this);
    notes_ = new QListWidget(this);
    notes_->setMaximumHeight(90);
    notes_->hide();
    auto* tools = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{span_, follow_, power_})
        tools->addWidget(w);
    tools->addStretch();
    for (QWidget* w : std::initializer_list<QWidget*>{open, saveData, savePicture})
        tools->addWidget(w);
    auto* status = new QHBoxLayout;
    status->addWidget(readout_);
    status->addStretch();
    status->addWidget(note_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(tools);
    layout->addWidget(view_, 1);
    layout->addWidget(notes_);
    layout->addLayout(status);
    layout->addWidget(playback_);
    playback_->hide();

    connect(span_, &QComboBox::activated, this, [this](int i) { setSpan(Span(i)); });
    connect(follow_, &QPushButton::clicked, this, [this] { follow(); });
    connect(power_, &QCheckBox::toggled, view_, &PlotView::setShowPower);
    connect(open, &QPushButton::clicked, this, &PlotWindow::chooseAndOpen);
    connect(saveData, &QPushButton::clicked, this, &PlotWindow::chooseAndSaveData);
    connect(savePicture, &QPushButton::clicked, this, &PlotWindow::chooseAndSavePicture);
    // A pan or zoom by the user ends following; our own range changes do not.
    connect(view_->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this, [this] {
        if (!placing_) stopFollowing();
        view_->refresh();
    });
    connect(view_, &QCustomPlot::mouseMove, this, [this](QMouseEvent* event) {
        const double key = view_->xAxis->pixelToCoord(event->position().x());
        readout_->setText(readoutAt(qint64(key * 1000.0)));
    });
    redraw_.setInterval(1000 / kRedrawsPerSecond);
    connect(&redraw_, &QTimer::timeout, this, &PlotWindow::redrawIfChanged);
    if (live_) redraw_.start();
}

qint64 PlotWindow::nowMs() const {
    if (live_) return QDateTime::currentMSecsSinceEpoch();
    const auto last = history_->last();
    return last ? last->ms : QDateTime::currentMSecsSinceEpoch();
}

void PlotWindow::setSpan(Span span) {
    span_->setCurrentIndex(span);
    follow();
}

void PlotWindow::follow() {
    following_ = true;
    follow_->setChecked(true);
    placeRange();
    view_->refresh();
}

void PlotWindow::stopFollowing() {
    following_ = false;
    follow_->setChecked(false);
}

void PlotWindow::placeRange() {
    placing_ = true;
    const qint64 span = kSpanMs[span_->currentIndex()];
    const qint64 now = nowMs();
    if (span == 0) {
        view_->showEverything(now);
        // In a run, the coming set-points show ahead of now.
        const qint64 end =
            view_->plan().empty() ? now : std::max(now, view_->plan().back().ms) + 1000;
        if (live_) view_->setTimeRange(view_->xAxis->range().lower * 1000.0, end);
    } else {
        const qint64 ahead = view_->plan().empty() ? 0 : span / 4;
        view_->setTimeRange(now - span, live_ ? now + ahead : now + span / 50);
    }
    placing_ = false;
}

void PlotWindow::redrawIfChanged() {
    // Following moves with the clock, so it redraws also without new samples.
    if (!following_ && history_->revision() == drawnRevision_) return;
    if (!isVisible()) return;
    drawnRevision_ = history_->revision();
    if (following_) placeRange();
    view_->refresh();
    showPlaybackStatus();
}

void PlotWindow::showPlaybackProgress(const PlaybackProgress& progress) {
    // The steps ahead change only when a record has been dealt with.
    const bool moved = !progress_ || progress_->plan != progress.plan ||
                       progress_->nextLine != progress.nextLine ||
                       progress_->running != progress.running;
    progress_ = std::make_unique<PlaybackProgress>(progress);
    if (moved)
        view_->setPlan(
            PlanSteps(CommandsAhead(progress), progress.plan ? progress.plan->model : Model::None),
            {});
    showPlaybackStatus();
}

void PlotWindow::showPlaybackStatus() {
    if (!progress_) return;
    // The countdown moves with the clock between the player's reports.
    playback_->setText(PlaybackStatusText(*progress_, WallSeconds(LocalNow())));
    playback_->show();
}

void PlotWindow::setPlan(const PlaybackPlan& plan) {
    marks_ = PlanSkipMarks(plan);
    std::vector<qint64> times;
    for (const SkipMark& mark : marks_)
        times.push_back(mark.ms);
    view_->setPlan(PlanSteps(plan.commands, plan.model), std::move(times));
    notes_->clear();
    notes_->addItems(PlanNotes(plan));
    notes_->setVisible(notes_->count() > 0);
    if (following_) placeRange();
    view_->refresh();
}

QStringList PlotWindow::planNotes() const {
    QStringList texts;
    for (int i = 0; i < notes_->count(); ++i)
        texts += notes_->item(i)->text();
    return texts;
}

QString PlotWindow::readoutAt(qint64 ms) const {
    QString text;
    if (const auto sample = history_->nearest(ms)) {
        const QByteArray row = CsvRow(QDateTime::fromMSecsSinceEpoch(sample->ms), sample->values);
        const QList<QByteArray> f = row.split(',');
        text = QStringLiteral("%1   %2 V   %3 A   %4 W")
                   .arg(QString::fromLatin1(f[0]).replace(u'T', u' '), QString::fromLatin1(f[1]),
                        QString::fromLatin1(f[2]), QString::fromLatin1(f[3]));
    }
    // Within a hundredth of the view, as near as a pointer can aim at a mark.
    const qint64 near = std::max<qint64>(500, qint64(view_->xAxis->range().size() * 10.0));
    for (const SkipMark& mark : marks_)
        if (std::abs(mark.ms - ms) <= near)
            return text.isEmpty() ? mark.text : text + QStringLiteral("   ") + mark.text;
    return text;
}

bool PlotWindow::saveData(const QString& path) const {
    return WriteHistoryCsv(*history_, path);
}

bool PlotWindow::savePicture(const QString& path) const {
    return view_->savePicture(path, view_->size());
}

void PlotWindow::chooseAndOpen() {
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Open record file"));
    if (!path.isEmpty()) OpenRecordFileWindow(path);
}

void PlotWindow::chooseAndSaveData() {
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save data"), {},
                                                      QStringLiteral("CSV files (*.csv)"));
    if (!path.isEmpty() && !saveData(path))
        ShowMessage(QStringLiteral("Could not write %1.").arg(path), windowTitle());
}

void PlotWindow::chooseAndSavePicture() {
    QString filter;
    QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Save picture"), {},
        QStringLiteral("PNG picture (*.png);;SVG picture (*.svg)"), &filter);
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty()) path += filter.contains("svg") ? ".svg" : ".png";
    if (!savePicture(path))
        ShowMessage(QStringLiteral("Could not write %1.").arg(path), windowTitle());
}

void PlotWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!LocalPath(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void PlotWindow::dropEvent(QDropEvent* event) {
    const QString path = LocalPath(event->mimeData());
    if (path.isEmpty()) return;
    event->acceptProposedAction();
    OpenRecordFileWindow(path);
}

PlotWindow* OpenRecordFileWindow(const QString& path) {
    // Every record file is a control file too: read once for both, laid out
    // on its own time stamps, as it plays when started before its first
    // record; the warnings are for playing it now.
    const Model model = CurrentModel();
    FileHistory file =
        LoadRecordFile(path, PlanInputs{model, ReadUserLimits(model), 0, WallSeconds(LocalNow())});
    if (!file.history) {
        ShowMessage(QStringLiteral("Cannot open the record file %1").arg(file.error),
                    QStringLiteral("Plot"));
        return nullptr;
    }
    const QString leftOut = LeftOutText(file.leftOut, file.lines);
    const QString note = leftOut.isEmpty()
                             ? QString()
                             : QStringLiteral("Could not read all of the file: %1.").arg(leftOut);
    auto* window = new PlotWindow(std::move(file.history), QFileInfo(path).fileName(), note);
    if (file.plan) window->setPlan(*file.plan);
    window->show();
    return window;
}

} // namespace velmora
