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
