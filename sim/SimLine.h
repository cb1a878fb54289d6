// The simulator's end of the line: a pseudo-terminal (the far end is for the program under
// test) or a real serial device, raw, 57600 8N1, non-blocking; or a TCP port on 127.0.0.1
// that one client at a time reaches as socket://127.0.0.1:PORT.
#pragma once

#include <cstdint>
#include <string>

namespace orvik::sim {

class SimLine {
public:
    SimLine() = default;
    SimLine(const SimLine&) = delete;
    SimLine& operator=(const SimLine&) = delete;
    ~SimLine();

    // Opens a new pseudo-terminal. Keeps its far end open itself, in raw mode, so the far
    // end's user can come and go. With `linkPath`, also makes a symbolic link to the far end
    // there (removed again by the destructor; an existing link there is replaced).
    bool OpenPty(const std::string& linkPath, std::string& error);
    // Opens a serial device.
    bool OpenDevice(const std::string& path, std::string& error);
    // Listens on 127.0.0.1:port; Fd() is -1 until a client comes (Accept).
    bool Listen(std::uint16_t port, std::string& error);
    int ListenFd() const { return listenFd_; }
    // Takes the waiting client; a second one is turned away while one is there.
    void Accept();
    // The client went away (read 0, or a failed write): wait for the next.
    void DropClient();

    int Fd() const { return fd_; }
    // Path of the far end of the pseudo-terminal, or the device path.
    const std::string& FarEnd() const { return farEnd_; }
    bool IsPty() const { return slaveFd_ >= 0; }
    // Writes stall: nobody reads the far end. Drops what waits there so a reader that comes
    // later starts with fresh frames.
    void DropUnread();

private:
    int fd_ = -1;
    int slaveFd_ = -1;
    int listenFd_ = -1;
    std::string farEnd_;
    std::string link_;
};

// Raw 8N1 at 57600 baud on any terminal fd. Returns false with errno set on failure.
bool MakeRaw57600(int fd);

} // namespace orvik::sim
