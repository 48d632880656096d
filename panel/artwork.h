#pragma once
// The two pictures of the main window, drawn by code: the arrow strip beside
// each column of adjust buttons and the window icon.

#include <QIcon>
#include <QImage>

namespace velmora {

/// Width and height of the arrow strip in pixels, before it is stretched.
inline constexpr int kArrowStripWidth = 24;
inline constexpr int kArrowStripHeight = 212;

/// One triangle of the strip: first and last pixel row, and its direction.
struct ArrowTriangle {
    int firstRow;
    int lastRow;
    bool up;
};

/// Coarse up, coarse down, fine up, fine down, from the top of the strip.
inline constexpr ArrowTriangle kArrowTriangles[] = {
    {0, 16, true},     {17, 33, true},  // two up: +1 V / +100 mA
    {62, 78, false},   {79, 94, false}, // two down: -1 V / -100 mA
    {132, 148, true},                   // one up: +0.1 V / +10 mA
    {194, 210, false},                  // one down: -0.1 V / -10 mA
};

/// The arrow strip: 24 x 212 pixels, 8 bits per pixel with a grey palette,
/// black triangles with smoothed slanted edges on the 192 grey of a
/// classic button face.
QImage ArrowStrip();

/// The 32 x 32 window icon: a wide box with a light grey rim, a black
/// outline and a white face dotted with pixels of the 16-colour palette;
/// transparent above row 10 and below row 24.
QImage IconImage();
QIcon WindowIcon();

} // namespace velmora
