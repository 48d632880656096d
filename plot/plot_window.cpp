#include "plot/plot_window.h"

#include "history/csv_export.h"
#include "history/history.h"
#include "playback/playback_progress.h"
#include "plot/plot_view.h"
#include "plot/record_file_load.h"
#include "plot/step_marks.h"
#include "recording/wall_time.h"
#include "session/session.h"
#include "ui/message_box.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QListView>
#include <QMimeData>
#include <QPushButton>
#include <QStackedLayout>
#include <QStringListModel>
#include <QVBoxLayout>

namespace velmora {

namespace {

constexpr qint64 kSpanMs[] = {60'000, 600'000, 3'600'000, 0};

QString LocalPath(const QMimeData* mime) {
    if (!mime || !mime->hasUrls() || mime->urls().isEmpty()) return {};
    return mime->urls().first().toLocalFile();
}

} // namespace

PlotWindow::PlotWindow(Session& session)
    : session_(session), history_(&session.history()), live_(true) {
    setWindowTitle(QStringLiteral("Plot"));
    build();
    new RunStepMarks(session_, *view_, this);
    setSpan(LastTenMinutes);
    connect(&session_, &Session::playbackChanged, this, &PlotWindow::showPlaybackProgress);
    if (!session_.playbackProgress().fileName.isEmpty())
        showPlaybackProgress(session_.playbackProgress());
}

PlotWindow::~PlotWindow() {
    if (load_) load_->abandon();
}

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
    notes_ = new QListView(this);
    noteTexts_ = new QStringListModel(notes_);
    notes_->setModel(noteTexts_);
    notes_->setUniformItemSizes(true);
    notes_->setEditTriggers(QAbstractItemView::NoEditTriggers);
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
    auto* content = new QWidget(this);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    pages_ = new QStackedLayout(this);
    pages_->addWidget(content);
    layout->addLayout(tools);
    layout->addWidget(view_, 1);
    if (live_) layout->addLayout(buildMetersRow());
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
    // A pan or zoom by the user ends following; our own range changes do
    // not, and are drawn by the caller, once.
    connect(view_->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this, [this] {
        if (placing_) return;
        stopFollowing();
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
    // The session's clock, which stamps the samples: "now" is where they are.
    const qint64 now = session_.clock().localNow().toMSecsSinceEpoch();
    if (live_) return now;
    const auto last = history_->last();
    return last ? last->ms : now;
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
    if (!isVisible()) return;
    // A reset from elsewhere (remote control) changes the meters without a
    // new sample.
    showMeters();
    // Following moves with the clock, so it redraws also without new samples.
    if (!following_ && history_->revision() == drawnRevision_) return;
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
    if (moved) {
        view_->setPlan(
            PlanSteps(CommandsAhead(progress), progress.plan ? progress.plan->model : Model::None),
            {});
        view_->refresh();
    }
    showPlaybackStatus();
}

void PlotWindow::showPlaybackStatus() {
    if (!progress_) return;
    // The countdown moves with the clock between the player's reports.
    playback_->setText(PlaybackStatusText(*progress_, WallSeconds(session_.clock().localNow())));
    playback_->show();
}

void PlotWindow::setPlan(PlanPicture plan) {
    marks_ = std::move(plan.marks);
    std::vector<qint64> times;
    times.reserve(marks_.size());
    for (const SkipMark& mark : marks_)
        times.push_back(mark.ms);
    view_->setPlan(std::move(plan.steps), std::move(times));
    noteTexts_->setStringList(plan.notes);
    notes_->setVisible(!plan.notes.isEmpty());
}

QStringList PlotWindow::planNotes() const {
    return noteTexts_->stringList();
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
    if (!path.isEmpty()) OpenRecordFileWindow(session_, path);
}

void PlotWindow::chooseAndSaveData() {
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save data"), {},
                                                      QStringLiteral("CSV files (*.csv)"));
    if (!path.isEmpty() && !saveData(path))
        ShowMessageBox(QStringLiteral("Could not write %1.").arg(path), windowTitle(), this);
}

void PlotWindow::chooseAndSavePicture() {
    QString filter;
    QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Save picture"), {},
        QStringLiteral("PNG picture (*.png);;SVG picture (*.svg)"), &filter);
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty()) path += filter.contains("svg") ? ".svg" : ".png";
    if (!savePicture(path))
        ShowMessageBox(QStringLiteral("Could not write %1.").arg(path), windowTitle(), this);
}

void PlotWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!LocalPath(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void PlotWindow::dropEvent(QDropEvent* event) {
    const QString path = LocalPath(event->mimeData());
    if (path.isEmpty()) return;
    event->acceptProposedAction();
    OpenRecordFileWindow(session_, path);
}

} // namespace velmora
