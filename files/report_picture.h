#pragma once
// velmora-files report: a run report's plot.svg and plot.png, drawn without
// a display from the folder's measurements.csv, sweep-<step>.csv files and
// summary.json.

#include <QStringList>
#include <QTextStream>

namespace velmora {

/// report DIR [--size WxH]: voltage and current over the run with each
/// step's start marked and labelled, and below it, when the run swept,
/// current over voltage with the points in current limiting marked. Makes
/// its own QApplication, so none may exist. Exit 0 when both pictures are
/// written, 2 when the folder cannot be read, a picture cannot be written
/// or the arguments are wrong.
int RunReportPictures(const QStringList& args, QTextStream& err);

} // namespace velmora
