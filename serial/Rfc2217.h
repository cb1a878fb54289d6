// The telnet stream of an RFC 2217 server, without any socket: what the server's bytes say
// (data, option negotiation, the answers of the COM port control option), the escaping of the
// byte 0xFF (IAC) both ways, and the client's side of the negotiation that sets the line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orvik {

namespace telnet {
inline constexpr std::uint8_t IAC = 255;
inline constexpr std::uint8_t DONT = 254;
inline constexpr std::uint8_t DO = 253;
inline constexpr std::uint8_t WONT = 252;
inline constexpr std::uint8_t WILL = 251;
inline constexpr std::uint8_t SB = 250;
inline constexpr std::uint8_t SE = 240;
inline constexpr std::uint8_t BINARY = 0;
inline constexpr std::uint8_t SGA = 3;
inline constexpr std::uint8_t COM_PORT = 44;
// Client commands of the COM port option; the server answers with the same plus 100.
inline constexpr std::uint8_t SET_BAUDRATE = 1;
inline constexpr std::uint8_t SET_DATASIZE = 2;
inline constexpr std::uint8_t SET_PARITY = 3;
inline constexpr std::uint8_t SET_STOPSIZE = 4;
inline constexpr std::uint8_t SET_CONTROL = 5;
inline constexpr std::uint8_t NOTIFY_LINESTATE = 6;
inline constexpr std::uint8_t NOTIFY_MODEMSTATE = 7;
inline constexpr std::uint8_t SERVER_OFFSET = 100;
} // namespace telnet

// One thing the server said besides data.
struct TelnetNotice {
    enum class Kind : std::uint8_t { Will, Wont, Do, Dont, ComPort };
    Kind kind = Kind::Will;
    std::uint8_t code = 0;   // the option; for ComPort the server's command (101 ...)
    std::uint32_t value = 0; // ComPort: the first four bytes of the value, big-endian
    std::uint8_t length = 0; // ComPort: bytes of the value (at most 255 counted)
};

// Takes the server's bytes apart. Pure: no I/O, no clock.
class TelnetParser {
public:
    // Reads `count` bytes; writes the data bytes among them to `data` (room for `count`) and
    // returns how many; appends each notice to `notices`. A command may span calls.
    // Subnegotiations of other options and commands without meaning here are dropped.
    std::size_t Feed(const std::uint8_t* in, std::size_t count, std::uint8_t* data,
                     std::vector<TelnetNotice>& notices);

private:
    enum class State : std::uint8_t { Data, Iac, Verb, Sub, SubIac };
    void EndSub(std::vector<TelnetNotice>& notices);

    State state_ = State::Data;
    std::uint8_t verb_ = 0;
    std::uint8_t sub_[8] = {}; // option, command, value
    std::size_t subLength_ = 0;
};

// Data for the server: each 0xFF doubled. `out` has room for 2 * count; returns its length.
std::size_t EscapeIac(const std::uint8_t* in, std::size_t count, std::uint8_t* out);

// The line as RFC 2217 sets it.
struct ComPortLine {
    std::uint32_t baud = 57600;
    std::uint8_t dataSize = 8; // 5 .. 8
    std::uint8_t parity = 1;   // 1 none, 2 odd, 3 even, 4 mark, 5 space
    std::uint8_t stopSize = 1; // 1 one, 2 two, 3 one and a half
    std::uint8_t control = 1;  // 1 no flow control, 2 XON/XOFF, 3 hardware
};

// "57600 8N1"
std::string DescribeLine(const ComPortLine& line);

// The client's side: agrees to the COM port option and binary transmission both ways,
// refuses every other option the server offers, sets the line once the server has agreed to
// the option, and checks each answer. The flow-control request counts as taken when the server
// does not confirm it as asked (some servers never do); the baud rate, data size, parity and
// stop size must come back as asked. Pure, like the parser; every step goes to OnStep.
class ComPortNegotiation {
public:
    enum class Outcome { Pending, Accepted, Refused };

    // The client's opening requests.
    void Start(std::string& out);
    // The line to set; sent at once when the server has agreed to the option, else then.
    void SetLine(const ComPortLine& line, std::string& out);
    // One notice of the server; answers are appended to `out`.
    void Take(const TelnetNotice& notice, std::string& out);

    Outcome Result() const { return outcome_; }
    // What the negotiation waits for, or why it was refused, in words.
    std::string Why() const;
    // Line events the server's notifications reported (COMM_EV_* bits) and line errors
    // (COMM_CE_*), gathered since the last call.
    std::uint32_t TakeEvents();
    std::uint32_t TakeErrors();

    std::function<void(const std::string&)> OnStep;

private:
    struct Side {
        bool on = false;
        bool asked = false;
    };
    // One set command and its answer; control is asked first so that its answer, if the
    // server gives one, is in before the stop size's.
    struct Request {
        std::uint8_t command = 0;
        std::uint32_t value = 0;
        std::uint8_t length = 1;
        bool answered = false;
    };
    void Step(const std::string& text);
    void SendLine(std::string& out);
    void Answer(const TelnetNotice& n);
    void Option(const TelnetNotice& n, std::string& out);
    void Refuse(const std::string& why);

    Side us_[3];   // BINARY, SGA, COM_PORT as we do them
    Side them_[3]; // BINARY, SGA, COM_PORT as the server does them
    bool haveLine_ = false;
    bool lineSent_ = false;
    ComPortLine line_;
    Request requests_[5];
    Outcome outcome_ = Outcome::Pending;
    std::string why_;
    std::uint32_t events_ = 0;
    std::uint32_t errors_ = 0;
};

// Appends the subnegotiation "IAC SB COM-PORT command value IAC SE", value escaped.
void AppendComPortCommand(std::string& out, std::uint8_t command, std::uint32_t value,
                          std::uint8_t length);

} // namespace orvik
