// The receive handler fed arbitrary bursts from the line: any length, any
// bytes, NULs included. Whatever arrives, the read-outs keep their layout and
// the port ends open.

#include "core/state.h"
#include "fuzz/fuzz_common.h"
#include "link/port.h"
#include "link/serial_comm.h"
#include "panel/form1.h"
#include "support/panel_on_fake_line.h"

using namespace velmora;

namespace {

test::PanelOnFakeLine* bench = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::StartApplication();
    bench = new test::PanelOnFakeLine;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte cuts the input into two bursts, as the line may deliver it.
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype cut = size ? qsizetype(data[0]) % (input.size() + 1) : 0;
    // Each input starts on a listening line, not in the deaf time after the
    // previous input's reset.
    bench->form.MSComm1->setPortOpen(false);
    bench->form.MSComm1->setPortOpen(true);
    bench->line->feed(input.left(cut));
    bench->line->feed(input.mid(cut));
    bench->form.MSComm1_OnComm(); // also with fewer than 12 waiting

    if (!bench->form.MSComm1->PortOpen()) fuzz::Finding();
    const QString& voltage = bench->form.Label1.caption();
    const QString& current = bench->form.Label2.caption();
    if (voltage.size() != 5 || voltage.at(2) != u',' || voltage.at(4) != u'V') fuzz::Finding();
    if (current.size() != 5 || current.at(1) != u',' || current.at(4) != u'A') fuzz::Finding();
    if (Shared.LastMeasurement.size() != 0 && Shared.LastMeasurement != voltage + current)
        fuzz::Finding();
    const QString& heartbeat = bench->form.Label17.caption();
    if (!heartbeat.isEmpty() && heartbeat != u"*") fuzz::Finding();
    return 0;
}
