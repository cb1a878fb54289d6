#include "tests/support/Pty.h"
#include "tests/wine/FarEnd.h"

namespace orvik::test {

namespace {

class PtyFarEnd final : public FarEnd {
public:
    std::string PortName() const override { return Line.name; }
    std::size_t Send(const std::vector<std::uint8_t>& bytes,
                     std::chrono::milliseconds limit) override {
        return Line.Send(bytes, limit);
    }
    std::vector<std::uint8_t> Receive(std::size_t count, std::chrono::milliseconds limit) override {
        return Line.Receive(count, limit);
    }

private:
    PseudoTerminal Line; // its slave stays open, so the line never hangs up between opens
};

} // namespace

std::unique_ptr<FarEnd> OpenFarEnd(std::string& why) {
    try {
        return std::make_unique<PtyFarEnd>();
    } catch (const std::exception& e) {
        why = e.what();
        return nullptr;
    }
}

} // namespace orvik::test
