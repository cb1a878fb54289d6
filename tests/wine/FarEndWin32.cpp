#include "tests/wine/FarEnd.h"

#include <windows.h>

#include <cstdlib>

namespace orvik::test {

namespace {

using Clock = std::chrono::steady_clock;

class ComFarEnd final : public FarEnd {
public:
    ComFarEnd(HANDLE handle, std::string port) : Handle(handle), Port(std::move(port)) {}
    ~ComFarEnd() override { CloseHandle(Handle); }
    std::string PortName() const override { return Port; }

    std::size_t Send(const std::vector<std::uint8_t>& bytes,
                     std::chrono::milliseconds limit) override {
        std::size_t sent = 0;
        const auto until = Clock::now() + limit;
        while (sent < bytes.size() && Clock::now() < until) {
            DWORD n = 0;
            DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - sent, 4096));
            if (!WriteFile(Handle, bytes.data() + sent, chunk, &n, nullptr))
                break;
            sent += n;
        }
        return sent;
    }

    std::vector<std::uint8_t> Receive(std::size_t count, std::chrono::milliseconds limit) override {
        std::vector<std::uint8_t> got(count);
        std::size_t have = 0;
        const auto until = Clock::now() + limit;
        while (have < count && Clock::now() < until) {
            DWORD n = 0;
            if (!ReadFile(Handle, got.data() + have, static_cast<DWORD>(count - have), &n, nullptr))
                break;
            have += n;
        }
        got.resize(have);
        return got;
    }

    // Raw 57600 8N1 without flow control; reads return what came within 20 ms.
    bool Setup() {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(Handle, &dcb))
            return false;
        dcb.BaudRate = 57600;
        dcb.fBinary = TRUE;
        dcb.fParity = FALSE;
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        COMMTIMEOUTS t{};
        t.ReadIntervalTimeout = MAXDWORD;
        t.ReadTotalTimeoutMultiplier = MAXDWORD;
        t.ReadTotalTimeoutConstant = 20;
        t.WriteTotalTimeoutConstant = 200;
        return SetCommState(Handle, &dcb) && SetCommTimeouts(Handle, &t) &&
               PurgeComm(Handle, PURGE_RXCLEAR | PURGE_TXCLEAR);
    }

private:
    HANDLE Handle;
    std::string Port;
};

} // namespace

std::unique_ptr<FarEnd> OpenFarEnd(std::string& why) {
    const char* port = std::getenv("ORVIK_TEST_PORT");
    const char* farPort = std::getenv("ORVIK_TEST_FAR_PORT");
    if (port == nullptr || farPort == nullptr) {
        why = "set ORVIK_TEST_PORT and ORVIK_TEST_FAR_PORT to two ports joined by a null-modem "
              "link";
        return nullptr;
    }
    HANDLE h =
        CreateFileA(farPort, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        why = std::string("cannot open ") + farPort + " (error " + std::to_string(GetLastError()) +
              ")";
        return nullptr;
    }
    auto end = std::make_unique<ComFarEnd>(h, port);
    if (!end->Setup()) {
        why = std::string("cannot set up ") + farPort + " (error " +
              std::to_string(GetLastError()) + ")";
        return nullptr;
    }
    return end;
}

} // namespace orvik::test
