#include <gtest/gtest.h>

#include "cli_options.h"

namespace {

std::optional<CliCommand> parse(std::vector<std::string> args, std::string& error)
{
    return parseCommandLine(args, error);
}

std::map<std::string, std::string> overridesOf(std::vector<std::string> args, int storedEncoding,
                                               std::string& error, bool& ok)
{
    auto command = parseCommandLine(args, error);
    std::vector<std::pair<std::string, std::string>> pairs;
    ok = command && recordOverrides(*command, storedEncoding, pairs, error);
    return {pairs.begin(), pairs.end()};
}

} // namespace

TEST(CliOptions, CommandsTakeTheirOwnOptionsAndArgumentsOnly)
{
    std::string error;
    auto play = parse({"play", "take.wav", "--from", "2.5"}, error);
    ASSERT_TRUE(play) << error;
    EXPECT_EQ(play->arguments, std::vector<std::string>{"take.wav"});
    EXPECT_EQ(play->options.at("from"), "2.5");

    EXPECT_FALSE(parse({"play"}, error));
    EXPECT_FALSE(parse({"record", "--from", "1"}, error));
    EXPECT_NE(error.find("--from"), std::string::npos);
    EXPECT_FALSE(parse({"record", "--seconds"}, error));
    EXPECT_FALSE(parse({"fly"}, error));
    EXPECT_FALSE(parse({}, error));
    EXPECT_FALSE(parse({"devices", "extra"}, error));
}

TEST(CliOptions, RecordOptionsBecomeSettingsOverrides)
{
    std::string error;
    bool ok = false;
    auto overrides = overridesOf({"record", "--encode", "mp3", "--format", "11", "--vox", "on",
                                  "--vox-level", "25", "--auto-save", "serial", "--seconds", "10",
                                  "--split", "60", "--tolerance", "0.4", "--prefix", "Talk"},
                                 2, error, ok);
    ASSERT_TRUE(ok) << error;
    EXPECT_EQ(overrides.at("Encode"), "1");
    EXPECT_EQ(overrides.at("nMP3Format"), "11");
    EXPECT_EQ(overrides.count("nWAVFormat"), 0u);
    EXPECT_EQ(overrides.at("nVOXONOFF"), "1");
    EXPECT_EQ(overrides.at("voxlevel"), "25");
    EXPECT_EQ(overrides.at("nSettingFileCheckButtonSates"), "2");
    EXPECT_EQ(overrides.at("nAutoStopTime"), "1");
    EXPECT_EQ(overrides.at("nAutoStopTimeVOX"), "10");
    EXPECT_EQ(overrides.at("nTimedTrackSplit"), "1");
    EXPECT_EQ(overrides.at("sTimedTrackSplit"), "60");
    EXPECT_EQ(overrides.at("VoxToleranceTime"), "0.4");
    EXPECT_EQ(overrides.at("AutoSavePrefix"), "Talk");
}

TEST(CliOptions, FormatRowsAreCheckedAgainstTheEncodingInUse)
{
    std::string error;
    bool ok = false;
    // The stored encoding (WMA) decides the table when --encode is not given.
    auto overrides = overridesOf({"record", "--format", "28"}, 0, error, ok);
    ASSERT_TRUE(ok) << error;
    EXPECT_EQ(overrides.at("nWMAFormat"), "28");
    overridesOf({"record", "--format", "24"}, 2, error, ok);
    EXPECT_FALSE(ok);
    overridesOf({"record", "--encode", "wav", "--format", "1.5"}, 2, error, ok);
    EXPECT_FALSE(ok);
}

TEST(CliOptions, ValuesOutOfRangeAreRefusedWithAReason)
{
    std::string error;
    bool ok = true;
    for (auto args : std::vector<std::vector<std::string>>{{"record", "--encode", "ogg"},
                                                           {"record", "--vox", "maybe"},
                                                           {"record", "--vox-level", "101"},
                                                           {"record", "--vox-level", "x"},
                                                           {"record", "--seconds", "0"},
                                                           {"record", "--seconds", "-5"},
                                                           {"record", "--tolerance", "nan"},
                                                           {"record", "--auto-save", "daily"},
                                                           {"record", "--split", "0"}}) {
        error.clear();
        overridesOf(args, 2, error, ok);
        EXPECT_FALSE(ok) << args[1] << " " << args[2];
        EXPECT_FALSE(error.empty());
    }
}

TEST(CliOptions, AtNamesTodayTomorrowOrADateAndRefusesWhatHasPassedOrCannotBe)
{
    std::tm noon{};
    noon.tm_year = 2031 - 1900;
    noon.tm_mon = 2;
    noon.tm_mday = 14;
    noon.tm_hour = 12;
    noon.tm_isdst = -1;
    const std::time_t now = std::mktime(&noon);
    auto at = [&](const std::string& text, std::string& error) -> std::time_t {
        std::string parseError;
        auto command = parseCommandLine({"record", "--at", text}, parseError);
        std::time_t when = -1;
        return command && atOption(*command, now, when, error) ? when : -1;
    };
    std::string error;
    EXPECT_EQ(at("12:30", error), now + 1800) << error;
    EXPECT_EQ(at("12:00:05", error), now + 5) << error;
    // A time of day that has passed is tomorrow's.
    EXPECT_NEAR(static_cast<double>(at("11:59", error)), static_cast<double>(now + 86340), 3600);
    EXPECT_EQ(at("2031-03-14 12:00:07", error), now + 7) << error;
    // Now itself has passed too: the same moment tomorrow, whatever the clocks did overnight.
    EXPECT_EQ(at("12:00", error), at("2031-03-15 12:00", error)) << error;
    for (const char* wrong : {"2031-03-14 11:00", "25:00", "12:61", "2031-02-30 10:00", "noon",
                              "12:00 tomorrow", "2031-03-14"}) {
        error.clear();
        EXPECT_EQ(at(wrong, error), -1) << wrong;
        EXPECT_NE(error.find("--at"), std::string::npos) << wrong;
    }
    error.clear();
    auto none = parseCommandLine({"record"}, error);
    std::time_t when = -1;
    EXPECT_TRUE(atOption(*none, now, when, error));
    EXPECT_EQ(when, 0);

    bool ok = false;
    EXPECT_EQ(overridesOf({"record", "--pre-roll", "0.3"}, 2, error, ok).at("nVOXPreRoll"), "300");
    overridesOf({"record", "--pre-roll", "2.5"}, 2, error, ok);
    EXPECT_FALSE(ok);
}
