// Drawing the front panel.

#include "panel/form1.h"

#include <QPainter>

namespace velmora {

void Form1::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (Label1.isVisible()) painter.drawText(QRect(208, 48, 89, 25), Label1.caption());
    if (Label2.isVisible()) painter.drawText(QRect(336, 48, 73, 25), Label2.caption());
    if (Label16.isVisible()) painter.drawText(QRect(256, 48, 89, 25), Label16.caption());
    painter.drawText(QRect(0, 0, 9, 9), Label17.caption());
}

} // namespace velmora
