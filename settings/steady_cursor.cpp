#include "settings/steady_cursor.h"

#include <QApplication>
#include <QLineEdit>
#include <QStyleHints>

namespace velmora {

SteadyCursor::SteadyCursor(QList<QLineEdit*> boxes, qsizetype longestBlinkingText, QObject* parent)
    : QObject(parent), boxes_(std::move(boxes)), longestBlinkingText_(longestBlinkingText) {
    // Only the box with the focus blinks, so the program-wide blink period
    // is, in effect, that box's own while it has the focus.
    connect(qApp, &QApplication::focusChanged, this, &SteadyCursor::update);
    for (QLineEdit* box : boxes_)
        connect(box, &QLineEdit::textChanged, this, &SteadyCursor::update);
    update();
}

SteadyCursor::~SteadyCursor() {
    hold(false);
}

void SteadyCursor::update() {
    const QWidget* focus = QApplication::focusWidget();
    bool longTextFocused = false;
    for (const QLineEdit* box : boxes_)
        longTextFocused =
            longTextFocused || (box == focus && box->text().size() > longestBlinkingText_);
    hold(longTextFocused);
}

void SteadyCursor::hold(bool steady) {
    QStyleHints* hints = QGuiApplication::styleHints();
    if (steady && savedFlashTime_ < 0) {
        savedFlashTime_ = hints->cursorFlashTime();
        hints->setCursorFlashTime(0); // a period of 0 shows the cursor without blinking
    } else if (!steady && savedFlashTime_ >= 0) {
        hints->setCursorFlashTime(savedFlashTime_);
        savedFlashTime_ = -1;
    }
}

} // namespace velmora
