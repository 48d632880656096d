// The session's receive path fed arbitrary bursts from the line: any length,
// any bytes, NULs included. Whatever arrives, every measurement keeps the
// read-outs' layout, its values are what its texts say, and the port ends open.

#include "fuzz/fuzz_common.h"
#include "session/session.h"
#include "support/session_on_fake_line.h"
#include "unit/measurement.h"

#include <QList>

using namespace velmora;

namespace {

test::SessionOnFakeLine* bench = nullptr;
QList<Measurement>* measured = nullptr;

bool LaidOut(const Measurement& m) {
    const QString& voltage = m.voltageText;
    const QString& current = m.currentText;
    return voltage.size() == 5 && voltage.at(2) == u',' && voltage.at(4) == u'V' &&
           current.size() == 5 && current.at(1) == u',' && current.at(4) == u'A';
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::StartApplication();
    bench = new test::SessionOnFakeLine;
    measured = new QList<Measurement>;
    QObject::connect(bench->session.get(), &Session::measured,
                     [](const Measurement& m) { measured->append(m); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte cuts the input into two bursts, as the line may deliver it.
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype cut = size ? qsizetype(data[0]) % (input.size() + 1) : 0;
    // Each input starts on a listening line, not in the deaf time after the
    // previous input's reset.
    bench->session->unit().choosePort(2);
    measured->clear();
    const qint64 historyBefore = bench->session->history().size();
    bench->line->feed(input.left(cut));
    bench->clock.advanceMs(3);
    bench->line->feed(input.mid(cut));
    bench->clock.advanceMs(3);
    bench->clock.advanceMs(100);

    if (!bench->session->unit().linkOpen()) fuzz::Finding();
    qint64 withValues = 0;
    for (const Measurement& m : *measured) {
        if (!LaidOut(m)) fuzz::Finding();
        const QByteArray voltage = m.voltageText.toLatin1(), current = m.currentText.toLatin1();
        if (m.values != ValuesOfTexts(voltage, current)) fuzz::Finding();
        if (m.values) ++withValues;
    }
    if (bench->session->history().size() - historyBefore != withValues) fuzz::Finding();
    if (!measured->isEmpty() &&
        bench->session->lastMeasurement()->text() != measured->last().text())
        fuzz::Finding();
    return 0;
}
