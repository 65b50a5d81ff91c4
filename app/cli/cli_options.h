// The command line of dravik-cli: a command, then "--name value" options.
#pragma once

#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct CliCommand {
    std::string name;                           // record, play, info, devices
    std::vector<std::string> arguments;         // positional arguments (the file of play and info)
    std::map<std::string, std::string> options; // without the leading dashes
};

// Parses argv; on failure returns nothing and sets error to a one-line reason.
std::optional<CliCommand> parseCommandLine(const std::vector<std::string>& args,
                                           std::string& error);

// Whether the argument is an option that takes no value ("--save").
bool isFlagOption(const std::string& arg);

// Reads a number option; false with a reason when it is not a number within [low, high].
bool numberOption(const CliCommand& command, const std::string& name, double low, double high,
                  double& value, std::string& error);

// The settings a record command overrides for its own run, as (name, value) pairs; false with a
// reason for a value that is not allowed.
bool recordOverrides(const CliCommand& command, int storedEncoding,
                     std::vector<std::pair<std::string, std::string>>& overrides,
                     std::string& error);

// The moment of --at ("YYYY-MM-DD HH:MM[:SS]", or HH:MM[:SS] today, tomorrow when that time has
// passed), local time; 0 without --at. False with a reason for a text that names no moment or a
// moment that has passed.
bool atOption(const CliCommand& command, std::time_t now, std::time_t& when, std::string& error);

extern const char* const kUsage;
