#include "panel/artwork.h"

#include <QPainter>
#include <QPolygonF>

namespace velmora {

namespace {

constexpr int kStripGrey = 192;
// The triangles span columns 2 to 21: 20 pixels across, centred on the strip.
constexpr double kTriangleLeft = 2.0;
constexpr double kTriangleRight = 22.0;

QImage DrawArrowStrip() {
    // Painted in full colour with antialiasing, then reduced to a grey
    // palette: the edges keep their intermediate greys.
    QImage canvas(kArrowStripWidth, kArrowStripHeight, QImage::Format_RGB32);
    canvas.fill(QColor(kStripGrey, kStripGrey, kStripGrey));
    {
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::black);
        const double middle = (kTriangleLeft + kTriangleRight) / 2;
        for (const ArrowTriangle& t : kArrowTriangles) {
            const double top = t.firstRow;
            const double bottom = t.lastRow + 1;
            const double apex = t.up ? top : bottom;
            const double base = t.up ? bottom : top;
            painter.drawPolygon(QPolygonF{QPointF(middle, apex), QPointF(kTriangleRight, base),
                                          QPointF(kTriangleLeft, base)});
        }
    }
    QImage strip(kArrowStripWidth, kArrowStripHeight, QImage::Format_Indexed8);
    QList<QRgb> greys(256);
    for (int i = 0; i < 256; ++i)
        greys[i] = qRgb(i, i, i);
    strip.setColorTable(greys);
    for (int y = 0; y < kArrowStripHeight; ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(canvas.constScanLine(y));
        uchar* out = strip.scanLine(y);
        for (int x = 0; x < kArrowStripWidth; ++x)
            out[x] = static_cast<uchar>(qGray(in[x]));
    }
    return strip;
}

// The standard 16-colour palette, in its usual order.
constexpr QRgb kPalette16[16] = {
    0xff000000, 0xff800000, 0xff008000, 0xff808000, 0xff000080, 0xff800080, 0xff008080, 0xffc0c0c0,
    0xff808080, 0xffff0000, 0xff00ff00, 0xffffff00, 0xff0000ff, 0xffff00ff, 0xff00ffff, 0xffffffff,
};
constexpr int kBlack = 0, kLightGrey = 7, kWhite = 15;

// The drawn band: rows 10 to 24 of the icon, the box across columns 0 to 31.
constexpr int kBandTop = 10;
constexpr int kBandBottom = 24;

QImage DrawIcon() {
    QImage icon(32, 32, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    const auto put = [&icon](int x, int y, int colour) { icon.setPixel(x, y, kPalette16[colour]); };
    for (int y = kBandTop; y <= kBandBottom; ++y) {
        for (int x = 0; x < 32; ++x) {
            const bool rim = y == kBandTop || y == kBandBottom || x == 0 || x == 31;
            const bool outline = y == kBandTop + 1 || y == kBandBottom - 1 || x == 1 || x == 30;
            put(x, y, rim ? kLightGrey : outline ? kBlack : kWhite);
        }
    }
    // Single pixels of the other palette colours scattered over the white
    // face, in a fixed pattern so the icon is the same on every run.
    int colour = 1;
    for (int y = kBandTop + 3; y <= kBandBottom - 3; y += 2) {
        for (int x = 3 + (y % 4); x <= 28; x += 5) {
            if (colour == kLightGrey) ++colour; // would vanish into the rim's grey
            put(x, y, colour);
            colour = colour % 14 + 1;
        }
    }
    return icon;
}

} // namespace

QImage ArrowStrip() {
    return DrawArrowStrip();
}

QImage IconImage() {
    return DrawIcon();
}

QIcon WindowIcon() {
    return QIcon(QPixmap::fromImage(IconImage()));
}

} // namespace velmora
