// save, diff and apply: node settings files against a node on the bus.
#include "cli/Cli.h"
#include "cli/CliCommands.h"
#include "link/nodefiles/NodeApply.h"
#include "link/nodefiles/NodeSettingsFile.h"

#include <cstdio>
#include <optional>

namespace orvik::cli {

namespace {

std::string NodeName(int node) {
    return "Orvik node " + std::to_string(node);
}

std::optional<NodeSettingsFile> LoadFile(const CliContext& ctx, const std::string& path) {
    std::string error;
    auto file = LoadNodeSettingsFile(path, error);
    if (!file) {
        ctx.Fail(path + ": " + error + "; nothing sent");
        return std::nullopt;
    }
    return file;
}

// Reads the node's settings into `read`. Returns EXIT_DONE, or the exit status of a failure.
int ReadNode(const CliContext& ctx, BusSession& bus, NodeRead& read) {
    bus.OnStatus = [&read](LinkTime t) { read.OnStatus(t); };
    bus.OnSetup = [&read](LinkTime t) { read.OnSetupStored(t); };
    bus.OnTick = [&read](LinkTime t) { read.Tick(t); };
    read.Start(LinkClock::now());
    bus.RunUntil([&read] { return read.Finished(); }, LinkClock::now() + 2 * REPLY_WAIT);
    bus.OnStatus = bus.OnSetup = bus.OnTick = nullptr;
    switch (read.GetState()) {
    case NodeRead::State::Read:
        if (!read.TripSettingsRead())
            ctx.Fail(read.Problem() + "; its trip settings are not known");
        return EXIT_DONE;
    case NodeRead::State::NoStatus:
        ctx.Fail(read.Problem());
        return EXIT_NO_BUS;
    case NodeRead::State::NotOnBus:
        ctx.Fail(read.Problem());
        return EXIT_NOT_CONFIRMED;
    case NodeRead::State::Reading:
        break;
    }
    ctx.Fail("interrupted");
    return EXIT_NOT_CONFIRMED;
}

std::string Reading(SettingId id, const std::optional<std::uint16_t>& v) {
    return v ? SettingReading(id, *v) : "not known";
}

Json ValueJson(const std::optional<std::uint16_t>& v) {
    return v ? Json(*v) : Json(nullptr);
}

Json DifferenceJson(const SettingDifference& d) {
    return {{"setting", SettingName(d.id)},
            {"section", SettingSection(d.id)},
            {"key", SettingKey(d.id)},
            {"now", ValueJson(d.now)},
            {"file", d.file}};
}

std::string Row(const std::string& setting, const std::string& now, const std::string& file,
                const std::string& result = {}) {
    char line[256];
    std::snprintf(line, sizeof line, "  %-23s %-29s %-29s %s", setting.c_str(), now.c_str(),
                  file.c_str(), result.c_str());
    std::string s = line;
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s + "\n";
}

std::string DifferenceRow(const SettingDifference& d, const std::string& result = {}) {
    return Row(SettingName(d.id), Reading(d.id, d.now), SettingReading(d.id, d.file), result);
}

// Whether the outcome was still open, or given up, when the line was lost.
bool Unsettled(const SettingOutcome& o, bool lost) {
    return o.result == ApplyResult::Pending || (lost && o.result == ApplyResult::NotConfirmed);
}

std::string ResultText(const SettingOutcome& o) {
    if (o.result == ApplyResult::Pending)
        return "not confirmed: stopped";
    std::string text = ApplyResultText(o.result);
    if (o.result == ApplyResult::NotConfirmed)
        text += " after " + std::to_string(o.sends) + (o.sends == 1 ? " send" : " sends");
    else if (o.result == ApplyResult::NotApplicable)
        text += ": needs the programmable profile";
    return text;
}

} // namespace

int SaveCommand(const CliContext& ctx, int node, const std::string& path) {
    if (std::string error; !CheckNodeSettingsTarget(path, error)) {
        ctx.Fail(path + ": " + error);
        return EXIT_USAGE;
    }
    BusSession bus(ctx.stop);
    bus.SetNode(node);
    if (const int rc = OpenBus(ctx, bus))
        return rc;
    NodeRead read(bus.Link(), node);
    if (const int rc = ReadNode(ctx, bus, read))
        return rc;
    if (!read.TripSettingsRead()) {
        ctx.Fail("nothing saved");
        return EXIT_NOT_CONFIRMED;
    }
    std::string error;
    std::vector<std::string> skipped;
    if (!SaveNodeSettingsFile(path, read.Settings(), error, &skipped)) {
        ctx.Fail(path + ": " + error);
        return EXIT_USAGE;
    }
    if (ctx.json)
        ctx.Print({{"node", node}, {"file", path}, {"saved", true}, {"not_saved", skipped}});
    else
        ctx.out << "Saved the settings of " << NodeName(node) << " to " << path << "." << std::endl;
    std::string list;
    for (const auto& s : skipped)
        list += (list.empty() ? "" : ", ") + s;
    if (!list.empty())
        ctx.Fail("not saved, as no command sets such a value: " + list);
    return list.empty() ? EXIT_DONE : EXIT_NOT_CONFIRMED;
}

int DiffCommand(const CliContext& ctx, int node, const std::string& path) {
    const auto file = LoadFile(ctx, path);
    if (!file)
        return EXIT_USAGE;
    BusSession bus(ctx.stop);
    bus.SetNode(node);
    if (const int rc = OpenBus(ctx, bus))
        return rc;
    NodeRead read(bus.Link(), node);
    if (const int rc = ReadNode(ctx, bus, read))
        return rc;
    const auto differences = CompareSettings(read.Settings(), file->settings);
    if (ctx.json) {
        Json list = Json::array();
        for (const auto& d : differences)
            list.push_back(DifferenceJson(d));
        ctx.Print({{"node", node}, {"file", path}, {"differences", std::move(list)}});
    } else if (differences.empty()) {
        ctx.out << NodeName(node) << " matches " << path << "." << std::endl;
    } else {
        ctx.out << NodeName(node) << " and " << path << ": " << differences.size()
                << (differences.size() == 1 ? " setting differs" : " settings differ") << "\n"
                << Row("setting", "node", "file");
        for (const auto& d : differences)
            ctx.out << DifferenceRow(d);
        ctx.out.flush();
    }
    return differences.empty() ? EXIT_DONE : EXIT_NOT_CONFIRMED;
}

int ApplyCommand(const CliContext& ctx, int node, const std::string& path, bool dryRun) {
    const auto file = LoadFile(ctx, path);
    if (!file)
        return EXIT_USAGE;
    BusSession bus(ctx.stop);
    bus.SetNode(node);
    if (const int rc = OpenBus(ctx, bus))
        return rc;
    NodeRead read(bus.Link(), node);
    if (const int rc = ReadNode(ctx, bus, read))
        return rc;
    NodeApply apply(bus.Link(), node, read.Settings(), file->settings);
    const std::size_t count = apply.Outcomes().size();

    if (!dryRun && count > 0) {
        if (!ctx.json)
            ctx.out << NodeName(node) << ": " << count << (count == 1 ? " setting" : " settings")
                    << " to change from " << path << std::endl;
        bus.OnStatus = [&apply](LinkTime t) { apply.OnStatus(t); };
        bus.OnSetup = [&apply](LinkTime t) { apply.OnSetupStored(t); };
        bus.OnTick = [&apply](LinkTime t) { apply.Tick(t); };
        apply.Start(LinkClock::now());
        // Every send is settled within a bounded number of status frames or seconds, unless
        // the line goes: what was not confirmed by then is left at that.
        bus.RunUntil([&] { return apply.Finished() || bus.LineWasLost(); },
                     LinkClock::now() + std::chrono::seconds(60));
        bus.OnStatus = bus.OnSetup = bus.OnTick = nullptr;
    }

    const bool lost = bus.LineWasLost();
    std::string unconfirmed;
    int counts[4] = {};
    Json results = Json::array();
    for (const SettingOutcome& o : apply.Outcomes()) {
        ++counts[static_cast<int>(o.result)];
        if (!dryRun && o.result != ApplyResult::Confirmed && o.result != ApplyResult::NotApplicable)
            unconfirmed += (unconfirmed.empty() ? "" : ", ") + SettingName(o.difference.id);
        Json j = DifferenceJson(o.difference);
        if (dryRun) {
            j["applicable"] = o.result != ApplyResult::NotApplicable;
        } else {
            j["result"] = Unsettled(o, lost) ? (lost ? "line lost" : "not confirmed")
                                             : ApplyResultText(o.result);
            j["sends"] = o.sends;
        }
        results.push_back(std::move(j));
    }
    if (ctx.json) {
        Json j = {{"node", node}, {"file", path}};
        if (dryRun)
            j["dry_run"] = true;
        j[dryRun ? "differences" : "results"] = std::move(results);
        ctx.Print(j);
    } else if (count == 0) {
        ctx.out << NodeName(node) << " already matches " << path << "; nothing sent." << std::endl;
    } else if (dryRun) {
        ctx.out << NodeName(node) << ": " << count << (count == 1 ? " setting" : " settings")
                << " would change from " << path << " (dry run, nothing sent)\n"
                << Row("setting", "node", "file", "");
        for (const SettingOutcome& o : apply.Outcomes())
            ctx.out << DifferenceRow(o.difference, o.result == ApplyResult::NotApplicable
                                                       ? ResultText(o)
                                                       : "would be sent");
        ctx.out.flush();
    } else {
        ctx.out << Row("setting", "was", "now set to", "result");
        for (const SettingOutcome& o : apply.Outcomes())
            ctx.out << DifferenceRow(o.difference,
                                     Unsettled(o, lost) && lost ? "line lost" : ResultText(o));
        ctx.out << NodeName(node) << ": " << counts[1] << " confirmed, " << counts[2] + counts[0]
                << " not confirmed, " << counts[3] << " not applicable." << std::endl;
    }
    if (!unconfirmed.empty() && lost) {
        ctx.Fail("line lost (" + bus.LineText() + "); not confirmed: " + unconfirmed);
        return EXIT_NO_BUS;
    }
    if (!unconfirmed.empty()) {
        ctx.Fail("not confirmed: " + unconfirmed);
        return EXIT_NOT_CONFIRMED;
    }
    return EXIT_DONE;
}

} // namespace orvik::cli
