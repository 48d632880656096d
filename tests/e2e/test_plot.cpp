// The plot window as a user meets it: the right-click menu's "Plot…", the
// unit's measurements drawn live, and velmora-files turning the record file
// into CSV and a picture that match it.

#include "e2e/session.h"
#include "support/files.h"

#include <QImage>
#include <gtest/gtest.h>

namespace velmora::e2e {
namespace {

using test::FilesRun;
using test::RunFiles;

// Pixels of the plot's voltage line (blue) and current line (red): hues,
// since the lines are smoothed into the white around them.
enum class Line { Voltage, Current };
int LinePixels(const QImage& image, Line line) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            const int r = qRed(p), g = qGreen(p), b = qBlue(p);
            if (line == Line::Voltage ? b - r > 60 && b - g > 30 : r - g > 60 && r - b > 60) ++n;
        }
    return n;
}

QImage Capture(const QString& window, const QString& path) {
    QProcess import;
    import.start("import", {"-window", window, path});
    import.waitForFinished(10000);
    return QImage(path);
}

// The CSV row a record line stands for, worked out here from its characters.
QByteArray ExpectedRow(const RecordLine& l) {
    const int dv = (QByteArray(1, l.voltage[0]) + l.voltage[1] + l.voltage[3]).toInt();
    const int ca = (QByteArray(1, l.current[0]) + l.current[2] + l.current[3]).toInt();
    QByteArray stamp = l.stamp;
    stamp = stamp.size() == 10 ? stamp + "T00:00:00" : stamp.replace(' ', 'T');
    const auto fixed = [](int value, int decimals, int scale) {
        return QByteArray::number(value / scale) + '.' +
               QByteArray::number(value % scale).rightJustified(decimals, '0');
    };
    return stamp + ',' + fixed(dv, 1, 10) + ',' + fixed(ca, 2, 100) + ',' + fixed(dv * ca, 3, 1000);
}

TEST(Plot, MenuOpensTheLivePlotAndFilesMatchTheRecord) {
    Session s;
    ASSERT_TRUE(s.startRecordingPanel());

    // Right click on the panel, off the buttons: "Plot…" is the second entry.
    ASSERT_TRUE(Xdo({"mousemove", "--window", s.window(), QString::number(kPanelAreaX),
                     QString::number(kPanelAreaY), "click", "3"}));
    Pause(400ms);
    ASSERT_TRUE(Xdo({"key", "Down", "Down", "Return"}));
    const QString plot = FindWindow(s.panelPid(), "Plot");
    ASSERT_FALSE(plot.isEmpty()) << "no window titled Plot";
    // Above the panel and out of the way of its buttons.
    ASSERT_TRUE(Xdo({"windowsize", plot, "640", "260"}));
    ASSERT_TRUE(Xdo({"windowmove", plot, "0", "0"}));
    ASSERT_TRUE(WaitUntil([&] { return WindowGeometry(plot).y < 10; }, 3s));

    ASSERT_TRUE(s.raiseToOneVolt());
    ASSERT_TRUE(WaitUntil([&] { return s.record().contains("\"01.0V\",\"0.10A\""); }, 5s))
        << s.record().toStdString();
    Pause(600ms); // the plot draws at most ten times a second
    const QImage shown = Capture(plot, s.path("plot-window.png"));
    ASSERT_FALSE(shown.isNull());
    // A few seconds of a minute's window: short lines, but lines.
    EXPECT_GT(LinePixels(shown, Line::Voltage), 10) << "no voltage line in the plot window";
    EXPECT_GT(LinePixels(shown, Line::Current), 10) << "no current line in the plot window";

    ASSERT_TRUE(s.clickRecorder()); // Stop
    Pause(200ms);
    const auto lines = ParseRecordFile(s.record());
    ASSERT_TRUE(lines && !lines->empty()) << s.record().toStdString();

    const FilesRun csv = RunFiles({"csv", s.recordFile(), "-o", s.path("record.csv")});
    ASSERT_EQ(csv.exitCode, 0) << csv.err.toStdString();
    EXPECT_TRUE(csv.err.isEmpty()) << csv.err.toStdString();
    QByteArray expected = "time,voltage_V,current_A,power_W\n";
    for (const RecordLine& l : *lines)
        expected += ExpectedRow(l) + '\n';
    EXPECT_EQ(ReadFile(s.path("record.csv")), expected);

    const FilesRun png =
        RunFiles({"png", s.recordFile(), "-o", s.path("record.png"), "--size", "600x200"});
    ASSERT_EQ(png.exitCode, 0) << png.err.toStdString();
    const QImage picture(s.path("record.png"));
    ASSERT_EQ(picture.size(), QSize(600, 200));
    // On the unit's 10 ohm load the two lines lie on top of each other.
    EXPECT_GT(LinePixels(picture, Line::Voltage) + LinePixels(picture, Line::Current), 10);
    const FilesRun svg = RunFiles({"svg", s.recordFile(), "-o", s.path("record.svg")});
    ASSERT_EQ(svg.exitCode, 0) << svg.err.toStdString();
    EXPECT_TRUE(ReadFile(s.path("record.svg")).contains("<svg"));

    // Bad arguments and a missing file: one line, and not success.
    for (const QStringList& bad :
         {QStringList{"csv"}, QStringList{"png", s.recordFile()}, QStringList{"frobnicate"},
          QStringList{"png", s.recordFile(), "-o", "x.png", "--size", "big"},
          QStringList{"csv", s.path("missing.txt")}}) {
        const FilesRun r = RunFiles(bad);
        EXPECT_NE(r.exitCode, 0) << bad.join(' ').toStdString();
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
    }
    EXPECT_TRUE(s.panelRunning());
}

} // namespace
} // namespace velmora::e2e
