#pragma once
// Shows a window of the program over the others.

#include <QWidget>

namespace velmora {

/// Shows `window`, or brings it to the front with the focus when it is
/// already shown; gives it back.
template <class Window> Window* ShowInFront(Window* window) {
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

} // namespace velmora
