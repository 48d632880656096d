// The receive handler: each frame from the unit updates the read-outs, hands
// a changed measurement to the recorder and blinks the heartbeat.

#include "core/constants.h"
#include "core/state.h"
#include "history/values.h"
#include "unit/measurement.h"
#include "link/serial_comm.h"
#include "panel/form1.h"
#include "recorder/recorder.h"

#include <QDateTime>

namespace velmora {

void Form1::MSComm1_OnComm() {
    if (MSComm1->CommEvent() != kCommEventReceive) return;
    const std::optional<Measurement> frame = ParseFrame(MSComm1->Input());
    if (!frame) {
        // Frames run together or split in two: start afresh on the line.
        MSComm1->resynchronise();
        return;
    }
    Label1.setCaption(frame->voltageText);
    Label2.setCaption(frame->currentText);
    const QString measurement = frame->text();
    if (measurement != Shared.LastMeasurement) WriteRecord(frame->voltageText, frame->currentText);
    Shared.LastMeasurement = measurement;
    Label17.setCaption(Label17.caption() == u"*" ? QString() : QStringLiteral("*"));
    // Only values the plot can draw: letters in a value place are shown above
    // but left out here.
    if (frame->values) history_.addMeasurement(QDateTime::currentMSecsSinceEpoch(), *frame->values);
}

} // namespace velmora
