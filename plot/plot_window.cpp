#include "plot/plot_window.h"

#include "core/message.h"
#include "history/csv_export.h"
#include "history/file_history.h"
#include "history/history.h"
#include "plot/plot_view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
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
    layout->addLayout(status);

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
        if (live_) view_->setTimeRange(view_->xAxis->range().lower * 1000.0, now);
    } else {
        view_->setTimeRange(now - span, live_ ? now : now + span / 50);
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
}

QString PlotWindow::readoutAt(qint64 ms) const {
    const auto sample = history_->nearest(ms);
    if (!sample) return {};
    const QByteArray row = CsvRow(QDateTime::fromMSecsSinceEpoch(sample->ms), sample->values);
    const QList<QByteArray> f = row.split(',');
    return QStringLiteral("%1   %2 V   %3 A   %4 W")
        .arg(QString::fromLatin1(f[0]).replace(u'T', u' '), QString::fromLatin1(f[1]),
             QString::fromLatin1(f[2]), QString::fromLatin1(f[3]));
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
    FileHistory file = LoadRecordFile(path);
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
    window->show();
    return window;
}

} // namespace velmora
