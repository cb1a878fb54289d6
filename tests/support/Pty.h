// A pseudo-terminal for tests: the code under test opens `name`, the test drives `master`.
#pragma once

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

namespace orvik::test {

struct PseudoTerminal {
    int master = -1;
    int slave = -1;
    std::string name;

    PseudoTerminal() {
        char path[256] = {};
        if (::openpty(&master, &slave, path, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        name = path;
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;
    ~PseudoTerminal() {
        CloseMaster();
        ::close(slave);
    }
    void CloseMaster() {
        if (master >= 0)
            ::close(master);
        master = -1;
    }
    // Writes all bytes at the far end within `limit`; returns how many went.
    std::size_t Send(const std::vector<std::uint8_t>& bytes,
                     std::chrono::milliseconds limit = std::chrono::seconds(5)) {
        std::size_t sent = 0;
        const auto until = std::chrono::steady_clock::now() + limit;
        while (sent < bytes.size() && std::chrono::steady_clock::now() < until) {
            ssize_t n = ::write(master, bytes.data() + sent, bytes.size() - sent);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
            } else {
                pollfd p{master, POLLOUT, 0};
                ::poll(&p, 1, 10);
            }
        }
        return sent;
    }
    // Reads at the far end until `count` bytes came or `limit` passed.
    std::vector<std::uint8_t> Receive(std::size_t count,
                                      std::chrono::milliseconds limit = std::chrono::seconds(5)) {
        std::vector<std::uint8_t> got(count);
        std::size_t have = 0;
        const auto until = std::chrono::steady_clock::now() + limit;
        while (have < count && std::chrono::steady_clock::now() < until) {
            ssize_t n = ::read(master, got.data() + have, count - have);
            if (n > 0) {
                have += static_cast<std::size_t>(n);
            } else {
                pollfd p{master, POLLIN, 0};
                ::poll(&p, 1, 10);
            }
        }
        got.resize(have);
        return got;
    }
};

} // namespace orvik::test
