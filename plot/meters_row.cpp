// The live plot window's meters line: the session's meters under the plot,
// drawn with the window's redraws, and the button that starts them again.

#include "meters/meter_text.h"
#include "plot/plot_window.h"
#include "session/session.h"

#include <QHBoxLayout>
#include <QPushButton>

namespace velmora {

QLayout* PlotWindow::buildMetersRow() {
    meters_ = new QLabel(this);
    meters_->setToolTip(QStringLiteral("CV/CC is inferred from the read-outs and the set-points"));
    auto* reset = new QPushButton(QStringLiteral("Reset meters"), this);
    connect(reset, &QPushButton::clicked, this, [this] {
        session_.resetMeters();
        showMeters();
    });
    auto* row = new QHBoxLayout;
    row->addWidget(meters_);
    row->addStretch();
    row->addWidget(reset);
    return row;
}

void PlotWindow::showMeters() {
    if (!meters_) return;
    // Before the first frame there is no regulation, and the line says
    // nothing was measured.
    const QString text = MetersLine(session_.meterReadings(),
                                    session_.regulation().value_or(Regulation::ConstantVoltage));
    if (text != meters_->text()) meters_->setText(text);
}

void PlotWindow::showEvent(QShowEvent* event) {
    // The session kept counting while the window was closed.
    showMeters();
    QWidget::showEvent(event);
}

} // namespace velmora
