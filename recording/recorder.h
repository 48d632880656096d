#pragma once
// The recorder: one time-stamped line per changed measurement in the record
// file, each handed to the system as it is written and put onto the disk a
// moment later in the background.

#include "recording/disk_sync.h"
#include "recording/file_identity.h"
#include "unit/measurement.h"

#include <QFile>
#include <QString>
#include <memory>

namespace velmora {

/// The record file while recording is on.
class Recorder {
  public:
    Recorder() = default;
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    /// Opens the file at `path` for recording, creating or emptying it.
    /// False when it cannot be (no such folder, no access, a folder's or a
    /// device's name, a name longer than a path may be), with `why` set.
    bool start(const QString& path, QString* why = nullptr);
    /// Ends recording; the file keeps what was written. Harmless when off.
    void stop();
    bool recording() const { return file_ != nullptr; }
    /// The file being recorded into.
    std::optional<FileIdentity> identity() const;

    /// Writes the measurement's line, stamped with its arrival, while
    /// recording is on. A failed write (disk full, file gone) leaves no half
    /// line and is not reported: the next change is written if it can be.
    void write(const Measurement& measurement);

  private:
    std::unique_ptr<QFile> file_;
    DiskSync sync_;
};

} // namespace velmora
