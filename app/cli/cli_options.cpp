// Command-line parsing and the settings a record command overrides.
#include "cli_options.h"

#include <strings.h>

#include <cmath>
#include <cstdlib>
#include <regex>
#include <set>

#include "format_tables.h"

const char* const kUsage =
    "usage: dravik-cli record [--seconds N] [--encode wav|mp3|wma|flac|opus] [--format ROW]\n"
    "                         [--vox on|off] [--vox-level PERCENT] [--tolerance SECONDS]\n"
    "                         [--auto-save none|time|serial] [--prefix TEXT]\n"
    "                         [--temp-folder DIR] [--save-folder DIR] [--split SECONDS]\n"
    "                         [--out PATH] [--pre-roll SECONDS] [--at TIME]\n"
    "       dravik-cli play FILE [--from SECONDS]\n"
    "       dravik-cli info FILE\n"
    "       dravik-cli monitor [--seconds N]\n"
    "       dravik-cli devices\n"
    "       dravik-cli recover [--save | --discard] [--temp-folder DIR] [--save-folder DIR]\n";

namespace {

const std::map<std::string, std::set<std::string>> kOptions = {
    {"record",
     {"seconds", "encode", "format", "vox", "vox-level", "tolerance", "auto-save", "prefix",
      "temp-folder", "save-folder", "split", "out", "pre-roll", "at"}},
    {"play", {"from"}},
    {"monitor", {"seconds"}},
    {"info", {}},
    {"devices", {}},
    {"recover", {"save", "discard", "temp-folder", "save-folder"}},
};

// Options that take no value; they are stored with the value "1".
const std::set<std::string> kFlags = {"save", "discard"};

const std::map<std::string, size_t> kArguments = {{"record", 0},  {"play", 1},    {"info", 1},
                                                  {"monitor", 0}, {"devices", 0}, {"recover", 0}};

} // namespace

bool isFlagOption(const std::string& arg)
{
    return arg.rfind("--", 0) == 0 && kFlags.count(arg.substr(2)) > 0;
}

std::optional<CliCommand> parseCommandLine(const std::vector<std::string>& args, std::string& error)
{
    if (args.empty()) {
        error = "no command given";
        return std::nullopt;
    }
    CliCommand command;
    command.name = args[0];
    auto known = kOptions.find(command.name);
    if (known == kOptions.end()) {
        error = "unknown command \"" + command.name + "\"";
        return std::nullopt;
    }
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.rfind("--", 0) == 0) {
            std::string name = arg.substr(2);
            if (!known->second.count(name)) {
                error = "unknown option " + arg + " for " + command.name;
                return std::nullopt;
            }
            if (kFlags.count(name)) {
                command.options.insert_or_assign(name, std::string(1, '1'));
                continue;
            }
            if (i + 1 >= args.size()) {
                error = "option " + arg + " needs a value";
                return std::nullopt;
            }
            command.options[name] = args[++i];
        } else {
            command.arguments.push_back(arg);
        }
    }
    size_t wanted = kArguments.at(command.name);
    if (command.arguments.size() != wanted) {
        error = wanted == 0 ? "unexpected argument \"" + command.arguments.front() + "\""
                            : command.name + " needs one FILE";
        return std::nullopt;
    }
    return command;
}

bool numberOption(const CliCommand& command, const std::string& name, double low, double high,
                  double& value, std::string& error)
{
    auto found = command.options.find(name);
    if (found == command.options.end())
        return true;
    const char* text = found->second.c_str();
    char* end = nullptr;
    double number = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(number) || number < low || number > high) {
        error = "--" + name + " wants a number from " + std::to_string(static_cast<long>(low)) +
                " to " + std::to_string(static_cast<long>(high)) + ", not \"" + found->second +
                "\"";
        return false;
    }
    value = number;
    return true;
}

bool recordOverrides(const CliCommand& command, int storedEncoding,
                     std::vector<std::pair<std::string, std::string>>& overrides,
                     std::string& error)
{
    const auto& options = command.options;
    auto option = [&](const std::string& name) -> const std::string* {
        auto found = options.find(name);
        return found == options.end() ? nullptr : &found->second;
    };

    int encoding = storedEncoding;
    if (const std::string* encode = option("encode")) {
        std::optional<int> value;
        for (int listed : formats::kEncodingListOrder)
            if (strcasecmp(encode->c_str(), formats::encodingName(listed)) == 0)
                value = listed;
        if (!value) {
            error = "--encode wants wav, mp3, wma, flac or opus, not \"" + *encode + "\"";
            return false;
        }
        encoding = *value;
        overrides.emplace_back("Encode", std::to_string(encoding));
    }
    if (option("format")) {
        int rows = formats::rowCount(encoding);
        double row = 0;
        if (rows == 0) {
            error = "--format needs an encoding (--encode)";
            return false;
        }
        if (!numberOption(command, "format", 0, rows - 1, row, error))
            return false;
        if (row != std::floor(row)) {
            error = "--format wants a row number";
            return false;
        }
        overrides.emplace_back(formats::indexKey(encoding)->name,
                               std::to_string(static_cast<int>(row)));
    }
    if (const std::string* vox = option("vox")) {
        if (*vox != "on" && *vox != "off") {
            error = "--vox wants on or off, not \"" + *vox + "\"";
            return false;
        }
        overrides.emplace_back("nVOXONOFF", *vox == "on" ? "1" : "0");
    }
    double number = 0;
    if (option("vox-level")) {
        if (!numberOption(command, "vox-level", 0, 100, number, error))
            return false;
        overrides.emplace_back("voxlevel", std::to_string(static_cast<int>(number)));
    }
    if (const std::string* tolerance = option("tolerance")) {
        if (!numberOption(command, "tolerance", 0, 3600, number, error))
            return false;
        overrides.emplace_back("VoxToleranceTime", *tolerance);
    }
    if (const std::string* mode = option("auto-save")) {
        const char* value = *mode == "none"     ? "0"
                            : *mode == "time"   ? "1"
                            : *mode == "serial" ? "2"
                                                : nullptr;
        if (!value) {
            error = "--auto-save wants none, time or serial, not \"" + *mode + "\"";
            return false;
        }
        overrides.emplace_back("nSettingFileCheckButtonSates", value);
    }
    if (const std::string* prefix = option("prefix"))
        overrides.emplace_back("AutoSavePrefix", *prefix);
    if (const std::string* folder = option("temp-folder"))
        overrides.emplace_back("TempFolder", *folder);
    if (const std::string* folder = option("save-folder"))
        overrides.emplace_back("SaveFolder", *folder);
    if (option("seconds")) {
        if (!numberOption(command, "seconds", 1, 24.0 * 3600 * 365, number, error))
            return false;
        overrides.emplace_back("nAutoStopTime", "1");
        overrides.emplace_back("nAutoStopTimeVOX",
                               std::to_string(static_cast<long>(std::ceil(number))));
    }
    if (option("pre-roll")) {
        if (!numberOption(command, "pre-roll", 0, 2, number, error))
            return false;
        overrides.emplace_back("nVOXPreRoll", std::to_string(std::lround(number * 1000)));
    }
    if (const std::string* split = option("split")) {
        if (!numberOption(command, "split", 1, 24.0 * 3600, number, error))
            return false;
        overrides.emplace_back("nTimedTrackSplit", "1");
        overrides.emplace_back("sTimedTrackSplit", *split);
    }
    return true;
}

bool atOption(const CliCommand& command, std::time_t now, std::time_t& when, std::string& error)
{
    when = 0;
    auto found = command.options.find("at");
    if (found == command.options.end())
        return true;
    const std::string& text = found->second;
    static const std::regex kDated(
        R"((\d{4})-(\d{1,2})-(\d{1,2}) +(\d{1,2}):(\d{2})(?::(\d{2}))?)");
    static const std::regex kTimeOfDay(R"((\d{1,2}):(\d{2})(?::(\d{2}))?)");
    std::smatch parts;
    const bool dated = std::regex_match(text, parts, kDated);
    if (!dated && !std::regex_match(text, parts, kTimeOfDay)) {
        error = "--at wants \"YYYY-MM-DD HH:MM[:SS]\" or HH:MM[:SS], not \"" + text + "\"";
        return false;
    }
    auto number = [&](size_t i) { return parts[i].matched ? std::stoi(parts[i].str()) : 0; };
    const size_t first = dated ? 4 : 1;
    std::tm moment{};
    localtime_r(&now, &moment);
    if (dated) {
        moment.tm_year = number(1) - 1900;
        moment.tm_mon = number(2) - 1;
        moment.tm_mday = number(3);
    }
    moment.tm_hour = number(first);
    moment.tm_min = number(first + 1);
    moment.tm_sec = number(first + 2);
    const std::tm asked = moment;
    moment.tm_isdst = -1;
    when = std::mktime(&moment);
    // mktime moves a day or time out of range into the next one: such a text names no moment.
    if (when == static_cast<std::time_t>(-1) || moment.tm_mday != asked.tm_mday ||
        moment.tm_mon != asked.tm_mon || asked.tm_hour > 23 || asked.tm_min > 59 ||
        asked.tm_sec > 59) {
        error = "--at names no such moment: \"" + text + "\"";
        return false;
    }
    if (!dated && when <= now) {
        // A time of day that has passed today means tomorrow.
        std::tm tomorrow = asked;
        tomorrow.tm_mday += 1;
        tomorrow.tm_isdst = -1;
        when = std::mktime(&tomorrow);
    }
    if (when <= now) {
        error = "--at " + text + " has already passed";
        return false;
    }
    return true;
}
