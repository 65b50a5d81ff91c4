// The window at start-up offers the takes that recordings killed outright left (a real dravik-cli
// killed with SIGKILL), in one box driven here through its buttons: Open plays a take in the
// window, Save and Save As move it out of the temporary folder, Discard asks and deletes it, and
// closing the box keeps every take for the next start. A take another process holds is not
// offered.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTreeWidget>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <regex>

#include "CDravikDlg.h"
#include "recovery_box.h"
#include "testsupport/killed_takes.h"
#include "testsupport/testsupport.h"
#include "window_messages.h"

namespace fs = std::filesystem;

namespace {

QApplication& app()
{
    static int argc = 1;
    static char name[] = "dravik-recovery-tests";
    static char* argv[] = {name, nullptr};
    static QApplication* instance = new QApplication(argc, argv);
    return *instance;
}

bool pumpUntil(const std::function<bool()>& done, int timeoutMs = 20000)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

std::vector<std::string> namesIn(const fs::path& folder)
{
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(folder, ignored))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(RecoveryBox, KilledTakesAreOfferedAtStartAndSavedOpenedOrDiscardedFromTheBox)
{
    app();
    testsupport::TempDir dir;
    const fs::path temp = dir / "Temp";
    const fs::path save = dir / "Save";
    fs::create_directories(temp);
    fs::create_directories(save);
    const std::vector<std::string> encodings = testsupport::cliEncodings(dir / "cli");
    const std::vector<fs::path> takes =
        testsupport::recordAndKill(dir / "cli", temp, encodings, 2.0);
    for (const fs::path& take : takes)
        ASSERT_FALSE(take.empty());
    // Another recorder's take, held by its lock.
    const fs::path held = temp / "tmp0900.mp3";
    fs::copy_file(takes[1], held);
    const std::vector<uint8_t> heldBytes = testsupport::readFile(held);
    int holder = open(held.c_str(), O_RDWR);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);

    setenv("DRAVIK_AUDIO", "virtual:in=tone,pace=fast", 1);
    SettingsStore store((dir / "Dravik.ini").string(), "1.0", dir.path().string());
    store.writeString("TempFolder", temp.string());
    store.writeString("SaveFolder", save.string());
    store.writeString("AutoSavePrefix", "Found");
    store.writeInt("bAlwaysOnTop", 0);
    std::vector<QString> messages;
    WindowServices services;
    services.saveFile = [&](QWidget*, const QString&, const QString&) {
        return QString::fromStdString((dir / "chosen").string());
    };
    services.askYesNo = [](QWidget*, const QString&) { return true; };
    services.tell = [&](QWidget*, const QString& message, bool) -> QWidget* {
        messages.push_back(message);
        return nullptr;
    };

    // Closing the box without a word keeps every take where it is, and the next start offers
    // them again.
    {
        CDravikDlg window(store, services);
        window.show();
        QPointer<RecoveryBox> box = window.recoveryBox();
        ASSERT_TRUE(box);
        ASSERT_TRUE(pumpUntil([&] { return box->isVisible(); }));
        EXPECT_EQ(box->windowTitle(), CDravikDlg::caption());
        EXPECT_EQ(box->list()->topLevelItemCount(), static_cast<int>(takes.size()));
        box->button(QStringLiteral("Close"))->click();
        ASSERT_TRUE(pumpUntil([&] { return box.isNull(); }));
        EXPECT_EQ(namesIn(temp).size(), takes.size() + 1);
        window.close();
    }

    auto window = std::make_unique<CDravikDlg>(store, services);
    window->show();
    QPointer<RecoveryBox> box = window->recoveryBox();
    ASSERT_TRUE(box);
    ASSERT_TRUE(pumpUntil([&] { return box->isVisible(); }));
    // One row a take, with its name, encoding, length and time of recording.
    QTreeWidget* list = box->list();
    ASSERT_EQ(list->topLevelItemCount(), static_cast<int>(takes.size()));
    for (size_t i = 0; i < takes.size(); ++i) {
        SCOPED_TRACE(encodings[i]);
        const QString name = QString::fromStdString(takes[i].filename().string());
        ASSERT_TRUE(box->select(name));
        QTreeWidgetItem* row = list->currentItem();
        EXPECT_EQ(row->text(1).toLower().toStdString(), encodings[i]);
        std::smatch m;
        const std::string length = row->text(2).toStdString();
        ASSERT_TRUE(std::regex_match(length, m, std::regex(R"(00:00:(\d\d\.\d\d))"))) << length;
        EXPECT_GT(std::stod(m[1]), 0.2);
        EXPECT_TRUE(std::regex_match(row->text(3).toStdString(),
                                     std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)")));
    }
    EXPECT_FALSE(box->select(QStringLiteral("tmp0900.mp3")));

    // Open plays the take in the window; Save then takes it from the player into the save folder
    // under an auto-save name.
    const QString first = QString::fromStdString(takes[0].filename().string());
    ASSERT_TRUE(box->select(first));
    box->button(QStringLiteral("Open"))->click();
    EXPECT_EQ(window->openFilePath(), takes[0].string());
    EXPECT_TRUE(window->player().fileOpen());
    box->button(QStringLiteral("Save"))->click();
    EXPECT_FALSE(fs::exists(takes[0]));
    EXPECT_TRUE(window->openFilePath().empty());
    std::vector<std::string> saved = namesIn(save);
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_TRUE(std::regex_match(saved[0], std::regex(R"(Found \d{4}(-\d\d){5}\.)" + encodings[0])))
        << saved[0];

    // Save As: the chosen name gets the take's extension.
    ASSERT_TRUE(box->select(QString::fromStdString(takes[1].filename().string())));
    box->button(QStringLiteral("Save As..."))->click();
    EXPECT_TRUE(fs::exists(dir / ("chosen." + encodings[1])));
    EXPECT_FALSE(fs::exists(takes[1]));

    // Discard asks first; Keep keeps the take.
    std::vector<bool> answers = {false};
    box->setConfirmDiscard([&](QWidget*, const QString&) {
        bool answer = answers.empty() || answers.front();
        if (!answers.empty())
            answers.erase(answers.begin());
        return answer;
    });
    ASSERT_TRUE(box->select(QString::fromStdString(takes[2].filename().string())));
    box->button(QStringLiteral("Discard"))->click();
    EXPECT_TRUE(fs::exists(takes[2]));
    for (size_t i = 2; i < takes.size(); ++i) {
        ASSERT_TRUE(box->select(QString::fromStdString(takes[i].filename().string())));
        box->button(QStringLiteral("Discard"))->click();
        EXPECT_FALSE(fs::exists(takes[i]));
    }
    // The last take gone, the box goes too; only the held take is left, untouched.
    ASSERT_TRUE(pumpUntil([&] { return box.isNull(); }));
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(namesIn(temp), std::vector<std::string>{"tmp0900.mp3"});
    EXPECT_EQ(testsupport::readFile(held), heldBytes);

    // A take kept on purpose at a confirmed exit is offered at the next start the same way.
    postWindowMessage(window.get(), WM_REC_BUTTON);
    ASSERT_TRUE(pumpUntil([&] { return window->recorder().FileHundredths() >= 50; }));
    EXPECT_TRUE(window->confirmExit());
    window->close();
    window.reset();
    std::vector<std::string> left = namesIn(temp);
    ASSERT_EQ(left.size(), 2u);
    const std::string kept = left[0] == "tmp0900.mp3" ? left[1] : left[0];
    window = std::make_unique<CDravikDlg>(store, services);
    box = window->recoveryBox();
    ASSERT_TRUE(box);
    ASSERT_EQ(box->list()->topLevelItemCount(), 1);
    EXPECT_EQ(box->list()->topLevelItem(0)->text(0).toStdString(), kept);
    window->close();
    close(holder);
}
