#include "remote/tcp_connection.h"

#include <QSocketNotifier>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace velmora {

namespace {

// The kernel's share of unread answers: past it they wait here, where the
// server sees them and lets a client that never reads go.
constexpr int kSendBufferBytes = 32 * 1024;

} // namespace

TcpConnection::TcpConnection(qintptr descriptor, QObject* parent)
    : QObject(parent), fd_(int(descriptor)) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        peer_.setAddress(reinterpret_cast<const sockaddr*>(&address));
        peerPort_ = address.ss_family == AF_INET6
                        ? ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port)
                        : ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
    }
    const int on = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::setsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &kSendBufferBytes, sizeof kSendBufferBytes);
    readNotifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(readNotifier_, &QSocketNotifier::activated, this, &TcpConnection::readable);
    writeNotifier_ = new QSocketNotifier(fd_, QSocketNotifier::Write, this);
    writeNotifier_->setEnabled(false);
    connect(writeNotifier_, &QSocketNotifier::activated, this, &TcpConnection::flush);
}

TcpConnection::~TcpConnection() {
    close();
}

QByteArray TcpConnection::read(qint64 maxBytes) {
    if (fd_ < 0 || peerClosed_ || maxBytes <= 0) return {};
    QByteArray bytes(maxBytes, Qt::Uninitialized);
    const ssize_t n = ::recv(fd_, bytes.data(), size_t(maxBytes), MSG_DONTWAIT);
    if (n > 0) {
        bytes.truncate(n);
        return bytes;
    }
    if (n == 0) {
        // The client sent all it will; its answers may still go.
        peerClosed_ = true;
        readNotifier_->setEnabled(false);
    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        fail();
    }
    return {};
}

void TcpConnection::setReading(bool on) {
    if (readNotifier_) readNotifier_->setEnabled(on && !peerClosed_ && !broken_);
}

void TcpConnection::write(const QByteArray& bytes) {
    if (fd_ < 0 || broken_ || bytes.isEmpty()) return;
    pending_ += bytes;
    flush();
}

void TcpConnection::flush() {
    while (fd_ >= 0 && bytesToWrite() > 0) {
        const ssize_t n = ::send(fd_, pending_.constData() + sentOfPending_, size_t(bytesToWrite()),
                                 MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) {
            sentOfPending_ += n;
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            writeNotifier_->setEnabled(true);
            return;
        }
        if (n < 0 && errno == EINTR) continue;
        return fail();
    }
    pending_.clear();
    sentOfPending_ = 0;
    if (writeNotifier_) writeNotifier_->setEnabled(false);
    emit drained();
}

void TcpConnection::fail() {
    if (broken_) return;
    broken_ = true;
    if (readNotifier_) readNotifier_->setEnabled(false);
    if (writeNotifier_) writeNotifier_->setEnabled(false);
    emit failed();
}

void TcpConnection::close() {
    if (fd_ < 0) return;
    delete readNotifier_;
    delete writeNotifier_;
    readNotifier_ = writeNotifier_ = nullptr;
    ::close(fd_);
    fd_ = -1;
}

} // namespace velmora
