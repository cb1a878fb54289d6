// orvik-cli run in-process against orvik-bus-sim on a pseudo-terminal.
#include "cli/Cli.h"
#include "cli/PortList.h"
#include "link/capture/Pcapng.h"
#include "link/protocol/LinkFrame.h"
#include "tests/support/CaptureFile.h"
#include "tests/support/FakeTcpServer.h"
#include "tests/unit/cli/CliFixture.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace orvik;
using namespace orvik::cli;
using nlohmann::json;
using test::Cli;
namespace fs = std::filesystem;

namespace {

TEST_F(Cli, StatusJsonShowsEveryNodeAndNoBusExitsThree) {
    StartSim({});
    ASSERT_EQ(Run({"--json", "status"}), EXIT_DONE) << err.str();
    const json status = json::parse(out.str());
    ASSERT_EQ(status["nodes"].size(), 8u);
    const json& n1 = status["nodes"][0];
    EXPECT_EQ(n1["node"], 1);
    EXPECT_EQ(n1["present"], true);
    ASSERT_EQ(n1["breakers"].size(), 8u);
    EXPECT_EQ(n1["breakers"][0]["on"], true);
    EXPECT_NEAR(n1["breakers"][1]["current"].get<double>(), 4.8, 0.2);
    EXPECT_NEAR(n1["voltage"].get<double>(), 13.4, 0.2);
    EXPECT_EQ(n1["power_on_mask"], 7);
    EXPECT_EQ(n1["wigwag_interval"], 0.5);
    EXPECT_EQ(n1["profile"], "Programmable");
    EXPECT_EQ(status["nodes"][1]["profile"], "Fixed 3");
    EXPECT_EQ(status["nodes"][1]["wigwag"], 3);
    EXPECT_EQ(status["nodes"][3]["dual_led"], true);
    EXPECT_EQ(status["nodes"][2], json::parse(R"({"node":3,"present":false})"));

    sim = nullptr;
    StartSim({"--silence", "0:0"});
    EXPECT_EQ(Run({"status"}), EXIT_NO_BUS);
    EXPECT_NE(err.str().find("no status frame"), std::string::npos);
    port = dir + "/no-such-device";
    EXPECT_EQ(Run({"status"}), EXIT_NO_BUS);
    // A path is named once.
    EXPECT_EQ(err.str(), "orvik-cli: " + port + " is not connected.\n");
}

TEST_F(Cli, APortNameNotWellFormedIsBadUsageAndADeviceNoSerialPortHasAStatusOfItsOwn) {
    for (const std::string bad : {"rfc2217://", "socket://[::1", "COM99"}) {
        port = bad;
        EXPECT_EQ(Run({"status"}), EXIT_USAGE) << bad;
        EXPECT_NE(err.str().find("--port " + bad + ": "), std::string::npos) << err.str();
    }
    port = dir; // a folder
    EXPECT_EQ(Run({"status"}), EXIT_NOT_SERIAL) << err.str();
    EXPECT_NE(err.str().find(dir + " is not a serial port."), std::string::npos) << err.str();
}

TEST_F(Cli, SaveApplyAndRestoreConfirmsEverySettingOfAFullFile) {
    StartSim({});
    const std::string saved = dir + "/node1.ini";
    ASSERT_EQ(Run({"save", "1", saved}), EXIT_DONE) << err.str();

    std::string full = "[Node]\nDoubling=2\nPowerOnMask=0x81\nWigwag=3\nWigwagInterval=12\n"
                       "Flasher=2\nDualLed=1\n";
    for (int b = 1; b <= 8; ++b)
        full += "[Breaker" + std::to_string(b) + "]\nTripCurrent=25\nTripTime=150\n";
    ASSERT_EQ(Run({"--json", "apply", "1", File("full.ini", full)}), EXIT_DONE) << err.str();
    const json results = Results();
    ASSERT_EQ(results.size(), 22u);
    for (const json& r : results)
        EXPECT_EQ(r["result"], "confirmed") << r.dump();

    EXPECT_EQ(Run({"diff", "1", saved}), EXIT_NOT_CONFIRMED);
    EXPECT_NE(out.str().find("22 settings differ"), std::string::npos) << out.str();
    ASSERT_EQ(Run({"apply", "1", saved}), EXIT_DONE) << out.str() << err.str();
    EXPECT_NE(out.str().find("22 confirmed, 0 not confirmed"), std::string::npos) << out.str();
    EXPECT_EQ(Run({"diff", "1", saved}), EXIT_DONE) << out.str();
    EXPECT_EQ(Count(12), 0); // never factory defaults
}

TEST_F(Cli, IgnoredCommandIsNotConfirmedAfterThreeSends) {
    StartSim({"--ignore", "1:11"});
    const std::string file = File("f.ini", "[Node]\nFlasher=2\nDualLed=1\n");
    EXPECT_EQ(Run({"--json", "apply", "1", file}), EXIT_NOT_CONFIRMED);
    const json results = Results();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0]["setting"], "flasher");
    EXPECT_EQ(results[0]["result"], "not confirmed");
    EXPECT_EQ(results[0]["sends"], 3);
    EXPECT_EQ(results[1]["result"], "confirmed");
    EXPECT_NE(err.str().find("not confirmed: flasher"), std::string::npos) << err.str();
    EXPECT_EQ(Count(11), 3);
}

TEST_F(Cli, DoublingOnAFixedProfileIsNotApplicableAndABadFileSendsNothing) {
    StartSim({});
    EXPECT_EQ(Run({"apply", "2", File("bad.ini", "[Node]\nDoubling=1\nFlasher=9\n")}), EXIT_USAGE);
    EXPECT_NE(err.str().find("bad.ini: line 3: Flasher=9 is out of range"), std::string::npos)
        << err.str();
    EXPECT_EQ(Run({"apply", "2", File("d.ini", "[Node]\nDoubling=1\n")}), EXIT_DONE);
    EXPECT_NE(out.str().find("not applicable: needs the programmable profile"), std::string::npos)
        << out.str();
    // Only the reads' setup requests reached the bus.
    EXPECT_EQ(Codes(), std::vector<int>{CMD_REQUEST_BREAKER_SETUP});
}

TEST_F(Cli, SwitchWaitsForTheStatusThatShowsIt) {
    StartSim({"--ignore", "4:6"});
    EXPECT_EQ(Run({"switch", "1", "5", "on"}), EXIT_DONE) << err.str();
    EXPECT_EQ(out.str(), "Orvik node 1 breaker 5 is on.\n");
    EXPECT_EQ(Run({"switch", "4", "3", "on"}), EXIT_NOT_CONFIRMED);
    EXPECT_NE(err.str().find("Orvik node 4 breaker 3 did not show on within 2 s"),
              std::string::npos)
        << err.str();
    EXPECT_EQ(Run({"switch", "3", "1", "on"}), EXIT_NOT_CONFIRMED); // not on the bus
    for (std::vector<std::string> bad : {std::vector<std::string>{"switch", "9", "1", "on"},
                                         {"switch", "1", "1", "up"},
                                         {"apply", "1"},
                                         {"frob"}})
        EXPECT_EQ(Run(bad), EXIT_USAGE) << bad[0];
}

TEST_F(Cli, SaveWritesNothingWithoutTheTripSettingsAndKeepsAForeignFile) {
    StartSim({"--no-setup-reply"});
    const std::string path = dir + "/node1.ini";
    EXPECT_EQ(Run({"save", "1", path}), EXIT_NOT_CONFIRMED);
    EXPECT_NE(err.str().find("did not answer the breaker setup request"), std::string::npos);
    EXPECT_FALSE(fs::exists(path));
    const std::string foreign = File("notes.txt", "brake pads: front\n");
    EXPECT_EQ(Run({"save", "1", foreign}), EXIT_USAGE);
    EXPECT_NE(err.str().find("line 1: not a [section]"), std::string::npos) << err.str();
    std::ifstream in(foreign);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "brake pads: front\n");
}

TEST_F(Cli, CaptureRecordsWhatTheBusSends) {
    StartSim({"--noise", "3"});
    const std::string file = dir + "/line.pcapng";
    EXPECT_EQ(Run({"--json", "capture", file, "--seconds", "1"}), EXIT_DONE);
    const json summary = json::parse(out.str());
    const CaptureReadResult read = ReadPcapngFile(file);
    ASSERT_TRUE(read.Ok()) << read.error;
    EXPECT_EQ(summary["records"], read.packets.size());
    EXPECT_GE(summary["accepted"].get<int>(), 3); // five status frames a second
    const auto accepted = std::count_if(read.packets.begin(), read.packets.end(), [](auto& p) {
        return p.direction == 1 && p.comment == "accepted" && p.bytes.size() == 210;
    });
    EXPECT_EQ(accepted, summary["accepted"].get<long>());
}

TEST_F(Cli, EventsOfTheLiveBusAndExportOfItsRecording) {
    const std::string capture = dir + "/run.pcapng";
    // Node 1's breaker 2 carries 6.0 A against its trip current of 5.0 A: it trips after 2 s.
    StartSim({"--no-drift", "--load", "1:2:60", "--capture", capture, "--run-for", "3500"});
    ASSERT_EQ(Run({"events", "--node", "2"}), EXIT_DONE) << err.str();
    EXPECT_NE(out.str().find("  Orvik node 2 joined the bus\n"), std::string::npos) << out.str();
    EXPECT_EQ(out.str().find("Orvik node 1"), std::string::npos) << out.str();
    ASSERT_EQ(sim->WaitExit(std::chrono::seconds(10)), 0);

    ASSERT_EQ(Run({"--json", "export", capture}), EXIT_DONE) << err.str();
    std::istringstream lines(out.str());
    json trip;
    for (std::string line; std::getline(lines, line);)
        if (json e = json::parse(line); e["kind"] == "fault")
            trip = e;
    EXPECT_EQ(trip["text"], "Orvik node 1, breaker 2: fault (tripped) at 6.0 A") << out.str();
    EXPECT_EQ(trip["values"]["current"], 6.0);

    const std::string csv = dir + "/node1.csv";
    ASSERT_EQ(Run({"export", capture, "--node", "1", "--csv", csv, "--events", dir + "/e.csv"}),
              EXIT_DONE)
        << err.str();
    std::ifstream rows(csv);
    std::string header;
    std::getline(rows, header);
    EXPECT_EQ(header.rfind("Time,Breaker 1 on,Breaker 1 fault,Breaker 1 current (A),", 0), 0u);
    const auto frames = std::count(std::istreambuf_iterator<char>(rows), {}, '\n');
    EXPECT_NE(
        out.str().find(": " + std::to_string(frames) + " status frames, Orvik nodes 1, 2, 4,"),
        std::string::npos)
        << out.str();

    // Cut short: exported up to the break, told on standard error. Not a capture: exit 2.
    std::ifstream in(capture, std::ios::binary);
    std::string bytes(std::istreambuf_iterator<char>(in), {});
    File("cut.pcapng", bytes.substr(0, bytes.size() - 100));
    EXPECT_EQ(Run({"export", dir + "/cut.pcapng"}), EXIT_DONE);
    EXPECT_NE(err.str().find("cut.pcapng: cut short in the block at byte "), std::string::npos)
        << err.str();
    EXPECT_NE(out.str().find("Orvik node 4 joined the bus"), std::string::npos);
    // A damaged block in the middle: skipped, said on standard error, the rest exported.
    std::string damaged = bytes;
    std::size_t block = 0;
    for (int i = 0; i < 10; ++i)
        block += static_cast<unsigned char>(damaged[block + 4]) |
                 static_cast<unsigned char>(damaged[block + 5]) << 8;
    damaged[block + 4] ^= 0x40;
    File("damaged.pcapng", damaged);
    EXPECT_EQ(Run({"export", dir + "/damaged.pcapng"}), EXIT_DONE);
    EXPECT_NE(err.str().find("damaged.pcapng: 1 damaged block skipped\n"), std::string::npos)
        << err.str();
    EXPECT_NE(out.str().find("Orvik node 1, breaker 2: fault (tripped)"), std::string::npos);
    EXPECT_EQ(Run({"export", File("notes.csv", "Time,Node\n")}), EXIT_USAGE);
    EXPECT_NE(err.str().find("notes.csv: not a pcapng capture (no section header) at byte 0"),
              std::string::npos)
        << err.str();
}

TEST(CliPorts, ListsSixteenComNamesOnAFakeDeviceTree) {
    char name[] = "/tmp/orvik-ports-test-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    const fs::path root = name;
    fs::create_directories(root / "dev/serial/by-id");
    std::ofstream(root / "dev/ttyUSB0");
    std::ofstream(root / "dev/ttyACM0");
    fs::create_symlink("../../ttyUSB0", root / "dev/serial/by-id/usb-Bench_0001-if00-port0");
    const PortScanRoots roots{(root / "dev").string(), (root / "sys").string(),
                              (root / "consoles").string()};
    const auto ports =
        ListPorts({{"com3", (root / "dev/ttyUSB9").string()}, {"COM5", "rfc2217://bench-pi:3001"}},
                  {{"COM4", (root / "dev/ttyUSB4").string()}}, roots);
    fs::remove_all(root);

    ASSERT_EQ(ports.size(), 16u);
    EXPECT_EQ(ports[0].name, "COM1");
    EXPECT_EQ(ports[0].device, (root / "dev/serial/by-id/usb-Bench_0001-if00-port0").string());
    EXPECT_TRUE(ports[0].present);
    EXPECT_EQ(ports[1].device, (root / "dev/ttyACM0").string());
    EXPECT_TRUE(ports[1].present);
    EXPECT_EQ(ports[2].device, (root / "dev/ttyUSB9").string()); // the [Ports] entry
    EXPECT_FALSE(ports[2].present);
    EXPECT_TRUE(ports[3].remembered); // where COM4 was found before, also while absent
    EXPECT_FALSE(ports[3].present);
    EXPECT_EQ(ports[15].device, (root / "dev/ttyS15").string());
    EXPECT_EQ(PortLine(ports[4]),
              "COM5   rfc2217://bench-pi:3001                            network");
    EXPECT_EQ(PortLine(ports[2]).substr(PortLine(ports[2]).size() - 11), "not present");
}

} // namespace

TEST_F(Cli, ABusOnTheNetworkIsReadAndSwitchedLikeALocalOne) {
    const std::string url =
        "socket://127.0.0.1:" + std::to_string(test::FakeTcpServer::RefusingPort());
    port = url; // nothing there yet
    EXPECT_EQ(Run({"status"}), EXIT_NO_BUS);
    EXPECT_NE(err.str().find(url + " refused the connection"), std::string::npos) << err.str();

    StartSim({"--listen", "tcp:" + url.substr(url.rfind(':') + 1)});
    EXPECT_EQ(port, url); // the simulator names where it listens
    ASSERT_EQ(Run({"--json", "status"}), EXIT_DONE) << err.str();
    EXPECT_EQ(json::parse(out.str())["nodes"][0]["present"], true);
    EXPECT_EQ(Run({"switch", "1", "5", "on"}), EXIT_DONE) << err.str();
    EXPECT_EQ(Count(CMD_SWITCH_BREAKER), 1);
}
