#include "sim/SimLine.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace orvik::sim {

namespace {

std::string Why(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

} // namespace

bool MakeRaw57600(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return false;
    cfmakeraw(&t);
    t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CSIZE | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, B57600);
    cfsetospeed(&t, B57600);
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

SimLine::~SimLine() {
    if (!link_.empty())
        unlink(link_.c_str());
    if (slaveFd_ >= 0)
        close(slaveFd_);
    if (listenFd_ >= 0)
        close(listenFd_);
    if (fd_ >= 0)
        close(fd_);
}

bool SimLine::OpenPty(const std::string& linkPath, std::string& error) {
    fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0) {
        error = Why("posix_openpt");
        return false;
    }
    if (grantpt(fd_) != 0 || unlockpt(fd_) != 0) {
        error = Why("grantpt/unlockpt");
        return false;
    }
    char name[128];
    if (ptsname_r(fd_, name, sizeof name) != 0) {
        error = Why("ptsname");
        return false;
    }
    farEnd_ = name;
    slaveFd_ = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slaveFd_ < 0) {
        error = Why("open " + farEnd_);
        return false;
    }
    if (!MakeRaw57600(slaveFd_)) {
        error = Why("raw mode on " + farEnd_);
        return false;
    }
    if (!linkPath.empty()) {
        unlink(linkPath.c_str()); // a stale link of an earlier run
        if (symlink(name, linkPath.c_str()) != 0) {
            error = Why("symlink " + linkPath);
            return false;
        }
        link_ = linkPath;
    }
    return true;
}

bool SimLine::OpenDevice(const std::string& path, std::string& error) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0) {
        error = Why("open " + path);
        return false;
    }
    if (!MakeRaw57600(fd_)) {
        error = Why("setting 57600 8N1 on " + path);
        return false;
    }
    tcflush(fd_, TCIOFLUSH);
    farEnd_ = path;
    return true;
}

bool SimLine::Listen(std::uint16_t port, std::string& error) {
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) {
        error = Why("socket");
        return false;
    }
    const int one = 1;
    setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(port);
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    farEnd_ = "socket://127.0.0.1:" + std::to_string(port);
    if (bind(listenFd_, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0 ||
        listen(listenFd_, 1) != 0) {
        error = Why("listening on 127.0.0.1:" + std::to_string(port));
        return false;
    }
    return true;
}

void SimLine::Accept() {
    const int client = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (client < 0)
        return;
    if (fd_ >= 0) {
        // One client at a time; one that has just gone but was not read since makes room.
        char byte;
        const ssize_t n = recv(fd_, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n != 0 && !(n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
            close(client);
            return;
        }
        close(fd_);
    }
    const int one = 1;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    fd_ = client;
}

void SimLine::DropClient() {
    if (listenFd_ >= 0 && fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
}

void SimLine::DropUnread() {
    if (slaveFd_ >= 0)
        tcflush(slaveFd_, TCIFLUSH);
}

} // namespace orvik::sim
