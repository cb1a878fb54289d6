#include "FarEnd.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

namespace orvik::test {

namespace {

using Clock = std::chrono::steady_clock;

class TPtyFarEnd final : public TFarEnd {
public:
    TPtyFarEnd(int master, int slave, std::string name)
        : Master(master), Slave(slave), Name(std::move(name)) {}
    ~TPtyFarEnd() override {
        ::close(Master);
        ::close(Slave);
    }
    std::string PortName() const override { return Name; }

    std::size_t Send(const std::vector<std::uint8_t>& bytes,
                     std::chrono::milliseconds limit) override {
        std::size_t sent = 0;
        const auto until = Clock::now() + limit;
        while (sent < bytes.size() && Clock::now() < until) {
            ssize_t n = ::write(Master, bytes.data() + sent, bytes.size() - sent);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
            } else {
                pollfd p{Master, POLLOUT, 0};
                ::poll(&p, 1, 10);
            }
        }
        return sent;
    }

    std::vector<std::uint8_t> Receive(std::size_t count, std::chrono::milliseconds limit) override {
        std::vector<std::uint8_t> got(count);
        std::size_t have = 0;
        const auto until = Clock::now() + limit;
        while (have < count && Clock::now() < until) {
            ssize_t n = ::read(Master, got.data() + have, count - have);
            if (n > 0) {
                have += static_cast<std::size_t>(n);
            } else {
                pollfd p{Master, POLLIN, 0};
                ::poll(&p, 1, 10);
            }
        }
        got.resize(have);
        return got;
    }

private:
    int Master;
    int Slave; // kept open so the line never hangs up between opens
    std::string Name;
};

} // namespace

std::unique_ptr<TFarEnd> OpenFarEnd(std::string& why) {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        why = "openpty failed";
        return nullptr;
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    return std::make_unique<TPtyFarEnd>(master, slave, name);
}

} // namespace orvik::test
