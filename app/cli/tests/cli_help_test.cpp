#include <gtest/gtest.h>

#include "cli_help.h"

using clihelp::answerHelp;

TEST(CliHelp, TheProgramsHelpAndVersionAnswerOnStandardOutput)
{
    for (std::vector<std::string> args :
         {std::vector<std::string>{"--help"}, {"-h"}, {"help"}, {"--help", "record"}}) {
        auto answer = answerHelp(args);
        ASSERT_TRUE(answer) << args[0];
        EXPECT_EQ(answer->status, clihelp::kExitOk);
        EXPECT_FALSE(answer->toError);
        EXPECT_NE(answer->text.find("usage: dravik-cli COMMAND"), std::string::npos);
        // Every command is listed.
        for (const char* command : {"record", "play", "info", "monitor", "devices", "recover"})
            EXPECT_NE(answer->text.find(std::string("  ") + command + " "), std::string::npos)
                << command;
    }
    auto version = answerHelp({"--version"});
    ASSERT_TRUE(version);
    EXPECT_EQ(version->text, "dravik-cli 1.0\n");
    EXPECT_EQ(version->status, clihelp::kExitOk);
}

TEST(CliHelp, EachCommandHasItsOwnHelpAskedEitherWay)
{
    for (const char* command : {"record", "play", "info", "monitor", "devices", "recover"}) {
        auto byHelp = answerHelp({"help", command});
        auto byOption = answerHelp({command, "--help"});
        ASSERT_TRUE(byHelp && byOption) << command;
        EXPECT_EQ(byHelp->text, byOption->text);
        EXPECT_EQ(byHelp->text.rfind(std::string("usage: dravik-cli ") + command, 0), 0u)
            << byHelp->text;
    }
    // After other options too, and short.
    auto late = answerHelp({"record", "--seconds", "5", "-h"});
    ASSERT_TRUE(late);
    EXPECT_NE(late->text.find("--auto-save"), std::string::npos);
    // After an option that takes no value.
    auto afterFlag = answerHelp({"recover", "--save", "--help"});
    ASSERT_TRUE(afterFlag);
    EXPECT_NE(afterFlag->text.find("--discard"), std::string::npos);
}

TEST(CliHelp, AHelpWordGivenAsAnOptionsValueIsTheValue)
{
    EXPECT_FALSE(answerHelp({"record", "--prefix", "--help"}));
    EXPECT_FALSE(answerHelp({"record", "--prefix", "-h", "--seconds", "3"}));
    EXPECT_FALSE(answerHelp({"play", "help"}));
    EXPECT_FALSE(answerHelp({"record", "--seconds", "3"}));
    EXPECT_FALSE(answerHelp({}));
}

TEST(CliHelp, HelpForNoSuchCommandIsAUsageError)
{
    for (std::vector<std::string> args :
         {std::vector<std::string>{"help", "fly"}, {"fly", "--help"}, {"help", "record", "play"}}) {
        auto answer = answerHelp(args);
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->status, clihelp::kExitUsage);
        EXPECT_TRUE(answer->toError);
    }
}
