#include "pty_pair.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace velmora::test {

PtyPair::PtyPair() {
    int slave = -1;
    char name[256] = {};
    if (openpty(&master_, &slave, name, nullptr, nullptr) != 0) {
        master_ = -1;
        return;
    }
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    slaveKeeper_ = slave;
    slavePath_ = QString::fromLocal8Bit(name);
}

void PtyPair::setMasterBlocking(bool blocking) {
    if (master_ < 0) return;
    const int flags = fcntl(master_, F_GETFL);
    fcntl(master_, F_SETFL, blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK);
}

PtyPair::~PtyPair() {
    closeMaster();
    if (slaveKeeper_ >= 0) ::close(slaveKeeper_);
}

void PtyPair::send(const QByteArray& bytes) {
    qsizetype done = 0;
    while (master_ >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            return;
    }
}

QByteArray PtyPair::readAvailable() {
    QByteArray out;
    char buffer[512];
    while (master_ >= 0) {
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0) break;
        out.append(buffer, n);
    }
    return out;
}

QByteArray PtyPair::readFor(int count, int timeoutMs) {
    QByteArray out;
    QElapsedTimer clock;
    clock.start();
    while (out.size() < count && clock.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        out += readAvailable();
        if (out.size() < count) QThread::usleep(500);
    }
    return out;
}

void PtyPair::closeMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

} // namespace velmora::test
