// Start-up: the installer switches as the command line words them, the companion check, the
// single-instance lock, and the program itself answering "/Install", "/Uninstall", "--help" and
// "--version" without a window.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "startup.h"
#include "testsupport/testsupport.h"

namespace fs = std::filesystem;

namespace {

QCoreApplication& app()
{
    static int argc = 1;
    static char name[] = "dravik-startup-tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* instance = new QCoreApplication(argc, argv);
    return *instance;
}

TEST(StartupSwitches, InstallMatchesOnlyTheBareSwitchAndUninstallAnyTail)
{
    EXPECT_TRUE(startup::isInstall("/Install"));
    EXPECT_FALSE(startup::isInstall("/Install now"));
    EXPECT_FALSE(startup::isInstall("/install"));
    EXPECT_FALSE(startup::isInstall(""));
    EXPECT_TRUE(startup::isUninstall("/Uninstall"));
    EXPECT_TRUE(startup::isUninstall("/Uninstall everything"));
    EXPECT_TRUE(startup::isUninstall("/Uninstallx"));
    EXPECT_FALSE(startup::isUninstall("/Uninstal"));

    char program[] = "dravik";
    char first[] = "/Install";
    char second[] = "now";
    char* argv[] = {program, first, second, nullptr};
    EXPECT_EQ(startup::commandLine(3, argv), "/Install now");
    EXPECT_EQ(startup::commandLine(1, argv), "");
}

TEST(StartupCompanions, AFolderWithoutTheSkinLibraryNamesItAsMissing)
{
    testsupport::TempDir empty;
    startup::Companions companions;
    EXPECT_FALSE(companions.load(empty.path().string()));
    EXPECT_EQ(companions.missing(), "libDravik.so");
}

TEST(StartupCompanions, TheBuildFolderHoldsThemAllAndTheMediaRuntimeCanWait)
{
    app();
    const std::string folder = QCoreApplication::applicationDirPath().toStdString();
    startup::Companions companions;
    ASSERT_TRUE(companions.load(folder, true)) << companions.missing();
    EXPECT_TRUE(companions.loadMediaRuntime());
    companions.release();
}

TEST(StartupSingleInstance, ASecondLockUnderTheSameCaptionIsRefused)
{
    app();
    const std::string caption = "Dravik test " + std::to_string(::getpid());
    startup::SingleInstance first(caption);
    ASSERT_TRUE(first.acquire());
    startup::SingleInstance second(caption);
    EXPECT_FALSE(second.acquire());
    // Another version text is another caption: both run.
    startup::SingleInstance other(caption + ".1");
    EXPECT_TRUE(other.acquire());
}

class ProgramSwitches : public ::testing::Test {
protected:
    void SetUp() override
    {
        app();
        fs::create_directories(home / ".config");
    }

    // Runs the program offscreen, or with withoutDisplay as on a terminal with no display at
    // all; its exit status, and what it wrote on standard output in output.
    int run(const QStringList& args, bool withoutDisplay = false, QString* output = nullptr)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", QString::fromStdString(home.path().string()));
        env.insert("XDG_CONFIG_HOME", QString::fromStdString((home / ".config").string()));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        if (withoutDisplay)
            for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
                env.remove(name);
        p.setProcessEnvironment(env);
        p.start(QCoreApplication::applicationDirPath() + "/dravik", args);
        if (!p.waitForFinished(20000)) {
            p.kill();
            p.waitForFinished();
            return -1;
        }
        if (output)
            *output = QString::fromUtf8(p.readAllStandardOutput());
        return p.exitCode();
    }

    std::string ini() const
    {
        std::ifstream in(home / ".config/Brevon/Dravik.ini");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    testsupport::TempDir home;
};

TEST_F(ProgramSwitches, InstallWritesTheDefaultsAndUninstallRemovesThemWithoutAWindow)
{
    ASSERT_EQ(run({"/Install"}), 0);
    const std::string installed = ini();
    EXPECT_NE(installed.find("[1.0]"), std::string::npos);
    EXPECT_NE(installed.find("bAlwaysOnTop=1"), std::string::npos);
    EXPECT_NE(installed.find("XPos="), std::string::npos);
    EXPECT_NE(installed.find("Brevon/Temp"), std::string::npos);

    ASSERT_EQ(run({"/Uninstall", "--all"}), 0);
    EXPECT_EQ(ini().find("[1.0]"), std::string::npos);
}

TEST_F(ProgramSwitches, HelpAndVersionAnswerOnATerminalWithoutADisplay)
{
    QString output;
    ASSERT_EQ(run({"--version"}, true, &output), 0);
    EXPECT_EQ(output, "dravik 1.0\n");
    ASSERT_EQ(run({"--help"}, true, &output), 0);
    EXPECT_TRUE(output.startsWith("usage: dravik")) << output.toStdString();
    EXPECT_TRUE(output.contains("/Install")) << output.toStdString();
    // Anything else still needs a display for the window.
    EXPECT_EQ(run({}, true), 1);
}

} // namespace
