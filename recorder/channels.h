#pragma once
// The program's two file channels: 1 records measurements, 2 reads a control
// file. Sequential text files, one record a line, bytes as Latin-1.

#include "recorder/file_names.h" // ProgramFilePath names the files to open

#include <QByteArray>
#include <QString>
#include <optional>

namespace velmora {

enum Channel { RecordChannel = 1, ControlChannel = 2 };

/// The most bytes a path may have for the system, the closing zero counted
/// (PATH_MAX): a longer name is refused before it reaches the file system.
inline constexpr qsizetype kPathMaxBytes = 4096;

enum class OpenResult {
    Opened,
    AlreadyOpen, // this channel is open already; it stays as it was
    InUse,       // the other channel holds the same file
    Failed,      // no such folder, no access, a folder's name, ...
};

/// Whether the system would refuse `path` for its length alone.
bool PathTooLong(const QString& path);

/// Opens the channel for output: creates the file or empties it.
OpenResult OpenChannelForOutput(int channel, const QString& path);
/// Opens the channel for input, at the file's first line.
OpenResult OpenChannelForInput(int channel, const QString& path);

bool ChannelIsOpen(int channel);

/// Writes the bytes as one piece straight to the file, so a line recorded is
/// on disk even if the program dies right after. False when the channel is
/// closed or the write failed.
bool WriteChannel(int channel, const QByteArray& bytes);

/// True at the end of the file, and on a closed channel.
bool ChannelAtEnd(int channel);

/// The next line without its line end (LF, CR LF or CR alone); nothing at the
/// end, after a read error or on a closed channel. A line too long to be a
/// record comes back empty.
std::optional<QByteArray> ReadChannelLine(int channel);

/// Closes the channel; harmless when it is not open.
void CloseChannel(int channel);
void CloseAllChannels();

} // namespace velmora
