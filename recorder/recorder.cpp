#include "recorder/recorder.h"

namespace velmora {

void WriteRecord(const QString&, const QString&) {}

} // namespace velmora
