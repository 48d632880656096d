#pragma once
// velmora-files png and svg: the plot window's picture of a record file,
// drawn without a display.

#include <QStringList>
#include <QTextStream>

namespace velmora {

/// png|svg FILE -o OUT [--size WxH] (`kind` "png" or "svg"); makes its own
/// QApplication, so none may exist. Exit 0 when written, 2 when the file cannot be read, the
/// picture cannot be written or the arguments are wrong.
int RunPicture(const QString& kind, const QStringList& args, QTextStream& err);

} // namespace velmora
