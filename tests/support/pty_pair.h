#pragma once
// A pseudo-terminal pair: the test holds the master end and plays the unit;
// the program opens the slave end as its serial port.

#include <QByteArray>
#include <QString>

namespace velmora::test {

/// One pseudo-terminal; closes its ends on destruction.
class PtyPair {
  public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return master_ >= 0; }
    QString slavePath() const { return slavePath_; }
    /// The master end, for a caller that plays the unit from a thread of
    /// its own with blocking reads and writes.
    int masterFd() const { return master_; }
    void setMasterBlocking(bool blocking);

    /// Writes bytes as the unit would send them.
    void send(const QByteArray& bytes);
    /// Everything the program has written so far (non-blocking).
    QByteArray readAvailable();
    /// Reads until `count` bytes came or `timeoutMs` passed, handling Qt
    /// events meanwhile so the program under test keeps running.
    QByteArray readFor(int count, int timeoutMs);
    /// Hangs up: closes the master end as a pulled adapter would.
    void closeMaster();

  private:
    int master_ = -1;
    int slaveKeeper_ = -1; // keeps the slave alive between the program's opens
    QString slavePath_;
};

} // namespace velmora::test
