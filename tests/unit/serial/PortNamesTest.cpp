// COM names to devices, over a fake /dev and /sys tree.
#include "serial/PortNames.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

using namespace orvik;
namespace fs = std::filesystem;

namespace {

struct PortNames : ::testing::Test {
    fs::path Root = fs::temp_directory_path() / ("orvik_ports_" + std::to_string(getpid()));
    PortScanRoots Roots{(Root / "dev").string(), (Root / "sys").string(),
                        (Root / "consoles").string()};

    void SetUp() override {
        fs::create_directories(Root / "dev/serial/by-id");
        fs::create_directories(Root / "sys");
        for (const char* dev : {"ttyUSB0", "ttyUSB1", "ttyUSB10", "ttyUSB2", "ttyACM0", "ttyS0",
                                "ttyS1", "ttyS2", "ttyS10", "ttyUSBx", "tty0"})
            std::ofstream(Root / "dev" / dev);
        fs::create_symlink("../../ttyUSB1", Root / "dev/serial/by-id/usb-Maker_B-if00");
        fs::create_symlink("../../ttyACM0", Root / "dev/serial/by-id/usb-Maker_A-if00");
        fs::create_symlink("../../ttyUSB7", Root / "dev/serial/by-id/usb-Gone-if00"); // dangling
        for (auto [tty, type] : {std::pair{"ttyS0", "4"}, {"ttyS1", "0"}, {"ttyS10", "4"}}) {
            fs::create_directories(Root / "sys" / tty);
            std::ofstream(Root / "sys" / tty / "type") << type << "\n";
        }
    }
    void TearDown() override { fs::remove_all(Root); }
    std::string Dev(const std::string& rel) const { return (Root / "dev" / rel).string(); }
};

} // namespace

TEST_F(PortNames, DevicesPresentInStableOrder) {
    EXPECT_EQ(ListSerialDevices(Roots),
              (std::vector<std::string>{
                  Dev("serial/by-id/usb-Maker_A-if00"), Dev("serial/by-id/usb-Maker_B-if00"),
                  Dev("ttyUSB0"), Dev("ttyUSB2"), Dev("ttyUSB10"), Dev("ttyS0"), Dev("ttyS10")}));
}

TEST_F(PortNames, ResolutionOrder) {
    const PortMap ports{{"com4", "/dev/ttyMapped"}, {"COM5", ""}};
    EXPECT_EQ(ResolvePortName("COM1", ports, Roots), Dev("serial/by-id/usb-Maker_A-if00"));
    EXPECT_EQ(ResolvePortName("Com3", ports, Roots), Dev("ttyUSB0"));
    EXPECT_EQ(ResolvePortName("COM4", ports, Roots), "/dev/ttyMapped"); // the map wins
    EXPECT_EQ(ResolvePortName("COM5", ports, Roots), Dev("ttyUSB10"));  // empty entry: ignored
    EXPECT_EQ(ResolvePortName("COM8", ports, Roots), Dev("ttyS7"));     // beyond those present
    EXPECT_EQ(ResolvePortName("/dev/ttyAMA0", ports, Roots), "/dev/ttyAMA0");
    EXPECT_EQ(ResolvePortName("printer", ports, Roots), "printer");
    EXPECT_EQ(ComPortNumber("cOm16"), 16);
    EXPECT_EQ(ComPortNumber("COM0"), 0);
    EXPECT_EQ(ComPortNumber("COM1x"), 0);
    EXPECT_EQ(ComPortNumber("COM"), 0);
}

TEST_F(PortNames, EmptyTreeFallsBackToTtyS) {
    PortScanRoots none{(Root / "nothing").string(), (Root / "nothing").string(),
                       (Root / "nothing").string()};
    EXPECT_TRUE(ListSerialDevices(none).empty());
    EXPECT_EQ(ResolvePortName("COM1", {}, none), (Root / "nothing/ttyS0").string());
}

TEST_F(PortNames, ASystemConsoleIsNeverReachedByPosition) {
    std::ofstream(Root / "consoles") << "ttyS0                -W- (EC  p a)    4:64\n";
    const auto present = ListSerialDevices(Roots);
    EXPECT_EQ(std::count(present.begin(), present.end(), Dev("ttyS0")), 0);
    EXPECT_EQ(present.back(), Dev("ttyS10"));

    // Nothing else there: COM1 reaches no device rather than the console, also when an older
    // version remembered it; named in [Ports] it is opened.
    PortScanRoots bare{(Root / "bare").string(), (Root / "sys").string(), Roots.consoles};
    fs::create_directories(Root / "bare");
    std::ofstream(Root / "bare/ttyS0");
    const PortResolution none =
        ResolvePort("COM1", {}, {{"COM1", (Root / "bare/ttyS0").string()}}, bare);
    EXPECT_EQ(none.device, "");
    EXPECT_EQ(none.console, (Root / "bare/ttyS0").string());
    EXPECT_EQ(ResolvePortName("COM1", {{"COM1", "/dev/ttyS0"}}, bare), "/dev/ttyS0");
    // The kernel's active consoles count too.
    fs::create_directories(Root / "sys/console");
    std::ofstream(Root / "sys/console/active") << "tty0 ttyS10\n";
    EXPECT_TRUE(IsSystemConsole(Dev("ttyS10"), Roots));
    EXPECT_FALSE(IsSystemConsole(Dev("ttyUSB0"), Roots));
}
