// Drawing the front panel. Everything but the eight buttons is painted here,
// from the bottom of the stacking order up, so a control listed later lies
// above the ones before it. Places are in twips from the client area's
// top-left corner; nothing depends on the window's size.

#include "core/constants.h"
#include "panel/artwork.h"
#include "panel/form1.h"

#include <QPainter>
#include <QPainterPath>
#include <optional>

namespace velmora {

namespace {

const QColor kLightGreen(128, 255, 128);
const QColor kRed(255, 0, 0);
constexpr qreal kFrameCornerRadius = 8;

enum class Outline { Rectangle, RoundedRectangle, Circle };

QPainterPath OutlinePath(Outline outline, const QRectF& box, qreal inset) {
    QPainterPath path;
    const QRectF r = box.adjusted(inset, inset, -inset, -inset);
    switch (outline) {
    case Outline::Rectangle:
        path.addRect(r);
        break;
    case Outline::RoundedRectangle:
        path.addRoundedRect(r, kFrameCornerRadius - inset, kFrameCornerRadius - inset);
        break;
    case Outline::Circle: {
        // A circle in a box that is not square sits in its middle.
        const qreal d = std::min(r.width(), r.height());
        path.addEllipse(QRectF(r.center().x() - d / 2, r.center().y() - d / 2, d, d));
        break;
    }
    }
    return path;
}

// A shape's border lies inside its box, however wide it is.
void DrawShape(QPainter& painter, Outline outline, const TwipsBox& place, int borderWidth,
               const QColor& border, std::optional<QColor> fill = std::nullopt) {
    const QRectF box(PxBox(place));
    const QPainterPath outer = OutlinePath(outline, box, 0);
    const QPainterPath inner = OutlinePath(outline, box, borderWidth);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, outline != Outline::Rectangle);
    if (fill) painter.fillPath(inner, *fill);
    painter.fillPath(outer.subtracted(inner), border);
    painter.restore();
}

// Left-aligned text from the box's top, wrapped and cut off at the box.
void DrawLabel(QPainter& painter, const TwipsBox& place, const QString& text, const QFont& font,
               const QColor& textColour, std::optional<QColor> background) {
    const QRect box = PxBox(place);
    painter.save();
    painter.setClipRect(box);
    if (background) painter.fillRect(box, *background);
    painter.setFont(font);
    painter.setPen(textColour);
    painter.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
    painter.restore();
}

void DrawLabel(QPainter& painter, const TwipsBox& place, const PanelLabel& label, const QFont& font,
               const QColor& textColour, std::optional<QColor> background) {
    if (label.isVisible()) DrawLabel(painter, place, label.caption(), font, textColour, background);
}

void DrawPicture(QPainter& painter, const TwipsBox& place, const QImage& picture) {
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(PxBox(place), picture);
    painter.restore();
}

} // namespace

void Form1::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QColor face = palette().color(QPalette::Button);
    const QColor text = palette().color(QPalette::ButtonText);
    const QColor line = palette().color(QPalette::WindowText);
    const QFont& windowFont = font();
    painter.fillRect(rect(), face);

    // The switch drawing and the two discs.
    DrawShape(painter, Outline::Circle, {3480, 2280, 495, 495}, 1, face, kRed);        // Shape1
    DrawShape(painter, Outline::Circle, {5040, 2280, 495, 495}, 1, face, Qt::black);   // Shape2
    DrawShape(painter, Outline::Rectangle, {960, 1080, 495, 855}, 6, line, Qt::white); // Shape3
    painter.fillRect(QRect(QPoint(Px(960), Px(1800)), QPoint(Px(1440) - 1, Px(1800))),
                     line); // Line1

    // The display field and its read-outs.
    DrawShape(painter, Outline::Rectangle, {2760, 600, 3495, 615}, 1, line, kLightGreen); // Shape4
    DrawLabel(painter, {3120, 720, 1335, 375}, Label1, readoutFont_, text, std::nullopt); // Label1
    DrawLabel(painter, {5040, 720, 1095, 375}, Label2, readoutFont_, text, kLightGreen);  // Label2

    // The section frames and the captions.
    DrawShape(painter, Outline::RoundedRectangle, {2640, 120, 3735, 2775}, 2, line); // Shape5
    DrawShape(painter, Outline::RoundedRectangle, {120, 120, 2295, 2775}, 2, line);  // Shape6
    DrawLabel(painter, {1680, 1080, 375, 255}, QStringLiteral("On"), windowFont, text,
              face); // Label13
    DrawLabel(painter, {1680, 1740, 375, 255}, QStringLiteral("Off"), windowFont, text,
              face); // Label14
    DrawLabel(painter, {6840, 2520, 735, 255}, QStringLiteral("Voltage"), windowFont, text,
              face); // Label3
    DrawLabel(painter, {8280, 2520, 735, 255}, QStringLiteral("Current"), windowFont, text,
              face);                                                                 // Label4
    DrawShape(painter, Outline::RoundedRectangle, {6600, 120, 1215, 2775}, 2, line); // Shape7
    DrawShape(painter, Outline::RoundedRectangle, {8040, 120, 1215, 2775}, 2, line); // Shape8

    // Set-point read-out, heartbeat and the arrow strips on top. Label15, the
    // click area above them, is transparent and has nothing to draw.
    DrawLabel(painter, {3840, 720, 1335, 375}, Label16, readoutFont_, text,
              std::nullopt);                                                       // Label16
    DrawLabel(painter, {0, 0, 135, 135}, Label17, windowFont, text, std::nullopt); // Label17
    DrawPicture(painter, {7320, 180, 240, 2100}, arrowStrip_);                     // Image1
    DrawPicture(painter, {8760, 180, 240, 2100}, arrowStrip_);                     // Image2
}

} // namespace velmora
