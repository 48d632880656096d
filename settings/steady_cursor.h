#pragma once
// Keeps the text cursor steady while it stands in a box with a very long text.

#include <QList>
#include <QObject>

class QLineEdit;
class QWidget;

namespace velmora {

/// Stops the cursor blinking while one of `boxes` has the focus and holds
/// more than `longestBlinkingText` characters: every blink lays the whole
/// line out again, which for a million characters costs a third of a core.
/// What the boxes hold is left alone. The blink comes back when the focus
/// moves on or the text gets short again, and when this object goes.
class SteadyCursor : public QObject {
  public:
    SteadyCursor(QList<QLineEdit*> boxes, qsizetype longestBlinkingText, QObject* parent);
    ~SteadyCursor() override;

    /// Whether the cursor is held steady now.
    bool steady() const { return savedFlashTime_ >= 0; }

  private:
    void update();
    void hold(bool steady);

    QList<QLineEdit*> boxes_;
    qsizetype longestBlinkingText_;
    int savedFlashTime_ = -1; // the blink period in force before holding, or -1
};

} // namespace velmora
