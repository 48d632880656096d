#include "recorder/recorder.h"

namespace velmora {

void WriteRecord(const QString&, const QString&) {}
void RecorderButton_Click(QAbstractButton*, const QString&) {}

} // namespace velmora
