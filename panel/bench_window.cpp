#include "panel/bench_window.h"

#include "link/link_status.h"
#include "meters/meters.h"
#include "session/units.h"
#include "ui/window_font.h"

#include <QHeaderView>
#include <algorithm>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace velmora {

namespace {

const QStringList kColumns = {QStringLiteral("Name"),        QStringLiteral("Port"),
                              QStringLiteral("Model"),       QStringLiteral("Link"),
                              QStringLiteral("Measured"),    QStringLiteral("Set-points"),
                              QStringLiteral("Regulation"),  QStringLiteral("Trip"),
                              QStringLiteral("Recording"),   QStringLiteral("Run")};

} // namespace

QStringList BenchRow(const Units& units, int number) {
    const Session& s = units.at(number);
    const Setpoints set = s.unit().setpoints();
    const std::optional<Measurement>& last = s.lastMeasurement();
    const QString measured = last && last->values
                                 ? QStringLiteral("%1 V  %2 A")
                                       .arg(Volts(*last->values), 0, 'f', 1)
                                       .arg(Amperes(*last->values), 0, 'f', 2)
                                 : QStringLiteral("-");
    return {units.name(number),
            QStringLiteral("COM%1").arg(s.unit().port()),
            ModelName(s.unit().model()),
            LinkWord(s.unit().linkStatus()),
            measured,
            VoltageText(set.voltage) + QStringLiteral("  ") + CurrentText(set.current),
            s.regulation() ? QString::fromLatin1(RegulationName(*s.regulation())) : QStringLiteral("-"),
            s.tripped() ? QStringLiteral("tripped") : QStringLiteral("-"),
            s.recording() ? s.recordFileName() : QStringLiteral("-"),
            QString::fromLatin1(RunStateName(s.runs().state())).toLower()};
}

BenchWindow::BenchWindow(Units& units, QWidget* parent) : QWidget(parent), units_(units) {
    setObjectName(QStringLiteral("BenchWindow"));
    setWindowTitle(QStringLiteral("Bench"));
    setFont(WindowFont());
    setAttribute(Qt::WA_DeleteOnClose);
    table = new QTableWidget(0, int(kColumns.size()), this);
    table->setHorizontalHeaderLabels(kColumns);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setFocusPolicy(Qt::NoFocus);
    table->verticalHeader()->setVisible(true);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    allOff = new QPushButton(QStringLiteral("All outputs off"), this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table);
    layout->addWidget(allOff, 0, Qt::AlignRight);
    connect(allOff, &QPushButton::clicked, this,
            [this] { units_.allOutputsOff(SetpointSource::AllOutputsOff); });
    connect(table, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { emit panelAsked(row + 1); });
    connect(&units_, &UnitSet::changed, this, [this] {
        follow();
        refresh();
    });
    follow();
    refresh();
    fitToTable();
}

// As wide as the table's columns, as high as its rows, within reason.
void BenchWindow::fitToTable() {
    const int width = table->verticalHeader()->width() + table->horizontalHeader()->length() +
                      2 * table->frameWidth() + 40;
    const int rows = std::max(units_.count(), 2);
    resize(std::clamp(width, 480, 1600),
           table->horizontalHeader()->height() + rows * table->verticalHeader()->defaultSectionSize() +
               allOff->sizeHint().height() + 60);
}

void BenchWindow::follow() {
    for (int n = 1; n <= units_.count(); ++n) {
        Session& s = units_.at(n);
        s.disconnect(this);
        s.unit().disconnect(this);
        connect(&s, &Session::measured, this, &BenchWindow::refreshSoon);
        connect(&s, &Session::protectionChanged, this, &BenchWindow::refreshSoon);
        connect(&s, &Session::recordingChanged, this, &BenchWindow::refreshSoon);
        connect(&s, &Session::runChanged, this, &BenchWindow::refreshSoon);
        connect(&s.unit(), &UnitControl::setpointsChanged, this, &BenchWindow::refreshSoon);
        connect(&s.unit(), &UnitControl::linkChanged, this, &BenchWindow::refreshSoon);
        connect(&s.unit(), &UnitControl::modelChanged, this, &BenchWindow::refreshSoon);
    }
}

// Frames come 80 times a second: the table is drawn anew a few times a second.
void BenchWindow::refreshSoon() {
    if (stale_) return;
    stale_ = true;
    QTimer::singleShot(250, this, [this] {
        stale_ = false;
        refresh();
    });
}

void BenchWindow::refresh() {
    table->setRowCount(units_.count());
    for (int n = 1; n <= units_.count(); ++n) {
        const QStringList row = BenchRow(units_, n);
        for (int c = 0; c < row.size(); ++c) {
            QTableWidgetItem* item = table->item(n - 1, c);
            if (!item) table->setItem(n - 1, c, item = new QTableWidgetItem);
            item->setText(row[c]);
        }
        table->setVerticalHeaderItem(n - 1, new QTableWidgetItem(QString::number(n)));
    }
}

} // namespace velmora
