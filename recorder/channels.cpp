#include "recorder/channels.h"

namespace velmora {

void CloseChannel(int) {}
void CloseAllChannels() {}

} // namespace velmora
