// The plot window of a record file: open at once, the file read on a
// thread of its own meanwhile, its plot shown when read.

#include "plot/plot_window.h"

#include "history/file_history.h"
#include "playback/playback_progress.h"
#include "plot/plot_view.h"
#include "plot/record_file_load.h"
#include "recording/wall_time.h"
#include "session/session.h"
#include "ui/message_box.h"

#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedLayout>
#include <QVBoxLayout>

namespace velmora {

PlotWindow::PlotWindow(Session& session, const QString& path, const PlanInputs& plan)
    : session_(session), own_(std::make_unique<History>(1)), history_(own_.get()), live_(false),
      load_(new RecordFileLoad(path, plan)) {
    const QString fileName = QFileInfo(path).fileName();
    setWindowTitle(QStringLiteral("Plot \u2013 %1").arg(fileName));
    setAttribute(Qt::WA_DeleteOnClose);
    build();
    pages_->setCurrentIndex(pages_->addWidget(buildLoadingPage(fileName)));
    connect(load_, &RecordFileLoad::progressed, this,
            [this](double share) { progressBar_->setValue(int(share * 1000)); });
    connect(load_, &RecordFileLoad::finished, this, &PlotWindow::showLoaded);
}

bool PlotWindow::loading() const {
    return load_ != nullptr;
}

RecordFileLoad* PlotWindow::fileLoad() const {
    return load_;
}

QWidget* PlotWindow::buildLoadingPage(const QString& fileName) {
    auto* page = new QWidget(this);
    progressBar_ = new QProgressBar(page);
    progressBar_->setRange(0, 1000);
    progressBar_->setValue(0);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), page);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    auto* row = new QHBoxLayout;
    row->addWidget(progressBar_, 1);
    row->addWidget(cancel);
    auto* layout = new QVBoxLayout(page);
    layout->addStretch();
    layout->addWidget(new QLabel(QStringLiteral("Reading %1 …").arg(fileName), page));
    layout->addLayout(row);
    layout->addStretch();
    return page;
}

void PlotWindow::showLoaded() {
    LoadedRecordFile loaded = load_->take();
    FileHistory& file = loaded.file;
    load_->deleteLater();
    load_ = nullptr;
    if (!file.history) {
        // Gone or spoilt since it was opened: as if it could not be opened.
        close();
        ShowMessageBox(QStringLiteral("Cannot open the record file %1").arg(file.error),
                       QStringLiteral("Plot"));
        return;
    }
    own_ = std::move(file.history);
    history_ = own_.get();
    view_->setHistory(history_);
    const QString leftOut = LeftOutText(file.leftOut, file.lines);
    note_->setText(leftOut.isEmpty()
                       ? QString()
                       : QStringLiteral("Could not read all of the file: %1.").arg(leftOut));
    setPlan(std::move(loaded.plan));
    // Laid out first, its notes included, so that everything is drawn once,
    // at the plot's own width.
    span_->setCurrentIndex(Everything);
    pages_->setCurrentIndex(0);
    layout()->activate();
    follow();
}

PlotWindow* OpenRecordFileWindow(Session& session, const QString& path) {
    if (const auto problem = RecordFileProblem(path)) {
        ShowMessageBox(QStringLiteral("Cannot open the record file %1").arg(*problem),
                       QStringLiteral("Plot"));
        return nullptr;
    }
    // Every record file is a control file too: laid out on its own time
    // stamps, as it plays when started before its first record; the
    // warnings are for playing it now. What the reading needs of the session
    // is taken here, not on the reading's thread.
    auto* window = new PlotWindow(session, path,
                                  PlanInputs{session.unit().model(), session.unit().userLimits(), 0,
                                             WallSeconds(session.clock().localNow())});
    window->show();
    return window;
}

} // namespace velmora
