// The front panel: the window, its pictures, the places of everything drawn
// on it, the eight buttons and the click area.

#include "panel/artwork.h"
#include "panel/form1.h"
#include "plot/plot_window.h"
#include "session/session.h"
#include "settings/form2.h"
#include "support/message_catcher.h"
#include "support/panel_on_fake_line.h"

#include <QApplication>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace velmora {
namespace {

constexpr int Pixels(int twips) {
    return twips / 15;
}

TEST(ArrowStrip, GreysOnlyWithTheTrianglesAtTheirRows) {
    const QImage strip = ArrowStrip();
    ASSERT_EQ(strip.size(), QSize(24, 212));
    EXPECT_EQ(strip.format(), QImage::Format_Indexed8);
    int smoothed = 0;
    std::array<bool, 212> rowHasInk{};
    for (int y = 0; y < strip.height(); ++y) {
        for (int x = 0; x < strip.width(); ++x) {
            const QRgb c = strip.pixel(x, y);
            ASSERT_TRUE(qRed(c) == qGreen(c) && qGreen(c) == qBlue(c)) << x << "," << y;
            if (qRed(c) != 192) rowHasInk[y] = true;
            if (qRed(c) != 192 && qRed(c) != 0) ++smoothed;
            if (x < 2 || x > 21) {
                EXPECT_EQ(qRed(c), 192) << "outside the triangles at " << x << "," << y;
            }
        }
    }
    EXPECT_GT(smoothed, 50); // the slanted edges are antialiased
    const std::pair<int, int> inked[] = {{0, 33}, {62, 94}, {132, 148}, {194, 210}};
    for (int y = 0; y < 212; ++y) {
        bool inside = false;
        for (auto [from, to] : inked)
            inside = inside || (y >= from && y <= to);
        EXPECT_EQ(rowHasInk[y], inside) << "row " << y;
    }
}

TEST(ArrowStrip, TrianglesPointTheWayOfTheirButtons) {
    const QImage strip = ArrowStrip();
    const auto blackIn = [&strip](int y) {
        int n = 0;
        for (int x = 0; x < 24; ++x)
            n += qRed(strip.pixel(x, y)) < 40;
        return n;
    };
    for (const ArrowTriangle& t : kArrowTriangles) {
        SCOPED_TRACE(t.firstRow);
        const int wide = t.up ? blackIn(t.lastRow) : blackIn(t.firstRow);
        const int narrow = t.up ? blackIn(t.firstRow) : blackIn(t.lastRow);
        EXPECT_GE(wide, 17);
        EXPECT_LE(narrow, 2);
        EXPECT_EQ(qRed(strip.pixel(12, (t.firstRow + t.lastRow) / 2)), 0);
    }
}

TEST(WindowIcon, BandOfRowsTenToTwentyFourInThe16ColourPalette) {
    const QImage icon = IconImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(icon.size(), QSize(32, 32));
    const QList<QRgb> palette16 = {0xff000000, 0xff800000, 0xff008000, 0xff808000,
                                   0xff000080, 0xff800080, 0xff008080, 0xffc0c0c0,
                                   0xff808080, 0xffff0000, 0xff00ff00, 0xffffff00,
                                   0xff0000ff, 0xffff00ff, 0xff00ffff, 0xffffffff};
    int white = 0, others = 0;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const QRgb c = icon.pixel(x, y);
            if (y < 10 || y > 24) {
                EXPECT_EQ(qAlpha(c), 0) << x << "," << y;
                continue;
            }
            ASSERT_TRUE(palette16.contains(c)) << x << "," << y;
            if (y > 11 && y < 23 && x > 1 && x < 30) (c == 0xffffffff ? white : others)++;
        }
    }
    EXPECT_EQ(icon.pixel(0, 17), 0xffc0c0c0u); // rim
    EXPECT_EQ(icon.pixel(1, 17), 0xff000000u); // outline
    EXPECT_EQ(icon.pixel(15, 11), 0xff000000u);
    EXPECT_GT(white, 10 * others); // a white face ...
    EXPECT_GE(others, 5);          // ... scattered with colours
    EXPECT_FALSE(WindowIcon().isNull());
}

class PanelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        form_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form_));
    }
    void TearDown() override {
        if (Form2* settings = form_.settingsWindow()) settings->close();
    }
    QImage picture() { return form_.grab().toImage().convertToFormat(QImage::Format_RGB32); }
    QColor face() const { return form_.palette().color(QPalette::Button); }
    // Whether any pixel in the box is dark: text, a line, a triangle.
    static bool Inked(const QImage& image, const QRect& box) {
        for (int y = box.top(); y <= box.bottom(); ++y)
            for (int x = box.left(); x <= box.right(); ++x)
                if (qGray(image.pixel(x, y)) < 64) return true;
        return false;
    }

    test::MessageCatcher messages_;
    QTemporaryDir dir_;
    test::PanelOnFakeLine panel_{dir_.filePath("Tarnholm.conf"), {}};
    Form1& form_ = panel_.form;
};

TEST_F(PanelTest, WindowAtStart) {
    EXPECT_EQ(form_.windowTitle(), "Power supply");
    EXPECT_EQ(form_.size(), QSize(624, 199));
    EXPECT_EQ(form_.font().family(), "MS Sans Serif");
    EXPECT_DOUBLE_EQ(form_.font().pointSizeF(), 8.25);
    EXPECT_FALSE(form_.windowIcon().isNull());
    EXPECT_EQ(form_.Label1.caption(), "00,0V");
    EXPECT_EQ(form_.Label2.caption(), "0,00A");
    EXPECT_TRUE(form_.Label1.isVisible() && form_.Label2.isVisible());
    EXPECT_FALSE(form_.Label16.isVisible());
    EXPECT_EQ(form_.Label16.caption(), "");
    EXPECT_EQ(form_.Label17.caption(), "");
    EXPECT_FALSE(Inked(picture(), QRect(0, 0, 9, 9))); // no heartbeat yet
}

TEST_F(PanelTest, ButtonsInTheirPlacesWithFocusInOrder) {
    const int lefts[] = {6840, 6840, 6840, 6840, 8280, 8280, 8280, 8280};
    const int tops[] = {240, 840, 1440, 2040, 240, 840, 1440, 2040};
    for (int n = 1; n <= 8; ++n) {
        SCOPED_TRACE(n);
        AdjustButton* button = form_.command(n);
        EXPECT_EQ(button->objectName(), QStringLiteral("Command%1").arg(n));
        EXPECT_EQ(button->geometry(), QRect(Pixels(lefts[n - 1]), Pixels(tops[n - 1]), 17, 17));
        EXPECT_TRUE(button->text().isEmpty() && button->icon().isNull());
        EXPECT_TRUE(button->focusPolicy() & Qt::TabFocus);
        if (n < 8) {
            EXPECT_EQ(button->nextInFocusChain(), form_.command(n + 1));
        }
    }
    EXPECT_EQ(form_.focusWidget(), form_.Command1);
}

// Colours at points inside controls, away from their antialiased edges.
TEST_F(PanelTest, PictureShowsEveryControlInItsPlace) {
    const QImage image = picture();
    const QColor green(128, 255, 128), red(255, 0, 0), black(0, 0, 0), white(255, 255, 255),
        grey(192, 192, 192);
    struct Point {
        const char* what;
        int x, y;
        QColor colour;
    };
    const Point points[] = {
        {"display field", 190, 76, green},
        {"display field border", 184, 60, black},
        {"display field bottom", 300, 80, black},
        {"current read-out box", 407, 50, green},
        {"red disc", 248, 168, red},
        {"red disc has no outline", 233, 153, face()},
        {"black disc", 352, 168, black},
        {"switch face", 80, 90, white},
        {"switch border", 66, 90, black},
        {"switch border right", 95, 100, black},
        {"switch line", 80, 120, black},
        {"below the line", 80, 122, white},
        {"switch frame", 8, 100, black},
        {"switch frame inside", 11, 100, face()},
        {"display frame", 177, 100, black},
        {"display frame top", 300, 9, black},
        {"voltage frame", 440, 100, black},
        {"current frame", 537, 100, black},
        {"current frame bottom", 570, 192, black},
        {"below the frames", 570, 195, face()},
        {"voltage strip", 489, 45, grey},
        {"current strip", 585, 45, grey},
        {"background", 620, 100, face()},
        {"top-left corner", 4, 4, face()},
    };
    for (const Point& p : points)
        EXPECT_EQ(image.pixelColor(p.x, p.y), p.colour) << p.what << " at " << p.x << "," << p.y;

    // Text in each caption and read-out box.
    const QRect inked[] = {{208, 48, 89, 25},  {336, 48, 73, 25},  {112, 72, 25, 17},
                           {112, 116, 25, 17}, {456, 168, 49, 17}, {552, 168, 49, 17}};
    for (const QRect& box : inked)
        EXPECT_TRUE(Inked(image, box)) << box.x() << "," << box.y();
}

TEST_F(PanelTest, ArrowStripsBesideTheButtonsOfTheirRows) {
    const QImage image = picture();
    for (int stripLeft : {488, 584}) {
        SCOPED_TRACE(stripLeft);
        const QRect column(stripLeft + 6, 0, 4, 1);
        for (int n = 1; n <= 4; ++n) {
            const int middle = form_.command(n)->geometry().center().y();
            EXPECT_TRUE(Inked(image, column.translated(0, middle - 2).adjusted(0, 0, 0, 4)))
                << "row of Command" << n;
        }
        // Pixel rows of the strip, stretched from 212 to 140 pixels below
        // top 12: ink in each triangle, bare strip just beyond each symbol.
        const auto y = [](int row) { return 12 + row * 140 / 212; };
        for (auto [first, last] :
             {std::pair{0, 16}, {17, 33}, {62, 78}, {79, 94}, {132, 148}, {194, 210}})
            EXPECT_TRUE(Inked(image, column.translated(0, (y(first) + y(last + 1)) / 2))) << first;
        for (auto [first, last] : {std::pair{0, 33}, {62, 94}, {132, 148}, {194, 210}}) {
            EXPECT_FALSE(Inked(image, column.translated(0, y(first) - 2))) << first;
            EXPECT_FALSE(Inked(image, column.translated(0, y(last + 1) + 1))) << last;
        }
    }
}

TEST_F(PanelTest, ReadoutsFollowTheirLabels) {
    form_.Label17.setCaption(QStringLiteral("*"));
    form_.Label1.setVisible(false);
    form_.Label2.setVisible(false);
    form_.Label16.setCaption(QStringLiteral("06000mV"));
    form_.Label16.setVisible(true);
    const QImage image = picture();
    EXPECT_TRUE(Inked(image, QRect(0, 0, 9, 9)));
    EXPECT_FALSE(Inked(image, QRect(0, 9, 8, 20)));     // the heartbeat is cut off at its box
    EXPECT_FALSE(Inked(image, QRect(208, 48, 48, 25))); // Label1's place left of Label16
    EXPECT_TRUE(Inked(image, QRect(256, 48, 89, 25)));
    EXPECT_FALSE(Inked(image, QRect(346, 48, 63, 25))); // Label2's place right of Label16
    EXPECT_EQ(image.pixelColor(407, 50), QColor(128, 255, 128));
}

TEST_F(PanelTest, ResizingMovesNothing) {
    const QImage before = picture();
    const QRect firstButton = form_.Command1->geometry();
    form_.resize(900, 400);
    QTest::qWait(20);
    const QImage after = picture();
    EXPECT_EQ(form_.Command1->geometry(), firstButton);
    EXPECT_EQ(after.copy(0, 0, 624, 199), before);
    EXPECT_EQ(after.pixelColor(800, 300), face());
    form_.resize(300, 100);
    QTest::qWait(20);
    EXPECT_EQ(form_.command(8)->geometry(), QRect(552, 136, 17, 17));
    EXPECT_EQ(picture(), before.copy(0, 0, 300, 100));
}

void ClickAt(QWindow* window, QPoint point) {
    QTest::mousePress(window, Qt::LeftButton, {}, point);
    QTest::mouseRelease(window, Qt::LeftButton, {}, point);
}

TEST_F(PanelTest, ClicksOffTheButtonsOpenTheSettings) {
    int clicks = 0;
    QObject::connect(&form_, &Form1::Label15Clicked, [&] { ++clicks; });
    struct Click {
        const char* what;
        QPoint at;
    };
    const Click onArea[] = {
        {"voltage read-out", {230, 60}}, {"current read-out", {360, 60}},
        {"display field", {190, 76}},    {"caption", {470, 175}},
        {"arrow strip", {495, 30}},      {"switch", {80, 90}},
        {"red disc", {248, 168}},        {"frame", {8, 100}},
        {"background", {620, 195}},      {"heartbeat corner", {2, 2}},
        {"between buttons", {464, 45}},
    };
    for (const Click& c : onArea) {
        const int before = clicks;
        ClickAt(form_.windowHandle(), c.at);
        EXPECT_EQ(clicks, before + 1) << c.what;
    }
    const int before = clicks;
    QTest::mouseClick(form_.windowHandle(), Qt::RightButton, {}, QPoint(190, 76));
    EXPECT_EQ(clicks, before) << "right button";
}

TEST_F(PanelTest, RightClickOffTheButtonsOpensTheMenuWithSettingsAndPlot) {
    QTest::mousePress(form_.windowHandle(), Qt::RightButton, {}, QPoint(190, 76));
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_TRUE(menu);
    const QList<QAction*> actions = menu->actions();
    ASSERT_GE(actions.size(), 2);
    EXPECT_EQ(actions[0]->text(), QString("Settings…"));
    EXPECT_EQ(actions[1]->text(), QString("Plot…"));
    actions[1]->trigger();
    menu->close();
    PlotWindow* plot = form_.plotWindow();
    ASSERT_TRUE(plot);
    EXPECT_EQ(plot->windowTitle(), "Plot");
    EXPECT_TRUE(plot->isVisible());
    EXPECT_FALSE(plot->isModal());
    EXPECT_EQ(form_.OpenPlotWindow(), plot) << "one plot window at a time";
    plot->close();
    EXPECT_EQ(form_.OpenPlotWindow(), plot) << "closing it keeps it for the next time";

    int clicks = 0;
    QObject::connect(&form_, &Form1::Label15Clicked, [&] { ++clicks; });
    QTest::mousePress(form_.windowHandle(), Qt::RightButton, {}, QPoint(300, 150));
    menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_TRUE(menu);
    menu->actions()[0]->trigger();
    menu->close();
    EXPECT_EQ(clicks, 1) << "Settings… is a click on the panel";
    form_.plotWindow()->close();
}

// A right press on a button holds it as a left one does, and opens no menu.
TEST_F(PanelTest, RightPressOnAButtonStepsItAndOpensNoMenu) {
    for (int n : {1, 8}) {
        const QPoint at = form_.command(n)->geometry().center();
        QTest::mousePress(form_.windowHandle(), Qt::RightButton, {}, at);
        EXPECT_TRUE(panel_.session.unit().adjusting()) << "Command" << n;
        QTest::qWait(20);
        EXPECT_FALSE(QApplication::activePopupWidget()) << "Command" << n;
        if (auto* popup = QApplication::activePopupWidget()) popup->close();
        QTest::mouseRelease(form_.windowHandle(), Qt::RightButton, {}, at);
        EXPECT_FALSE(panel_.session.unit().adjusting()) << "Command" << n;
    }
}

TEST_F(PanelTest, ClicksOnButtonsOrOutsideTheAreaDoNot) {
    int clicks = 0;
    QObject::connect(&form_, &Form1::Label15Clicked, [&] { ++clicks; });
    for (int n = 1; n <= 8; ++n) {
        ClickAt(form_.windowHandle(), form_.command(n)->geometry().center());
        EXPECT_EQ(clicks, 0) << "Command" << n;
    }
    EXPECT_FALSE(panel_.session.unit().adjusting());
    form_.resize(800, 300);
    QTest::qWait(20);
    for (QPoint outside : {QPoint(630, 100), QPoint(100, 205), QPoint(700, 250)}) {
        ClickAt(form_.windowHandle(), outside);
        EXPECT_EQ(clicks, 0) << outside.x() << "," << outside.y();
    }
    ClickAt(form_.windowHandle(), QPoint(624, 200)); // the area reaches a little past the panel
    EXPECT_EQ(clicks, 1);
}

} // namespace
} // namespace velmora
