#include "serial/Rfc2217.h"

#include "serial/PortBackend.h"

namespace orvik {

using namespace telnet;

std::size_t TelnetParser::Feed(const std::uint8_t* in, std::size_t count, std::uint8_t* data,
                               std::vector<TelnetNotice>& notices) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t b = in[i];
        switch (state_) {
        case State::Data:
            if (b == IAC)
                state_ = State::Iac;
            else
                data[n++] = b;
            break;
        case State::Iac:
            if (b == IAC) {
                data[n++] = IAC;
                state_ = State::Data;
            } else if (b >= WILL) {
                verb_ = b;
                state_ = State::Verb;
            } else if (b == SB) {
                subLength_ = 0;
                state_ = State::Sub;
            } else {
                state_ = State::Data; // NOP, GA, DM, AYT ...: nothing to do here
            }
            break;
        case State::Verb: {
            TelnetNotice notice;
            notice.kind = verb_ == WILL   ? TelnetNotice::Kind::Will
                          : verb_ == WONT ? TelnetNotice::Kind::Wont
                          : verb_ == DO   ? TelnetNotice::Kind::Do
                                          : TelnetNotice::Kind::Dont;
            notice.code = b;
            notices.push_back(notice);
            state_ = State::Data;
            break;
        }
        case State::Sub:
            if (b == IAC) {
                state_ = State::SubIac;
            } else {
                if (subLength_ < sizeof sub_)
                    sub_[subLength_] = b;
                if (subLength_ < 0xFFFF)
                    ++subLength_;
            }
            break;
        case State::SubIac:
            if (b == IAC) {
                if (subLength_ < sizeof sub_)
                    sub_[subLength_] = b;
                if (subLength_ < 0xFFFF)
                    ++subLength_;
                state_ = State::Sub;
            } else if (b == SE) {
                EndSub(notices);
                state_ = State::Data;
            } else {
                // A command inside a subnegotiation: the subnegotiation was cut off.
                state_ = State::Iac;
                --i;
            }
            break;
        }
    }
    return n;
}

void TelnetParser::EndSub(std::vector<TelnetNotice>& notices) {
    if (subLength_ < 2 || sub_[0] != COM_PORT)
        return;
    TelnetNotice notice;
    notice.kind = TelnetNotice::Kind::ComPort;
    notice.code = sub_[1];
    const std::size_t length = subLength_ - 2;
    notice.length = static_cast<std::uint8_t>(length > 255 ? 255 : length);
    for (std::size_t i = 0; i < length && i < 4 && 2 + i < sizeof sub_; ++i)
        notice.value = (notice.value << 8) | sub_[2 + i];
    notices.push_back(notice);
}

std::size_t EscapeIac(const std::uint8_t* in, std::size_t count, std::uint8_t* out) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < count; ++i) {
        out[n++] = in[i];
        if (in[i] == IAC)
            out[n++] = IAC;
    }
    return n;
}

void AppendComPortCommand(std::string& out, std::uint8_t command, std::uint32_t value,
                          std::uint8_t length) {
    out += static_cast<char>(IAC);
    out += static_cast<char>(SB);
    out += static_cast<char>(COM_PORT);
    out += static_cast<char>(command);
    for (int i = length - 1; i >= 0; --i) {
        const auto b = static_cast<std::uint8_t>(value >> (8 * i));
        out += static_cast<char>(b);
        if (b == IAC)
            out += static_cast<char>(IAC);
    }
    out += static_cast<char>(IAC);
    out += static_cast<char>(SE);
}

std::string DescribeLine(const ComPortLine& line) {
    static const char parity[] = "?NOEMS";
    std::string text = std::to_string(line.baud) + " " + std::to_string(line.dataSize);
    text += parity[line.parity <= 5 ? line.parity : 0];
    text += line.stopSize == 2 ? "2" : line.stopSize == 3 ? "1.5" : "1";
    return text;
}

namespace {

// Index of an option the client takes part in, or -1.
int OptionIndex(std::uint8_t option) {
    switch (option) {
    case BINARY:
        return 0;
    case SGA:
        return 1;
    case COM_PORT:
        return 2;
    default:
        return -1;
    }
}

const char* OptionName(std::uint8_t option) {
    switch (option) {
    case BINARY:
        return "binary transmission";
    case SGA:
        return "suppress go-ahead";
    case COM_PORT:
        return "the COM port control option";
    case 1:
        return "echo";
    default:
        return nullptr;
    }
}

std::string Named(std::uint8_t option) {
    const char* name = OptionName(option);
    return name ? name : "option " + std::to_string(option);
}

void AppendVerb(std::string& out, std::uint8_t verb, std::uint8_t option) {
    out += static_cast<char>(IAC);
    out += static_cast<char>(verb);
    out += static_cast<char>(option);
}

const char* RequestName(std::uint8_t command) {
    switch (command) {
    case SET_BAUDRATE:
        return "baud rate";
    case SET_DATASIZE:
        return "data size";
    case SET_PARITY:
        return "parity";
    case SET_STOPSIZE:
        return "stop size";
    default:
        return "flow control";
    }
}

} // namespace

void ComPortNegotiation::Step(const std::string& text) {
    if (OnStep)
        OnStep(text);
}

void ComPortNegotiation::Start(std::string& out) {
    AppendVerb(out, WILL, COM_PORT);
    AppendVerb(out, WILL, BINARY);
    AppendVerb(out, DO, BINARY);
    us_[2].asked = us_[0].asked = them_[0].asked = true;
    Step("sent WILL COM-PORT-OPTION, WILL BINARY, DO BINARY");
}

void ComPortNegotiation::SetLine(const ComPortLine& line, std::string& out) {
    line_ = line;
    haveLine_ = true;
    if (us_[2].on && outcome_ != Outcome::Refused)
        SendLine(out);
}

void ComPortNegotiation::SendLine(std::string& out) {
    const Request asked[] = {
        {SET_CONTROL, line_.control, 1, false},   {SET_BAUDRATE, line_.baud, 4, false},
        {SET_DATASIZE, line_.dataSize, 1, false}, {SET_PARITY, line_.parity, 1, false},
        {SET_STOPSIZE, line_.stopSize, 1, false},
    };
    for (std::size_t i = 0; i < 5; ++i) {
        requests_[i] = asked[i];
        AppendComPortCommand(out, asked[i].command, asked[i].value, asked[i].length);
    }
    lineSent_ = true;
    outcome_ = Outcome::Pending;
    Step("asked for " + DescribeLine(line_) + ", flow control " + std::to_string(line_.control));
}

void ComPortNegotiation::Refuse(const std::string& why) {
    outcome_ = Outcome::Refused;
    why_ = why;
    Step("refused: " + why);
}

void ComPortNegotiation::Take(const TelnetNotice& n, std::string& out) {
    if (n.kind == TelnetNotice::Kind::ComPort)
        Answer(n);
    else
        Option(n, out);
}

void ComPortNegotiation::Option(const TelnetNotice& n, std::string& out) {
    const int index = OptionIndex(n.code);
    const bool ours = n.kind == TelnetNotice::Kind::Do || n.kind == TelnetNotice::Kind::Dont;
    const bool wanted = index >= 0 && (ours || n.code != COM_PORT);
    static const char* verbs[] = {"WILL", "WONT", "DO", "DONT"};
    Step(std::string("server ") + verbs[static_cast<int>(n.kind)] + " " + Named(n.code));
    const bool yes = n.kind == TelnetNotice::Kind::Will || n.kind == TelnetNotice::Kind::Do;
    const std::uint8_t agree = ours ? WILL : DO;
    const std::uint8_t decline = ours ? WONT : DONT;
    if (!wanted) {
        if (yes)
            AppendVerb(out, decline, n.code); // not in that mode: nothing to answer to a no
        return;
    }
    Side& side = ours ? us_[index] : them_[index];
    if (yes) {
        if (!side.on && !side.asked)
            AppendVerb(out, agree, n.code);
        const bool starts = !side.on;
        side.on = true;
        side.asked = false;
        if (starts && ours && n.code == COM_PORT && haveLine_ && !lineSent_)
            SendLine(out);
        return;
    }
    if (side.on && !side.asked)
        AppendVerb(out, decline, n.code);
    const bool wasAsked = side.asked;
    side.on = side.asked = false;
    if (n.code == COM_PORT && (wasAsked || lineSent_))
        Refuse("the server refused the COM port control option");
}

void ComPortNegotiation::Answer(const TelnetNotice& n) {
    if (n.code == SERVER_OFFSET + NOTIFY_LINESTATE) {
        if (n.value & 0x02)
            errors_ |= COMM_CE_OVERRUN;
        if (n.value & 0x04)
            errors_ |= COMM_CE_RXPARITY;
        if (n.value & 0x08)
            errors_ |= COMM_CE_FRAME;
        if (n.value & 0x10) {
            errors_ |= COMM_CE_BREAK;
            events_ |= COMM_EV_BREAK;
        }
        if (n.value & 0x0E)
            events_ |= COMM_EV_ERR;
        return;
    }
    if (n.code == SERVER_OFFSET + NOTIFY_MODEMSTATE) {
        if (n.value & 0x01)
            events_ |= COMM_EV_CTS;
        if (n.value & 0x02)
            events_ |= COMM_EV_DSR;
        if (n.value & 0x04)
            events_ |= COMM_EV_RING;
        if (n.value & 0x08)
            events_ |= COMM_EV_RLSD;
        return;
    }
    Request* request = nullptr;
    for (Request& r : requests_)
        if (lineSent_ && r.command + SERVER_OFFSET == n.code)
            request = &r;
    if (!request || request->answered || outcome_ == Outcome::Refused)
        return;
    request->answered = true;
    const std::string name = RequestName(request->command);
    const bool same = n.length == request->length && n.value == request->value;
    if (request->command == SET_CONTROL) {
        Step(same ? "server took flow control " + std::to_string(n.value)
                  : "server answered flow control " + std::to_string(request->value) + " with " +
                        std::to_string(n.value) + "; counted as taken");
    } else if (same) {
        Step("server took " + name + " " + std::to_string(n.value));
    } else {
        Refuse("the server set the " + name + " to " + std::to_string(n.value) + " for " +
               std::to_string(request->value));
        return;
    }
    for (std::size_t i = 1; i < 5; ++i)
        if (!requests_[i].answered)
            return;
    if (!requests_[0].answered)
        Step("no answer to flow control " + std::to_string(requests_[0].value) +
             "; counted as taken");
    outcome_ = Outcome::Accepted;
    Step("line set: " + DescribeLine(line_));
}

std::string ComPortNegotiation::Why() const {
    if (outcome_ == Outcome::Refused)
        return why_;
    if (!us_[2].on)
        return "the server did not agree to the COM port control option";
    if (!haveLine_ || !lineSent_)
        return "the line was not asked for";
    for (std::size_t i = 1; i < 5; ++i)
        if (!requests_[i].answered)
            return std::string("no answer to the ") + RequestName(requests_[i].command);
    return {};
}

std::uint32_t ComPortNegotiation::TakeEvents() {
    const std::uint32_t e = events_;
    events_ = 0;
    return e;
}

std::uint32_t ComPortNegotiation::TakeErrors() {
    const std::uint32_t e = errors_;
    errors_ = 0;
    return e;
}

} // namespace orvik
