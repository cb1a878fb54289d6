// orvik-mqtt's options, configuration file and command topics: what comes from outside.
#include "mqtt/BridgeOptions.h"
#include "mqtt/CommandRate.h"
#include "mqtt/CommandTopic.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace orvik::mqtt;
namespace fs = std::filesystem;

namespace {

class MqttOptions : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/orvik-mqtt-test-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string File(const std::string& name, const std::string& text) {
        std::ofstream(dir + "/" + name) << text;
        return dir + "/" + name;
    }
    OptionsResult Parse(std::vector<std::string> args, const char* envPassword = nullptr) {
        options = {};
        env = envPassword;
        OptionSources sources{[this](const char* name) {
                                  return std::string_view(name) == "CREDENTIALS_DIRECTORY"
                                             ? credentials
                                             : env;
                              },
                              "bench-pc"};
        return ParseBridgeOptions(args, sources, options);
    }

    std::string dir;
    const char* env = nullptr;
    const char* credentials = nullptr;
    BridgeOptions options;
};

TEST_F(MqttOptions, TheCommandLineWinsOverTheFileAndDefaultsFollowTheHost) {
    const std::string config = File("van12.conf", "# van 12\n"
                                                  "broker = mqtts://broker.fleet:8884\n"
                                                  "[mqtt]\n"
                                                  "base = fleet/van12\n"
                                                  "interval = 5\n"
                                                  "allow-switching = yes\n"
                                                  "username = \"van12\"\n");
    ASSERT_TRUE(Parse({"--config", config, "--interval=0.5", "--port", "COM3"}).ok);
    EXPECT_TRUE(options.address.tls);
    EXPECT_EQ(options.address.host, "broker.fleet");
    EXPECT_EQ(options.address.port, 8884);
    EXPECT_EQ(options.base, "fleet/van12");
    EXPECT_EQ(options.clientId, "orvik-mqtt-fleet-van12");
    EXPECT_DOUBLE_EQ(options.interval, 0.5);
    EXPECT_TRUE(options.allowSwitching);
    EXPECT_EQ(options.username, "van12");
    EXPECT_EQ(options.port, "COM3");

    ASSERT_TRUE(Parse({}).ok);
    EXPECT_EQ(options.base, "orvik/bench-pc");
    EXPECT_EQ(options.address.host, "localhost");
    EXPECT_EQ(options.address.port, 1883);
    EXPECT_TRUE(options.discovery);
    EXPECT_EQ(options.discoveryPrefix, "homeassistant");
    EXPECT_FALSE(options.allowSwitching);
}

TEST_F(MqttOptions, APasswordComesOnlyFromAFileOrTheEnvironment) {
    EXPECT_NE(Parse({"--password", "x"}).error.find("never taken on the command line"),
              std::string::npos);
    EXPECT_NE(Parse({"--password=x"}).error.find("never taken"), std::string::npos);
    const std::string inConfig = File("a.conf", "username = u\npassword = x\n");
    EXPECT_EQ(Parse({"--config", inConfig}).error,
              inConfig + " line 2: a password is never taken on the command line or in the "
                         "configuration file; use --password-file FILE or ORVIK_MQTT_PASSWORD");

    const std::string file = File("pw", "first line\r\nsecond\n");
    fs::permissions(file, fs::perms::owner_read);
    ASSERT_TRUE(Parse({"--username", "u", "--password-file", file}, "from env").ok);
    EXPECT_EQ(options.password, "first line");
    ASSERT_TRUE(Parse({"--username", "u"}, "from env").ok);
    EXPECT_EQ(options.password, "from env");
    EXPECT_EQ(Parse({}, "from env").error, "a password needs --username");
    fs::permissions(file, fs::perms::others_read, fs::perm_options::add);
    const OptionsResult open = Parse({"--username", "u", "--password-file", file});
    ASSERT_TRUE(open.ok);
    ASSERT_EQ(open.warnings.size(), 1u);
    EXPECT_NE(open.warnings[0].find("may be read by every user"), std::string::npos);

    // A service's credential "password" (systemd's LoadCredential=) comes before the
    // environment; an empty folder of credentials leaves the environment's.
    fs::create_directories(dir + "/credentials");
    const std::string cred = dir + "/credentials";
    credentials = cred.c_str();
    ASSERT_TRUE(Parse({"--username", "u"}, "from env").ok);
    EXPECT_EQ(options.password, "from env");
    File("credentials/password", "handed over\n");
    ASSERT_TRUE(Parse({"--username", "u"}, "from env").ok);
    EXPECT_EQ(options.password, "handed over");
}

TEST_F(MqttOptions, WhatIsWrongIsNamed) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--interval", "0"}, "--interval: a number of seconds from 0.1 to 3600"},
        {{"--broker", "tcp://x"}, "a broker is mqtt://HOST[:PORT] or mqtts://HOST[:PORT]"},
        {{"--broker", "mqtt://x:70000"}, "the port is a number from 1 to 65535"},
        {{"--base", "orvik/+"}, "--base orvik/+: a topic without +, #"},
        {{"--discovery-prefix", "/ha"}, "a topic without +"},
        {{"--cafile", "ca.pem"}, "--cafile and --cert need an mqtts:// broker"},
        {{"--broker", "mqtts://x", "--cert", "c.pem"}, "--cert and --key go together"},
        {{"--frobnicate"}, "\"--frobnicate\" is no option"},
        {{"--config", "/nonexistent.conf"}, "/nonexistent.conf: does not exist"},
    };
    for (const auto& [args, error] : cases) {
        const OptionsResult r = Parse(args);
        EXPECT_FALSE(r.ok) << args[0];
        EXPECT_NE(r.error.find(error), std::string::npos) << r.error;
    }
    const std::string config = File("b.conf", "base = x\n[serial]\nport = COM1\n");
    EXPECT_EQ(Parse({"--config", config}).error,
              config + " line 2: [serial] is no section of orvik-mqtt; its keys go in [mqtt] or "
                       "before any section");
    const std::string key = File("c.conf", "verbose = perhaps\n");
    EXPECT_EQ(Parse({"--config", key}).error, key + " line 1: verbose is yes or no");

    BrokerAddress a;
    EXPECT_EQ(ParseBrokerUrl("mqtt://[::1]:1884/", a), "");
    EXPECT_EQ(a.host, "::1");
    EXPECT_EQ(a.port, 1884);
}

TEST_F(MqttOptions, ABadValueInTheFileNamesTheFileAndItsLine) {
    const std::string config = File("d.conf", "[mqtt]\nbase = fleet/van12\ninterval = 0\n");
    EXPECT_EQ(Parse({"--config", config}).error,
              config + " line 3: interval: a number of seconds from 0.1 to 3600");
}

TEST_F(MqttOptions, WhatCanBeCheckedAtTheStartIsRefusedThereNamingTheFile) {
    const std::string pem = File("client.pem", "-----BEGIN CERTIFICATE-----\n");
    const std::string empty = File("password", "\nsecond line\n");
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--broker", "mqtts://x", "--cafile", dir + "/ca.pem"},
         "--cafile " + dir + "/ca.pem: does not exist"},
        {{"--broker", "mqtts://x", "--cert", pem, "--key", dir}, "--key " + dir + ": is a folder"},
        {{"--port", "COM99"}, "--port COM99: the COM names are COM1 to COM16"},
        {{"--port", "socket://[::1"}, "--port socket://[::1: not a network port name"},
        {{"--username", "van12", "--password-file", empty},
         "--password-file " + empty + ": its first line, the password, is empty"},
    };
    for (const auto& [args, error] : cases) {
        const OptionsResult r = Parse(args);
        EXPECT_FALSE(r.ok) << args[1];
        EXPECT_NE(r.error.find(error), std::string::npos) << r.error;
    }
    const std::string base = File("e.conf", "[mqtt]\nbase =\n");
    EXPECT_EQ(Parse({"--config", base}).error, base + " line 2: base: no value");
    const std::string tls = File("f.conf", "broker = mqtts://x\ncert = /nonexistent.pem\n"
                                           "key = /nonexistent.key\n");
    EXPECT_EQ(Parse({"--config", tls}).error,
              tls + " line 2: cert /nonexistent.pem: does not exist");
}

TEST(MqttCommandTopic, OnlyOnOrOffForBreakersOneToEightOfTheBase) {
    struct Case {
        const char* topic;
        const char* payload;
        int node; // 0: refused
        int breaker;
        bool on;
        const char* problem;
    };
    const Case cases[] = {
        {"van/node/3/breaker/5/set", "ON", 3, 5, true, ""},
        {"van/node/3/breaker/5/set", "on", 0, 0, false, "\"on\" is no command"},
        {"van/node/3/breaker/5/set", "ON\n", 0, 0, false, "\"ON\\x0A\" is no command"},
        {"van/node/3/breaker/5/set", "", 0, 0, false, "\"\" is no command"},
        {"van/node/9/breaker/5/set", "ON", 0, 0, false, "numbered 1 to 8"},
        {"van/node/3/breaker/10/set", "ON", 0, 0, false, "numbered 1 to 8"},
        {"van/node/3/breaker/5/set/x", "ON", 0, 0, false, "no command topic"},
        {"van/node/3/trip/5/set", "ON", 0, 0, false, "no command topic"},
        {"vanx/node/3/breaker/5/set", "ON", 0, 0, false, "no command topic"},
        {"van", "ON", 0, 0, false, "no command topic"},
    };
    for (const Case& c : cases) {
        const BreakerCommand r = ParseBreakerCommand("van", c.topic, c.payload);
        EXPECT_EQ(r.ok, c.node != 0) << c.topic;
        if (r.ok) {
            EXPECT_EQ(r.node, c.node);
            EXPECT_EQ(r.breaker, c.breaker);
            EXPECT_EQ(r.on, c.on);
        } else {
            EXPECT_NE(r.problem.find(c.problem), std::string::npos) << r.problem;
        }
    }
    // A long payload is named only in part.
    const BreakerCommand longOne =
        ParseBreakerCommand("van", "van/node/1/breaker/1/set", std::string(5000, 'A'));
    EXPECT_LT(longOne.problem.size(), 200u);
}

TEST(MqttCommandTopic, ReadSettingsIsPRESSOnANodesOwnTopic) {
    EXPECT_EQ(ParseReadSettings("van", "van/node/3/read_settings", "PRESS").node, 3);
    EXPECT_TRUE(ParseReadSettings("van", "van/node/3/read_settings", "PRESS").ok);
    EXPECT_NE(ParseReadSettings("van", "van/node/3/read_settings", "ON")
                  .problem.find("Orvik node 3: \"ON\" is no press"),
              std::string::npos);
    EXPECT_NE(ParseReadSettings("van", "van/node/0/read_settings", "PRESS")
                  .problem.find("numbered 1 to 8"),
              std::string::npos);
    for (const char* topic : {"van/node/3/read_settings/x", "van/node/3/breaker/5/set",
                              "vanx/node/3/read_settings", "van/node/3"})
        EXPECT_NE(ParseReadSettings("van", topic, "PRESS").problem.find("no command topic"),
                  std::string::npos)
            << topic;
}

TEST(MqttCommandRate, TenASecondAndNoMore) {
    CommandRate rate;
    for (int i = 0; i < 10; ++i)
        EXPECT_TRUE(rate.Admit(1000 + i));
    EXPECT_FALSE(rate.Admit(1500));
    EXPECT_FALSE(rate.Admit(1999));
    EXPECT_TRUE(rate.Admit(2000)); // the first of the ten is a second old
    EXPECT_FALSE(rate.Admit(2000));
    EXPECT_TRUE(rate.Admit(2001));
}

} // namespace
