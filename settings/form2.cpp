#include "settings/form2.h"

namespace velmora {

void OpenSettingsWindow() {}

} // namespace velmora
