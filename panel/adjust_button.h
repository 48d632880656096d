#pragma once
// A push button that reports mouse press and release of any mouse button.

#include <QPushButton>

namespace velmora {

/// One of the eight adjust buttons: acts on press and release, not on click.
class AdjustButton : public QPushButton {
    Q_OBJECT
  public:
    using QPushButton::QPushButton;

  signals:
    /// Emitted after the button has drawn itself pressed; the handler may wait.
    void MouseDown();
    void MouseUp();

  protected:
    void mousePressEvent(QMouseEvent* event) override {
        QPushButton::mousePressEvent(event);
        emit MouseDown();
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        QPushButton::mouseReleaseEvent(event);
        emit MouseUp();
    }
};

} // namespace velmora
