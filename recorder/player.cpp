#include "recorder/player.h"

namespace velmora {

void PlayerButton_Click(QAbstractButton*, const QString&) {}

} // namespace velmora
