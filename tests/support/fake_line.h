#pragma once
// Serial lines for tests: a fake one the test drives (it holds the unit's CTS
// line), and the real one with its writes noted. Both record every write with
// the moment it was made.

#include "core/clock.h"
#include "link/serial_line.h"

#include <QList>
#include <memory>

namespace velmora::test {

/// A SerialLine without a device: opens always (unless told not to), reads
/// what the test feeds it, and records writes with monotonic time stamps.
class FakeLine final : public SerialLine {
    Q_OBJECT
  public:
    struct Write {
        qint64 atNs; // the monotonic clock at the write
        QByteArray bytes;
        QString device = {}; // the line's device then
    };

    /// Writes are stamped on `clock` (a test's fake one), else the real one.
    explicit FakeLine(const Clock* clock = nullptr) : clock_(clock) {}

    bool open(const QString& device, const LineSettings& settings) override;
    void close() override {
        ++closes_;
        open_ = false;
    }
    bool isOpen() const override { return open_; }
    QByteArray read(qint64 maxBytes) override;
    bool write(const QByteArray& bytes) override;
    Cts cts() override { return open_ ? cts_ : Cts::NotAsserted; }

    /// What the unit asserts on CTS from now on.
    void setCts(Cts cts) { cts_ = cts; }
    void setCtsAsserted(bool asserted) { cts_ = asserted ? Cts::Asserted : Cts::NotAsserted; }
    /// Whether the next open succeeds.
    void setOpenSucceeds(bool succeeds) { openSucceeds_ = succeeds; }
    /// Characters from the unit; raises readyRead. Nothing arrives on a
    /// closed line.
    void feed(const QByteArray& bytes);
    /// Characters waiting, put there without raising readyRead.
    void putWaiting(const QByteArray& bytes) { input_ += bytes; }
    const QByteArray& waiting() const { return input_; }

    /// How often the program opened, closed and read the line.
    int opens() const { return opens_; }
    int closes() const { return closes_; }
    int reads() const { return reads_; }
    void clearCounts() { opens_ = closes_ = reads_ = 0; }

    const QList<Write>& writes() const { return writes_; }
    /// Every byte written so far, in order.
    QByteArray written() const;
    void clearWrites() { writes_.clear(); }
    QString openedDevice() const { return device_; }

  private:
    const Clock* clock_;
    bool open_ = false;
    bool openSucceeds_ = true;
    Cts cts_ = Cts::Asserted;
    QByteArray input_;
    QList<Write> writes_;
    QString device_;
    int opens_ = 0, closes_ = 0, reads_ = 0;
};

/// The real line over QSerialPort, noting the moment of every write: the
/// spacing the program keeps, whatever the reading end's own delays.
class StampingLine final : public SerialLine {
    Q_OBJECT
  public:
    StampingLine();

    bool open(const QString& device, const LineSettings& settings) override {
        return real_->open(device, settings);
    }
    void close() override { real_->close(); }
    bool isOpen() const override { return real_->isOpen(); }
    QByteArray read(qint64 maxBytes) override { return real_->read(maxBytes); }
    bool write(const QByteArray& bytes) override;
    Cts cts() override { return real_->cts(); }

    const QList<FakeLine::Write>& writes() const { return writes_; }
    void clearWrites() { writes_.clear(); }

  private:
    std::unique_ptr<SerialLine> real_;
    QList<FakeLine::Write> writes_;
};

} // namespace velmora::test
