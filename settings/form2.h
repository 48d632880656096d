#pragma once
// The settings window: port and model, file names, recorder and player.

namespace velmora {

/// Creates the settings window and runs its opening steps when it is not
/// open; otherwise only brings it to the front.
void OpenSettingsWindow();

} // namespace velmora
