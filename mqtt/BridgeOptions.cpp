#include "mqtt/BridgeOptions.h"

#include "link/base/IniFile.h"
#include "link/base/PrintableText.h"
#include "link/base/RegularFile.h"
#include "link/line/PortOpen.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <sys/stat.h>

namespace orvik::mqtt {

namespace {

constexpr std::uint64_t CONFIG_FILE_LIMIT = 64 * 1024;
constexpr std::uint64_t TLS_FILE_LIMIT = 1024 * 1024;
constexpr const char* PASSWORD_ENV = "ORVIK_MQTT_PASSWORD";
constexpr const char* CREDENTIALS_ENV = "CREDENTIALS_DIRECTORY";
constexpr const char* NO_PASSWORD_HERE =
    "a password is never taken on the command line or in the configuration file; use "
    "--password-file FILE or ORVIK_MQTT_PASSWORD";

struct Option {
    const char* name;
    const char* value; // what --help calls its value; nullptr for a flag
    const char* help;
};

// Options of the command line that are also keys of the configuration file.
constexpr Option OPTIONS[] = {
    {"broker", "URL", "mqtt://HOST[:PORT] or mqtts://HOST[:PORT]\n(default mqtt://localhost)"},
    {"port", "NAME",
     "COM3, a device path, rfc2217://HOST:PORT or\nsocket://HOST:PORT (default: the program's "
     "port)"},
    {"base", "TOPIC", "the topics' base (default orvik/<host name>)"},
    {"client-id", "ID", "the client's name at the broker\n(default orvik-mqtt- and the base)"},
    {"interval", "SECONDS", "a node's state at most this often (default 1)"},
    {"no-discovery", nullptr, "no Home Assistant discovery"},
    {"discovery-prefix", "P", "the discovery topics' prefix (default homeassistant)"},
    {"allow-switching", nullptr, "take ON and OFF for breakers from the broker"},
    {"no-setup-requests", nullptr,
     "never ask a node for its breaker setup (its faults\nthen carry no trip settings)"},
    {"cafile", "FILE", "TLS with an mqtts:// broker: the certificate authority"},
    {"cert", "FILE", "TLS: the client's certificate"},
    {"key", "FILE", "TLS: the client certificate's key"},
    {"username", "NAME", "the user at the broker"},
    {"password-file", "FILE",
     "its password, the file's first line (or the\nenvironment's ORVIK_MQTT_PASSWORD)"},
    {"verbose", nullptr, "tell each publish"},
};

const Option* FindOption(const std::string& name) {
    for (const Option& o : OPTIONS)
        if (name == o.name)
            return &o;
    return nullptr;
}

// "yes", "true", "on", "1" and their opposites, as a configuration file says a flag.
int FlagValue(std::string value) {
    for (char& c : value)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (value == "yes" || value == "true" || value == "on" || value == "1")
        return 1;
    if (value == "no" || value == "false" || value == "off" || value == "0")
        return 0;
    return -1;
}

struct Value {
    std::string text;  // "yes" for a flag
    std::string where; // "FILE line N: " for a key of the configuration file
};
using Given = std::map<std::string, Value>;

// How a message names where a value came from: "--interval", or "FILE line N: interval".
std::string Named(const Given& given, const std::string& name) {
    const auto it = given.find(name);
    return it != given.end() && !it->second.where.empty() ? it->second.where + name : "--" + name;
}

// The command line into `given`; `config` gets --config. "" or what is wrong; `help` gets what
// --help or --version prints.
std::string ReadCommandLine(const std::vector<std::string>& args, Given& given, std::string& config,
                            std::string& help) {
    CLI::App app{"Publishes one bus of Orvik modules to an MQTT broker, with Home Assistant "
                 "discovery.",
                 "orvik-mqtt"};
    app.set_version_flag("--version", "orvik-mqtt " ORVIK_VERSION);
    app.footer("Each option is also a key of the --config file, without its dashes.\n"
               "Exit status: 0 stopped; 2 bad usage, a bad configuration file or a port name\n"
               "that is not well formed; 3 the port cannot be opened; 4 the port is no serial\n"
               "port. The service tries again after 3 only.");
    app.allow_extras(); // named below in our words
    // An option given twice: the last counts. A flag takes no value.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.option_defaults()->disable_flag_override();
    app.add_option("--config", config, "options as keys of an INI file; the command line wins")
        ->type_name("FILE");
    for (const Option& o : OPTIONS) {
        const std::string name = o.name;
        if (o.value)
            app.add_option_function<std::string>(
                   "--" + name, [&given, name](const std::string& v) { given[name].text = v; },
                   o.help)
                ->type_name(o.value);
        else
            app.add_flag_function(
                "--" + name, [&given, name](std::int64_t) { given[name].text = "yes"; }, o.help);
    }
    try {
        app.parse(std::vector<std::string>(args.rbegin(), args.rend()));
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() != static_cast<int>(CLI::ExitCodes::Success))
            return std::string(e.what()) + " (try --help)";
        std::ostringstream out;
        app.exit(e, out, out);
        help = out.str();
        return "";
    }
    if (app.remaining().empty())
        return "";
    const std::string arg = app.remaining().front();
    const std::string name = arg.substr(0, arg.find('='));
    if (name == "--password")
        return "--password: " + std::string(NO_PASSWORD_HERE);
    return "\"" + PrintableText(name.rfind("--", 0) == 0 ? name : arg) +
           "\" is no option (try --help)";
}

// The keys of the configuration file that the command line did not give.
std::string ReadConfigFile(const std::string& path, Given& given) {
    std::string error;
    const auto text = ReadRegularFile(path, CONFIG_FILE_LIMIT, error);
    if (!text)
        return path + ": " + error;
    Given fromFile;
    for (const IniLine& line : IniFile(*text).Lines()) {
        const std::string where = path + " line " + std::to_string(line.number) + ": ";
        switch (line.kind) {
        case IniLine::Kind::Section:
            if (line.name != "mqtt")
                return where + "[" + PrintableText(line.name) +
                       "] is no section of orvik-mqtt; "
                       "its keys go in [mqtt] or before any section";
            break;
        case IniLine::Kind::Key: {
            if (line.name == "password")
                return where + NO_PASSWORD_HERE;
            const Option* o = FindOption(line.name);
            if (!o)
                return where + "\"" + PrintableText(line.name) + "\" is no key of orvik-mqtt";
            std::string value = line.value;
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                value.back() == value.front())
                value = value.substr(1, value.size() - 2);
            if (!o->value) {
                const int flag = FlagValue(value);
                if (flag < 0)
                    return where + line.name + " is yes or no";
                if (flag == 0)
                    continue;
                value = "yes";
            }
            fromFile[line.name] = {value, where};
            break;
        }
        case IniLine::Kind::Other:
            return where + "\"" + PrintableText(line.text) + "\" is no key = value";
        default:
            break;
        }
    }
    for (auto& [name, value] : fromFile)
        given.try_emplace(name, value);
    return "";
}

std::string ReadPassword(const Given& given, const OptionSources& sources, BridgeOptions& out,
                         std::vector<std::string>& warnings) {
    // Under systemd, a password handed over as the service's credential "password"
    // (LoadCredential=password:FILE): private to the service, whatever its user.
    if (const char* dir = sources.environment ? sources.environment(CREDENTIALS_ENV) : nullptr;
        out.passwordFile.empty() && dir && *dir) {
        std::error_code ec;
        const std::string path = std::string(dir) + "/password";
        if (std::filesystem::is_regular_file(path, ec))
            out.passwordFile = path;
    }
    if (!out.passwordFile.empty()) {
        std::string error;
        const auto text = ReadRegularFile(out.passwordFile, CONFIG_FILE_LIMIT, error);
        if (!text)
            return Named(given, "password-file") + " " + out.passwordFile + ": " + error;
        out.password = text->substr(0, text->find_first_of("\r\n"));
        if (out.password.empty())
            return Named(given, "password-file") + " " + out.passwordFile +
                   ": its first line, the password, is empty";
#ifndef _WIN32
        struct stat st {};
        if (::stat(out.passwordFile.c_str(), &st) == 0 && (st.st_mode & S_IROTH))
            warnings.push_back(out.passwordFile + " may be read by every user of this computer");
#endif
    } else if (const char* env =
                   sources.environment ? sources.environment(PASSWORD_ENV) : nullptr) {
        out.password = env;
    }
    if (!out.password.empty() && out.username.empty())
        return "a password needs --username";
    return "";
}

std::string Apply(const Given& given, const OptionSources& sources, BridgeOptions& out) {
    for (const auto& [name, value] : given)
        if (value.text.empty() && FindOption(name) && FindOption(name)->value)
            return Named(given, name) + ": no value";
    auto get = [&](const char* name, std::string& field) {
        if (auto it = given.find(name); it != given.end())
            field = it->second.text;
    };
    get("broker", out.broker);
    get("port", out.port);
    get("base", out.base);
    get("client-id", out.clientId);
    get("discovery-prefix", out.discoveryPrefix);
    get("cafile", out.cafile);
    get("cert", out.cert);
    get("key", out.key);
    get("username", out.username);
    get("password-file", out.passwordFile);
    out.discovery = !given.count("no-discovery");
    out.allowSwitching = given.count("allow-switching") > 0;
    out.setupRequests = !given.count("no-setup-requests");
    out.verbose = given.count("verbose") > 0;
    if (auto it = given.find("interval"); it != given.end()) {
        char* end = nullptr;
        const std::string& text = it->second.text;
        const double v = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || !std::isfinite(v) || v < 0.1 || v > 3600)
            return Named(given, "interval") + ": a number of seconds from 0.1 to 3600";
        out.interval = v;
    }
    if (const std::string why = PortNameProblem(out.port); !out.port.empty() && !why.empty())
        return Named(given, "port") + " " + PrintableText(out.port) + ": " + why;
    if (const std::string why = ParseBrokerUrl(out.broker, out.address); !why.empty())
        return Named(given, "broker") + " " + PrintableText(out.broker) + ": " + why;
    if (out.base.empty()) {
        std::string host;
        for (char c : sources.hostName)
            host += (c == '/' || c == '+' || c == '#') ? '_' : c;
        out.base = "orvik/" + (host.empty() ? std::string("orvik") : host);
    }
    if (!TopicPrefixOk(out.base))
        return Named(given, "base") + " " + PrintableText(out.base) +
               ": a topic without +, #, empty levels or a slash at either end";
    if (out.discovery && !TopicPrefixOk(out.discoveryPrefix))
        return Named(given, "discovery-prefix") + " " + PrintableText(out.discoveryPrefix) +
               ": a topic without +, #, empty levels or a slash at either end";
    if (out.clientId.empty()) {
        out.clientId = "orvik-mqtt-" + out.base;
        for (char& c : out.clientId)
            if (c == '/')
                c = '-';
    }
    if ((!out.cafile.empty() || !out.cert.empty()) && !out.address.tls)
        return Named(given, out.cafile.empty() ? "cert" : "cafile") +
               ": --cafile and --cert need an mqtts:// broker";
    if (out.cert.empty() != out.key.empty())
        return Named(given, out.cert.empty() ? "key" : "cert") + ": --cert and --key go together";
    // The broker's library reads these only when it connects, and then says no more than that
    // its arguments are invalid; a missing file is told here, once.
    for (const char* name : {"cafile", "cert", "key"}) {
        const auto it = given.find(name);
        std::string error;
        if (it != given.end() && !ReadRegularFile(it->second.text, TLS_FILE_LIMIT, error))
            return Named(given, name) + " " + PrintableText(it->second.text) + ": " + error;
    }
    return "";
}

} // namespace

std::string ParseBrokerUrl(const std::string& url, BrokerAddress& out) {
    std::string rest;
    if (url.rfind("mqtt://", 0) == 0) {
        out = {false, "", 1883};
        rest = url.substr(7);
    } else if (url.rfind("mqtts://", 0) == 0) {
        out = {true, "", 8883};
        rest = url.substr(8);
    } else {
        return "a broker is mqtt://HOST[:PORT] or mqtts://HOST[:PORT]";
    }
    if (!rest.empty() && rest.back() == '/')
        rest.pop_back();
    std::string port;
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string::npos)
            return "no ] after the address";
        out.host = rest.substr(1, close - 1);
        if (close + 1 < rest.size()) {
            if (rest[close + 1] != ':')
                return "a port follows a colon";
            port = rest.substr(close + 2);
            if (port.empty())
                return "no port after the colon";
        }
    } else {
        const std::size_t colon = rest.find(':');
        out.host = rest.substr(0, colon);
        if (colon != std::string::npos) {
            port = rest.substr(colon + 1);
            if (port.empty())
                return "no port after the colon";
        }
    }
    if (out.host.empty() || out.host.find_first_of("/?#@ ") != std::string::npos)
        return "no host name";
    if (!port.empty()) {
        if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(port) < 1 || std::stoi(port) > 65535)
            return "the port is a number from 1 to 65535";
        out.port = std::stoi(port);
    }
    return "";
}

bool TopicPrefixOk(const std::string& topic) {
    if (topic.empty() || topic.front() == '/' || topic.back() == '/' ||
        topic.find("//") != std::string::npos)
        return false;
    for (char c : topic)
        if (c == '+' || c == '#' || c == '\0')
            return false;
    return true;
}

OptionsResult ParseBridgeOptions(const std::vector<std::string>& args, const OptionSources& sources,
                                 BridgeOptions& out) {
    OptionsResult r;
    Given given;
    std::string config;
    r.error = ReadCommandLine(args, given, config, r.help);
    if (r.error.empty() && r.help.empty() && !config.empty())
        r.error = ReadConfigFile(config, given);
    if (r.error.empty() && r.help.empty())
        r.error = Apply(given, sources, out);
    if (r.error.empty() && r.help.empty())
        r.error = ReadPassword(given, sources, out, r.warnings);
    r.ok = r.error.empty();
    return r;
}

} // namespace orvik::mqtt
