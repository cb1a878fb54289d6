#include "link/protocol/FrameDecode.h"

#include "link/protocol/SetupReply.h"
#include "link/protocol/StatusRecord.h"
#include "link/protocol/StatusTexts.h"

#include <algorithm>
#include <cstring>

namespace orvik {

namespace {

// A frame record taken apart; positions are bounded by what the record holds.
struct FrameView {
    std::uint8_t type = 0;
    std::uint8_t lengthByte = 0;
    const std::uint8_t* data = nullptr;
    std::size_t dataLength = 0; // data bytes present
    std::size_t dataWanted = 0; // what the length byte asks for
    bool hasSum = false;
    bool hasXor = false;
    std::uint8_t sum = 0;
    std::uint8_t x = 0;
    std::uint8_t rightSum = 0;
    std::uint8_t rightXor = 0;
};

bool IsFrame(const FrameRecord& r) noexcept {
    return r.outcome != FrameOutcome::Noise && r.length >= 4 && r.bytes[0] == SYNC1 &&
           r.bytes[1] == SYNC2;
}

FrameView View(const FrameRecord& r) noexcept {
    FrameView v;
    v.type = r.bytes[2];
    v.lengthByte = r.bytes[3];
    v.dataWanted = v.lengthByte == 0 ? FRAME_DATA_SIZE : v.lengthByte;
    v.data = &r.bytes[4];
    v.dataLength = std::min<std::size_t>(v.dataWanted, r.length - 4u);
    const std::size_t sumAt = 4 + v.dataLength;
    v.hasSum = v.dataLength == v.dataWanted && r.length > sumAt;
    v.hasXor = v.hasSum && r.length > sumAt + 1;
    if (v.hasSum)
        v.sum = r.bytes[sumAt];
    if (v.hasXor)
        v.x = r.bytes[sumAt + 1];
    v.rightSum = static_cast<std::uint8_t>(v.type + v.lengthByte);
    v.rightXor = static_cast<std::uint8_t>(v.type ^ v.lengthByte);
    for (std::size_t i = 0; i < v.dataLength; ++i) {
        v.rightSum = static_cast<std::uint8_t>(v.rightSum + v.data[i]);
        v.rightXor ^= v.data[i];
    }
    return v;
}

std::string Hex2(std::uint8_t b) {
    static const char digits[] = "0123456789ABCDEF";
    return {digits[b >> 4], digits[b & 0x0F]};
}

// "1, 2, 4" of the bits set, or "none".
std::string BitList(std::uint8_t mask) {
    std::string out;
    for (std::size_t n = 0; n < BitMaskTable.size(); ++n) {
        if (!(mask & BitMaskTable[n]))
            continue;
        if (!out.empty())
            out += ", ";
        out += std::to_string(n + 1);
    }
    return out.empty() ? "none" : out;
}

std::string Plural(std::size_t n, const char* one) {
    return std::to_string(n) + " " + one + (n == 1 ? "" : "s");
}

std::string Trimmed(const ShortText& t) {
    std::string s = t.Str();
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

std::string OnOff(std::uint8_t v) {
    return v == 1 ? "on" : v == 0 ? "off" : "value " + std::to_string(v);
}

class Decoder {
public:
    Decoder(const FrameRecord& r, bool withFields) : r_(r), withFields_(withFields) {}

    DecodedFrame Run() {
        if (!IsFrame(r_)) {
            out_.kind = FrameKind::Noise;
            out_.summary = "noise, " + Plural(r_.length, "byte");
            Field("bytes", std::to_string(r_.length));
            return std::move(out_);
        }
        v_ = View(r_);
        out_.kind = KindOf(r_);
        out_.node = NodeOf(r_);
        Field("sync", "D5 82");
        Field("type", TypeText());
        Field("length",
              std::to_string(v_.lengthByte) +
                  (v_.lengthByte == 0 ? " (256 data bytes)" : " data bytes") +
                  (v_.dataLength < v_.dataWanted ? ", " + std::to_string(v_.dataLength) + " present"
                                                 : ""));
        switch (out_.kind) {
        case FrameKind::Command:
            Command();
            break;
        case FrameKind::Status:
            Status();
            break;
        case FrameKind::SetupReply:
            SetupReply();
            break;
        default:
            out_.summary =
                "frame type " + std::to_string(v_.type) + ", " + Plural(v_.dataLength, "data byte");
            break;
        }
        Checks();
        if (r_.outcome == FrameOutcome::BadSum || r_.outcome == FrameOutcome::BadXor)
            out_.summary = OutcomeText(r_.outcome);
        return std::move(out_);
    }

private:
    void Field(std::string name, std::string value) {
        if (withFields_)
            out_.fields.push_back({std::move(name), std::move(value)});
    }

    std::string TypeText() const {
        std::string t = std::to_string(v_.type);
        if (r_.direction == Direction::Outbound) {
            const char* name = CommandName(v_.type);
            return t + " (" + (name ? name : "unknown command") + ")";
        }
        if (v_.type == FRAME_STATUS)
            return t + " (status)";
        if (v_.type == FRAME_BREAKER_SETUP)
            return t + " (breaker setup reply)";
        return t + " (unknown type)";
    }

    void Checks() {
        auto check = [](bool present, std::uint8_t got, std::uint8_t right) {
            if (!present)
                return std::string("not received");
            std::string s = "0x" + Hex2(got);
            return got == right ? s + " (right)" : s + " (wrong, should be 0x" + Hex2(right) + ")";
        };
        Field("sum", check(v_.hasSum, v_.sum, v_.rightSum));
        Field("XOR", check(v_.hasXor, v_.x, v_.rightXor));
    }

    void Command() {
        const std::string node = ", node " + std::to_string(out_.node);
        const char* name = CommandName(v_.type);
        const std::optional<SentCommand> command = DecodeCommand(v_.type, v_.data, v_.dataLength);
        if (!command) {
            out_.summary = std::string(name ? name : "command") + " without a node byte";
            return;
        }
        Field("node", std::to_string(out_.node));
        if (!name) {
            out_.summary = "command " + std::to_string(v_.type) + node;
            return;
        }
        const std::uint8_t* p = command->payload;
        const std::size_t want = CommandLengthByte(v_.type) - 1;
        if (command->payloadLength != want) {
            out_.summary = std::string(name) + " with " +
                           Plural(command->payloadLength, "payload byte") + " (" +
                           std::to_string(want) + " expected)" + node;
            return;
        }
        const std::string breaker = std::to_string(p[0] + 1);
        std::string s;
        switch (v_.type) {
        case CMD_TRIP_CURRENT: {
            const std::string a = FormatTenths(static_cast<std::uint32_t>(p[1] | (p[2] << 8)));
            Field("breaker", breaker);
            Field("trip current", a + " A");
            s = "trip current breaker " + breaker + " = " + a + " A";
            break;
        }
        case CMD_TRIP_TIME:
            Field("breaker", breaker);
            Field("trip time", FormatTenths(p[1]) + " s");
            s = "trip time breaker " + breaker + " = " + FormatTenths(p[1]) + " s";
            break;
        case CMD_WIGWAG_MODE: {
            static const char* modes[] = {"off", "steady", "flashing"};
            const std::string m = p[0] < 3 ? modes[p[0]] : std::to_string(p[0]);
            Field("wigwag mode", m);
            s = "wigwag mode " + m;
            break;
        }
        case CMD_WIGWAG_INTERVAL:
            s = FormatTenths(p[0]) + " s" + (p[0] == 0 ? " (never flash)" : "");
            Field("wigwag interval", s);
            s = "wigwag interval " + s;
            break;
        case CMD_SWITCH_BREAKER:
            Field("breaker", breaker);
            Field("switch", OnOff(p[1]));
            s = "switch breaker " + breaker + " " + OnOff(p[1]);
            break;
        case CMD_DOUBLING:
            Field("joining option", std::to_string(p[0]) + ": " + JoiningOptionText(p[0]));
            s = std::string("doubling/tripling: ") + JoiningOptionText(p[0]);
            break;
        case CMD_DUAL_LED:
            Field("dual LED", OnOff(p[0]));
            s = "dual LED " + OnOff(p[0]);
            break;
        case CMD_WIGWAG_ENABLE:
            s = p[0] == 1 ? "enable" : p[0] == 0 ? "disable" : "value " + std::to_string(p[0]);
            Field("wigwag", s);
            s = "wigwag " + s;
            break;
        case CMD_POWER_ON_DEFAULTS: {
            ShortText t;
            PowerOnText(p[0], t);
            Field("power on defaults", Trimmed(t) + " (0x" + Hex2(p[0]) + ")");
            s = "power on defaults: " + Trimmed(t);
            break;
        }
        case CMD_FLASHER: {
            const char* text = FlasherModeText(p[0]);
            const std::string m = text ? text : "mode " + std::to_string(p[0]);
            Field("flasher", m);
            s = "flasher: " + m;
            break;
        }
        case CMD_FACTORY_DEFAULTS:
            Field("value", std::to_string(p[0]));
            s = "set to factory defaults";
            break;
        case CMD_REQUEST_BREAKER_SETUP:
            Field("value", std::to_string(p[0]));
            s = "breaker setup request";
            break;
        }
        out_.summary = s + node;
    }

    void Status() {
        const std::uint8_t present = v_.dataLength > 0 ? v_.data[0] : 0;
        out_.summary = present == 0 ? "status: no nodes present"
                                    : "status: nodes " + BitList(present) + " present";
        Field("nodes present", BitList(present));
        if (!withFields_ || v_.dataLength < STATUS_RECORD_SIZE)
            return;
        StatusRecord s;
        std::memcpy(s.bytes.data(), v_.data, STATUS_RECORD_SIZE);
        for (std::size_t n = 0; n < NODE_COUNT; ++n) {
            if (!s.IsNodePresent(n))
                continue;
            const std::string node = "node " + std::to_string(n + 1) + " ";
            Field(node + "breakers on", BitList(s.BreakerOn(n)));
            Field(node + "faults", BitList(s.BreakerFault(n)));
            std::string currents;
            for (std::size_t b = 0; b < BREAKER_COUNT; ++b)
                currents += (b ? ", " : "") + FormatTenths(s.Current(n, b)) + " A";
            Field(node + "currents", currents);
            Field(node + "input voltage", FormatTenths(s.InputVoltage(n)) + " V");
            Field(node + "doubling/tripling", JoiningOptionText(s.DoublingOption(n)));
            ShortText t;
            PowerOnText(s.PowerOnMask(n), t);
            Field(node + "power on defaults", Trimmed(t));
            const std::uint8_t f = s.OptionFlags(n);
            ProfileText(f, s.FixedProfile(n), t);
            Field(node + "profile", t.Str());
            Field(node + "wigwag", WigwagModeText(f & OPT_WIGWAG));
            Field(node + "wigwag interval", FormatTenths(s.WigwagInterval(n)) + " seconds");
            const auto flasher = static_cast<std::uint8_t>((f & OPT_FLASHER) >> 3);
            const char* text = FlasherModeText(flasher);
            Field(node + "flasher", text ? text : "mode " + std::to_string(flasher));
            Field(node + "dual LED", DualLedText((f & OPT_DUAL_LED) != 0));
        }
    }

    void SetupReply() {
        out_.summary = "breaker setup reply: node " + std::to_string(out_.node);
        Field("node", std::to_string(out_.node));
        const std::optional<orvik::SetupReply> reply = DecodeSetupReply(v_.data, v_.dataLength);
        if (!reply)
            return;
        for (std::size_t b = 0; b < BREAKER_COUNT; ++b)
            Field("breaker " + std::to_string(b + 1) + " trip",
                  FormatTenths(reply->trips.TripCurrent[b]) + " A after " +
                      FormatTenths(reply->trips.TripTime[b]) + " s");
    }

    const FrameRecord& r_;
    bool withFields_;
    FrameView v_;
    DecodedFrame out_;
};

} // namespace

FrameKind KindOf(const FrameRecord& r) noexcept {
    if (!IsFrame(r))
        return FrameKind::Noise;
    if (r.direction == Direction::Outbound)
        return FrameKind::Command;
    if (r.bytes[2] == FRAME_STATUS)
        return FrameKind::Status;
    if (r.bytes[2] == FRAME_BREAKER_SETUP)
        return FrameKind::SetupReply;
    return FrameKind::OtherType;
}

int NodeOf(const FrameRecord& r) noexcept {
    const FrameKind k = KindOf(r);
    if ((k == FrameKind::Command || k == FrameKind::SetupReply) && r.length > 4)
        return r.bytes[4] + 1;
    return 0;
}

DecodedFrame DecodeFrame(const FrameRecord& record, bool withFields) {
    return Decoder(record, withFields).Run();
}

std::string HexText(const std::uint8_t* bytes, std::size_t length, std::size_t maxBytes) {
    std::string out;
    const std::size_t n = std::min(length, maxBytes);
    out.reserve(3 * n + 4);
    for (std::size_t i = 0; i < n; ++i) {
        if (i)
            out += ' ';
        out += Hex2(bytes[i]);
    }
    if (length > n)
        out += " ...";
    return out;
}

} // namespace orvik
