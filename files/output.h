#pragma once
// Where a command's result goes: a file replaced whole or not at all, or
// standard output, with every failure to write noticed and reported.

#include "files/options.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QTextStream>
#include <memory>

namespace velmora {

/// Writes to a file descriptor in large blocks and keeps the first failure,
/// which QTextStream and the picture writers would otherwise drop.
class DescriptorDevice : public QIODevice {
  public:
    explicit DescriptorDevice(int descriptor = -1) : descriptor_(descriptor) {}

    int descriptor() const { return descriptor_; }
    /// Writes out what is held; false once any write has failed.
    bool drain();
    /// The errno of the first failed write; 0 while none has failed.
    int failure() const { return failure_; }
    bool isSequential() const override { return true; }

  protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override;
    void setDescriptor(int descriptor) { descriptor_ = descriptor; }
    void fail(int error);

  private:
    bool put(const char* data, qint64 size);

    int descriptor_;
    int failure_ = 0;
    QByteArray held_;
};

/// A file written into a temporary file beside it, which replaces it only
/// once every write, the sync to the disk and the close have succeeded.
class OutputFile : public DescriptorDevice {
  public:
    explicit OutputFile(const QString& path) : path_(path) {}
    /// Removes the temporary file unless it was committed.
    ~OutputFile() override;

    /// Starts the temporary file; false with error() set. A folder or
    /// anything else that is not a regular file is refused: a rename would
    /// replace it.
    bool create();
    /// Puts the file in place; false with error() set and the target as it
    /// was.
    bool commit();
    /// "cannot write out.csv: No space left on device".
    QString error() const;

  private:
    bool refuse(const QString& reason);
    bool refuse(int error);
    void discard();

    QString path_;         // as the user gave it
    QByteArray temporary_; // while there is one
    QByteArray target_;    // links followed
    QString reason_;
};

/// The result of a command: the file that -o names, or standard output.
class Output {
  public:
    /// `whole`: standard output gets the result at the end, so that a
    /// failure on the way leaves it empty; otherwise as it comes.
    Output(const Options& options, QTextStream& out, bool whole);
    ~Output();

    /// Refuses an output that is one of the input files (compared as files,
    /// links followed), a folder or not a regular file, and starts the file.
    /// False with `error`.
    bool open(QString& error);
    /// False once a write has failed: there is no use going on.
    bool write(const QByteArray& bytes);
    /// The file's device, for writers that take one; null for standard output.
    QIODevice* device() { return file_.get(); }
    /// Puts the result in place; false with `error`.
    bool finish(QString& error);
    /// Why a write into the file failed; empty while none has.
    QString writeError() const;

  private:
    QString sameAsInput() const;
    bool send(const QByteArray& bytes);

    QString path_;
    QStringList inputs_;
    QTextStream& out_;
    bool whole_;
    std::unique_ptr<OutputFile> file_;
    QByteArray held_;
};

/// Writes the bytes to the file named by -o, whole or not at all, or to
/// `out` when there is none. False with a message on `err` when it fails.
bool WriteResult(const Options& options, const QByteArray& bytes, QTextStream& out,
                 QTextStream& err, const QString& command);

} // namespace velmora
