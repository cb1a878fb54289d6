// orvik-cli run in-process against orvik-bus-sim on a pseudo-terminal: the fixture of its tests.
#pragma once

#include "cli/Cli.h"
#include "tests/support/ChildProcess.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace orvik::test {

namespace fs = std::filesystem;
using cli::RunCli;
using nlohmann::json;

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/orvik-cli-test-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
    }
    void TearDown() override {
        sim.reset();
        fs::remove_all(dir);
    }
    void StartSim(std::vector<std::string> args) {
        args.insert(args.end(), {"--log", dir + "/sim.log"});
        sim = std::make_unique<SimProcess>(args);
        ASSERT_TRUE(sim->Started());
        port = sim->ReadLine();
        ASSERT_FALSE(port.empty());
    }
    int Run(std::vector<std::string> args) {
        args.insert(args.begin(), {"orvik-cli", "--port", port});
        std::vector<const char*> argv;
        for (const auto& a : args)
            argv.push_back(a.c_str());
        out.str("");
        err.str("");
        return RunCli(static_cast<int>(argv.size()), argv.data(), out, err);
    }
    std::string File(const std::string& name, const std::string& text) {
        std::ofstream(dir + "/" + name) << text;
        return dir + "/" + name;
    }
    // Command codes the simulator received, in order.
    std::vector<int> Codes() {
        std::vector<int> codes;
        std::ifstream log(dir + "/sim.log");
        for (std::string line; std::getline(log, line);)
            codes.push_back(json::parse(line)["code"].get<int>());
        return codes;
    }
    int Count(int code) {
        const auto codes = Codes();
        return static_cast<int>(std::count(codes.begin(), codes.end(), code));
    }
    json Results() { return json::parse(out.str())["results"]; }

    std::string dir;
    std::string port;
    std::unique_ptr<SimProcess> sim;
    std::ostringstream out;
    std::ostringstream err;
};

} // namespace orvik::test
