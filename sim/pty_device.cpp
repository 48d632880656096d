#include "sim/pty_device.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace velmora::sim {

namespace {

// Frames still unread after this long mean nobody has the port open (or the
// program that had it died): they are thrown away, so a PC that opens the port
// later does not get a pile of old read-outs.
constexpr double kUnreadLimit = 1.0;

bool makeRaw(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return false;
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

std::string failure(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

} // namespace

PtyDevice::~PtyDevice() {
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
}

bool PtyDevice::open(std::string& error) {
    const auto fail = [&error](const char* what) {
        error = failure(what);
        return false;
    };
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) return fail("posix_openpt");
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) return fail("grantpt");
    char name[PATH_MAX];
    if (ptsname_r(master_, name, sizeof name) != 0) return fail("ptsname");
    slavePath_ = name;
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave_ < 0) return fail(name);
    if (!makeRaw(slave_) || !makeRaw(master_)) return fail("tcsetattr");
    const int flags = fcntl(master_, F_GETFL);
    if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) return fail("fcntl");
    return true;
}

std::string PtyDevice::readAvailable() {
    std::string bytes;
    char buffer[256];
    for (;;) {
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        return bytes;
    }
}

PtyDevice::Written PtyDevice::write(const std::string& bytes, double now) {
    Written written;
    written.dropped = dropUnread(now);
    while (written.sent < bytes.size()) {
        const ssize_t n =
            ::write(master_, bytes.data() + written.sent, bytes.size() - written.sent);
        if (n > 0) {
            written.sent += static_cast<std::size_t>(n);
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    return written;
}

std::size_t PtyDevice::dropUnread(double now) {
    int pending = 0;
    if (ioctl(slave_, FIONREAD, &pending) != 0 || pending == 0) {
        lastDrained_ = now;
        return 0;
    }
    if (now - lastDrained_ < kUnreadLimit) return 0;
    tcflush(slave_, TCIFLUSH);
    // A reader that died holding the port exclusively would lock everyone
    // else out for as long as this end keeps the slave open.
    ioctl(slave_, TIOCNXCL);
    lastDrained_ = now;
    return static_cast<std::size_t>(pending);
}

bool makeLink(const std::string& link, const std::string& target, std::string& error) {
    struct stat info {};
    if (lstat(link.c_str(), &info) == 0 && !S_ISLNK(info.st_mode)) {
        error = link + " exists and is not a symbolic link";
        return false;
    }
    // Link under a private name first, then move it into place, so the path
    // never points nowhere while a PC looks it up.
    const std::string temporary = link + ".velmora-sim." + std::to_string(getpid());
    ::unlink(temporary.c_str());
    if (symlink(target.c_str(), temporary.c_str()) != 0) {
        error = failure(link.c_str());
        return false;
    }
    if (rename(temporary.c_str(), link.c_str()) != 0) {
        error = failure(link.c_str());
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

void removeLink(const std::string& link, const std::string& target) {
    char points[PATH_MAX];
    const ssize_t n = readlink(link.c_str(), points, sizeof points - 1);
    if (n < 0) return;
    points[n] = '\0';
    if (target == points) ::unlink(link.c_str());
}

} // namespace velmora::sim
