// The receive handler: each frame from the unit updates the read-outs, hands
// a changed measurement to the recorder and blinks the heartbeat.

#include "core/constants.h"
#include "core/state.h"
#include "history/values.h"
#include "link/frame.h"
#include "link/serial_comm.h"
#include "panel/form1.h"
#include "recorder/recorder.h"

#include <QDateTime>

namespace velmora {

namespace {

// How long the reopened port stays deaf after a reset. A bad block is most
// often a frame cut in two: the receive event comes at the 12th waiting
// character, so the rest of the cut frame is still on its way (12.5 ms for a
// whole frame at 9600 baud, more where an adapter or the line delivers it in
// pieces). Taken as the start of the next block, it would spoil that one too,
// and the one after, and a unit would never be read again. Dropped, as a
// closed port drops it, the next block starts with the next frame. The port
// stays open meanwhile, so a command being sent goes on.
constexpr qint64 kResyncNs = 35'000'000;

} // namespace

void Form1::MSComm1_OnComm() {
    if (MSComm1->CommEvent() != kCommEventReceive) return;
    const std::optional<Measurement> frame = ParseFrame(MSComm1->Input());
    if (!frame) {
        // Frames run together or split in two: start afresh on the line. If
        // the device has gone, the reopen fails and the port stays closed.
        MSComm1->setPortOpen(false);
        MSComm1->setPortOpen(true);
        MSComm1->ignoreInputFor(kResyncNs);
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
    if (const auto values = ValuesOfTexts(frame->voltageText, frame->currentText))
        history_.addMeasurement(QDateTime::currentMSecsSinceEpoch(), *values);
}

} // namespace velmora
