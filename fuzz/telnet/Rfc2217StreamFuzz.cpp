// Arbitrary bytes from an RFC 2217 server: the parser gives the same data and notices whatever
// pieces the bytes come in, never more data than bytes; the client's negotiation takes every
// notice without answering more than a few bytes to each; and data escaped for the server and
// parsed again is the data itself.
#include "serial/Rfc2217.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void Check(bool ok) {
    if (!ok)
        std::abort();
}

bool Same(const orvik::TelnetNotice& a, const orvik::TelnetNotice& b) {
    return a.kind == b.kind && a.code == b.code && a.value == b.value && a.length == b.length;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* in, std::size_t size) {
    using namespace orvik;
    if (size < 2)
        return 0; // a piece size and at least one byte
    // The first byte picks the piece size; the rest is the stream.
    const std::size_t piece = 1 + in[0] % 17;
    const std::uint8_t* stream = in + 1;
    const std::size_t count = size - 1;

    TelnetParser whole;
    std::vector<std::uint8_t> data(count);
    std::vector<TelnetNotice> notices;
    data.resize(whole.Feed(stream, count, data.data(), notices));
    Check(data.size() <= count);

    TelnetParser split;
    std::vector<std::uint8_t> pieceData;
    std::vector<TelnetNotice> pieceNotices;
    for (std::size_t at = 0; at < count; at += piece) {
        const std::size_t n = count - at < piece ? count - at : piece;
        std::uint8_t out[17];
        const std::size_t got = split.Feed(stream + at, n, out, pieceNotices);
        Check(got <= n);
        pieceData.insert(pieceData.end(), out, out + got);
    }
    Check(pieceData == data);
    Check(pieceNotices.size() == notices.size());
    for (std::size_t i = 0; i < notices.size(); ++i)
        Check(Same(notices[i], pieceNotices[i]));

    ComPortNegotiation negotiation;
    std::string out;
    negotiation.Start(out);
    negotiation.SetLine(ComPortLine{}, out);
    for (const TelnetNotice& n : notices) {
        std::string answer;
        negotiation.Take(n, answer);
        Check(answer.size() <= 64); // an option answer, or the line's five requests
    }
    negotiation.TakeEvents();
    negotiation.TakeErrors();
    if (negotiation.Result() == ComPortNegotiation::Outcome::Pending)
        Check(!negotiation.Why().empty());

    std::vector<std::uint8_t> escaped(2 * count);
    escaped.resize(EscapeIac(stream, count, escaped.data()));
    TelnetParser back;
    std::vector<std::uint8_t> again(escaped.size());
    std::vector<TelnetNotice> none;
    again.resize(back.Feed(escaped.data(), escaped.size(), again.data(), none));
    Check(none.empty());
    Check(again.size() == count && std::memcmp(again.data(), stream, count) == 0);
    return 0;
}
