// The receive handler: each frame from the unit updates the read-outs, hands
// a changed measurement to the recorder and blinks the heartbeat.

#include "core/constants.h"
#include "core/state.h"
#include "link/frame.h"
#include "link/serial_comm.h"
#include "panel/form1.h"
#include "recorder/recorder.h"

#include <chrono>
#include <thread>

namespace velmora {

namespace {

// How long the port stays closed on a reset: one frame's time on the line
// (12 characters of 10 bits at 9600 baud, 12.5 ms) and a little more. A bad
// block is most often a frame cut in two; the receive event comes at the
// 12th waiting character, so the rest of the cut frame is still on its way.
// Reopened at once, the port would take that rest as the start of the next
// block, and a unit sending at line speed would never be read again. Kept
// closed this long, the rest falls on the closed port and is dropped, and
// the next block starts with the next frame.
constexpr auto kResetPause = std::chrono::microseconds(kFrameLength * 10 * 1'000'000 / 9600 + 2'500);

} // namespace

void Form1::MSComm1_OnComm() {
    if (MSComm1->CommEvent() != kCommEventReceive) return;
    const std::optional<Measurement> frame = ParseFrame(MSComm1->Input());
    if (!frame) {
        // Frames run together or split in two: start afresh on the line. If
        // the device has gone, the reopen fails and the port stays closed.
        // The pause does not handle events: nothing runs inside this handler.
        MSComm1->setPortOpen(false);
        std::this_thread::sleep_for(kResetPause);
        MSComm1->setPortOpen(true);
        return;
    }
    Label1.setCaption(frame->voltageText);
    Label2.setCaption(frame->currentText);
    const QString measurement = frame->text();
    if (measurement != Shared.LastMeasurement) WriteRecord(frame->voltageText, frame->currentText);
    Shared.LastMeasurement = measurement;
    Label17.setCaption(Label17.caption() == u"*" ? QString() : QStringLiteral("*"));
}

} // namespace velmora
