// Save As: the move on one file system, the copy across file systems with its progress window,
// Cancel and failures, each checked by the files left on disk.
#include "copy_progress.h"
#include "save_as_transfer.h"

#include <testsupport/testsupport.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <future>
#include <memory>

namespace fs = std::filesystem;
using namespace saveas;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

QApplication& app()
{
    static int argc = 1;
    static char name[] = "dravik_save_as_tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: Qt's own globals (the test input devices) go first at exit.
    static QApplication* application = new QApplication(argc, argv);
    return *application;
}

const TransferTexts kTexts{
    QStringLiteral("Saving the recording"), QStringLiteral("The file could not be opened."),
    QStringLiteral("The disk is full."), QStringLiteral("The file could not be copied.")};

std::vector<uint8_t> bytes(size_t count, uint8_t seed)
{
    std::vector<uint8_t> data(count);
    for (size_t i = 0; i < count; ++i)
        data[i] = static_cast<uint8_t>(seed + i * 7 + i / 251);
    return data;
}

QString q(const fs::path& path)
{
    return QString::fromStdString(path.string());
}

// A folder on the RAM disk, a file system apart from the ordinary temporary folder.
class ShmDir {
public:
    ShmDir()
    {
        std::string pattern = "/dev/shm/dravik-save-as-XXXXXX";
        if (mkdtemp(pattern.data()))
            path_ = pattern;
    }
    ~ShmDir()
    {
        std::error_code ignored;
        if (!path_.empty())
            fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

bool sameFileSystem(const fs::path& a, const fs::path& b)
{
    struct stat sa {};
    struct stat sb {};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev;
}

size_t entries(const fs::path& folder)
{
    return static_cast<size_t>(std::distance(fs::directory_iterator(folder), {}));
}

// Runs `action` on the progress window once it is up, for as long as the returned watch lives.
std::unique_ptr<QTimer> whenProgressShown(std::function<void(CopyProgress*)> action)
{
    auto poll = std::make_unique<QTimer>();
    poll->setInterval(2);
    QTimer* timer = poll.get();
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        if (auto* dialog = qobject_cast<CopyProgress*>(QApplication::activeModalWidget())) {
            timer->stop();
            action(dialog);
        }
    });
    poll->start();
    return poll;
}

// Holds the copy after its first chunk until release() is called on the window's thread.
class ChunkGate {
public:
    ChunkGate() : released_(promise_.get_future().share()) {}
    void release() { promise_.set_value(); }
    std::function<void(qint64)> afterChunk()
    {
        return [this](qint64 copied) {
            chunks.push_back(copied);
            released_.wait();
        };
    }
    std::vector<qint64> chunks; // written by the copying thread, read after saveTake returns

private:
    std::promise<void> promise_;
    std::shared_future<void> released_;
};

class SaveAsTransfer : public ::testing::Test {
protected:
    void SetUp() override
    {
        app();
        ASSERT_FALSE(shm.path().empty()) << "no folder on /dev/shm";
        if (sameFileSystem(temp.path(), shm.path()))
            crossSkipped = true;
    }

    TempDir temp;
    ShmDir shm;
    bool crossSkipped = false;
};

} // namespace

TEST(SavePathFor, AppendsTheTakesExtensionUnlessTheNameEndsInIt)
{
    EXPECT_EQ(savePathFor("/music/talk", "/t/tmp0001.wav"), "/music/talk.wav");
    EXPECT_EQ(savePathFor("/music/talk.WAV", "/t/tmp0001.wav"), "/music/talk.WAV");
    EXPECT_EQ(savePathFor("/music/Interview 3.5", "/t/tmp0002.mp3"), "/music/Interview 3.5.mp3");
    EXPECT_EQ(savePathFor("/music/talk.mp3", "/t/tmp0003.wma"), "/music/talk.mp3.wma");
    EXPECT_EQ(savePathFor("/music/talk", "/t/noextension"), "/music/talk");
}

TEST(CopyPercent, IsDefinedForEveryLength)
{
    EXPECT_EQ(copyPercent(1000000, 3500000), 28); // 1000000 / 35000
    EXPECT_EQ(copyPercent(3500000, 3500000), 100);
    EXPECT_EQ(copyPercent(0, 0), 100);
    EXPECT_EQ(copyPercent(5, 10), 50);
    EXPECT_EQ(copyPercent(3, 7), 42);
    EXPECT_EQ(copyPercent(12, 10), 100); // the source grew while it was copied
    EXPECT_EQ(copyPercent(uint64_t{1} << 40, uint64_t{1} << 41), 50);
}

TEST_F(SaveAsTransfer, SameFileSystemMovesOverTheChosenFile)
{
    auto take = bytes(5000, 1);
    writeFile(temp / "tmp0001.wav", take);
    writeFile(temp / "old.wav", bytes(100, 9));

    TransferResult result = saveTake(q(temp / "tmp0001.wav"), q(temp / "old.wav"), kTexts, nullptr);

    EXPECT_EQ(result.outcome, Outcome::Saved);
    EXPECT_TRUE(result.reason.isEmpty());
    EXPECT_EQ(readFile(temp / "old.wav"), take);
    EXPECT_FALSE(fs::exists(temp / "tmp0001.wav"));
}

TEST_F(SaveAsTransfer, MoveThatFailsKeepsTheTakeAndSaysWhy)
{
    auto take = bytes(5000, 2);
    writeFile(temp / "tmp0001.wav", take);
    fs::path destination = temp / "no such folder" / "talk.wav";

    TransferResult result = saveTake(q(temp / "tmp0001.wav"), q(destination), kTexts, nullptr);

    EXPECT_EQ(result.outcome, Outcome::Failed);
    EXPECT_TRUE(result.reason.startsWith(kTexts.cannotOpen)) << result.reason.toStdString();
    EXPECT_TRUE(result.reason.contains(q(destination))) << result.reason.toStdString();
    EXPECT_TRUE(result.reason.contains("No such file or directory"));
    EXPECT_EQ(readFile(temp / "tmp0001.wav"), take);
}

TEST_F(SaveAsTransfer, TakeThatIsGoneIsReportedNotSaved)
{
    writeFile(temp / "old.wav", bytes(100, 9));

    TransferResult result = saveTake(q(temp / "tmp0001.wav"), q(temp / "old.wav"), kTexts, nullptr);

    EXPECT_EQ(result.outcome, Outcome::Failed);
    EXPECT_TRUE(result.reason.startsWith(kTexts.cannotOpen)) << result.reason.toStdString();
    EXPECT_TRUE(result.reason.contains(q(temp / "tmp0001.wav")));
    EXPECT_EQ(readFile(temp / "old.wav"), bytes(100, 9));
}

TEST_F(SaveAsTransfer, SavingTheTakeOntoItselfDeletesNothing)
{
    auto take = bytes(5000, 3);
    writeFile(temp / "tmp0001.wav", take);

    TransferResult result =
        saveTake(q(temp / "tmp0001.wav"), q(temp / "." / "tmp0001.wav"), kTexts, nullptr);

    EXPECT_EQ(result.outcome, Outcome::Saved);
    EXPECT_EQ(readFile(temp / "tmp0001.wav"), take);
}

TEST_F(SaveAsTransfer, AcrossFileSystemsCopiesInChunksThenReplacesTheOldFile)
{
    if (crossSkipped)
        GTEST_SKIP() << "/dev/shm is on the temporary folder's file system";
    auto take = bytes(3500000, 4);
    writeFile(temp / "tmp0001.wav", take);
    writeFile(shm / "old.wav", bytes(100, 9));
    fs::permissions(shm / "old.wav", fs::perms(0640));

    QString title;
    int lastPercent = -1;
    ChunkGate gate;
    auto watch = whenProgressShown([&](CopyProgress* dialog) {
        title = dialog->windowTitle();
        QObject::connect(dialog, &QDialog::finished,
                         [&, dialog] { lastPercent = dialog->percent(); });
        gate.release();
    });
    TransferOptions options;
    options.afterChunk = gate.afterChunk();

    TransferResult result =
        saveTake(q(temp / "tmp0001.wav"), q(shm / "old.wav"), kTexts, nullptr, options);

    EXPECT_EQ(result.outcome, Outcome::Saved);
    EXPECT_EQ(readFile(shm / "old.wav"), take);
    EXPECT_FALSE(fs::exists(temp / "tmp0001.wav"));
    EXPECT_EQ(entries(shm.path()), 1u) << "no partial copy is left beside the file";
    EXPECT_EQ(fs::status(shm / "old.wav").permissions(), fs::perms(0640));
    EXPECT_EQ(gate.chunks, (std::vector<qint64>{1000000, 2000000, 3000000, 3500000}));
    EXPECT_EQ(title, kTexts.progressTitle);
    EXPECT_EQ(lastPercent, 100);
}

TEST_F(SaveAsTransfer, TinyTakeIsCopiedWhole)
{
    if (crossSkipped)
        GTEST_SKIP() << "/dev/shm is on the temporary folder's file system";
    auto take = bytes(10, 5);
    writeFile(temp / "tmp0001.mp3", take);

    TransferResult result =
        saveTake(q(temp / "tmp0001.mp3"), q(shm / "short.mp3"), kTexts, nullptr);

    EXPECT_EQ(result.outcome, Outcome::Saved);
    EXPECT_EQ(readFile(shm / "short.mp3"), take);
    EXPECT_FALSE(fs::exists(temp / "tmp0001.mp3"));
}

TEST_F(SaveAsTransfer, NameAsLongAsTheSystemAllowsIsCopied)
{
    if (crossSkipped)
        GTEST_SKIP() << "/dev/shm is on the temporary folder's file system";
    auto take = bytes(2000, 6);
    writeFile(temp / "tmp0001.wav", take);
    // 255 bytes, the longest name a file can have here; two-byte letters make the cut land
    // inside a character if it were made blindly.
    std::string name = "x";
    while (name.size() < 251)
        name += "\xc3\xa9";
    name += ".wav";
    ASSERT_EQ(name.size(), 255u);

    TransferResult result = saveTake(q(temp / "tmp0001.wav"), q(shm / name), kTexts, nullptr);

    EXPECT_EQ(result.outcome, Outcome::Saved) << result.reason.toStdString();
    EXPECT_EQ(readFile(shm / name), take);
    EXPECT_EQ(entries(shm.path()), 1u);
}

TEST_F(SaveAsTransfer, CancelDuringTheCopyKeepsTheTakeAndTheOldFile)
{
    if (crossSkipped)
        GTEST_SKIP() << "/dev/shm is on the temporary folder's file system";
    auto take = bytes(3500000, 6);
    auto old = bytes(100, 9);
    writeFile(temp / "tmp0001.wav", take);
    writeFile(shm / "old.wav", old);

    // The copy waits after its first chunk until Cancel has been clicked.
    ChunkGate gate;
    bool stillOpenAfterCancel = false;
    auto watch = whenProgressShown([&](CopyProgress* dialog) {
        auto* cancel = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel);
        QTest::mouseClick(cancel, Qt::LeftButton);
        stillOpenAfterCancel = dialog->isVisible();
        gate.release();
    });
    TransferOptions options;
    options.afterChunk = gate.afterChunk();

    // The main window is disabled while it saves; the progress window must still take Cancel.
    QWidget window;
    window.show();
    window.setEnabled(false);
    TransferResult result =
        saveTake(q(temp / "tmp0001.wav"), q(shm / "old.wav"), kTexts, &window, options);

    EXPECT_EQ(result.outcome, Outcome::Cancelled);
    EXPECT_TRUE(stillOpenAfterCancel) << "the window waits for the copy to stop";
    EXPECT_LE(gate.chunks.size(), 1u) << "the copy stops at the chunk it is on";
    EXPECT_EQ(readFile(temp / "tmp0001.wav"), take);
    EXPECT_EQ(readFile(shm / "old.wav"), old);
    EXPECT_EQ(entries(shm.path()), 1u) << "the partial copy is deleted";
}

TEST_F(SaveAsTransfer, CopyThatCannotBeWrittenWholeKeepsTheTakeAndTheOldFile)
{
    if (crossSkipped)
        GTEST_SKIP() << "/dev/shm is on the temporary folder's file system";
    auto take = bytes(3000000, 7);
    auto old = bytes(100, 9);
    writeFile(temp / "tmp0001.wav", take);
    writeFile(shm / "old.wav", old);

    TransferResult result;
    {
        testsupport::FileSizeLimit limit(1500000);
        result = saveTake(q(temp / "tmp0001.wav"), q(shm / "old.wav"), kTexts, nullptr);
    }

    EXPECT_EQ(result.outcome, Outcome::Failed);
    EXPECT_TRUE(result.reason.startsWith(kTexts.otherError)) << result.reason.toStdString();
    EXPECT_TRUE(result.reason.contains(q(shm / "old.wav")));
    EXPECT_TRUE(result.reason.contains("File too large"));
    EXPECT_EQ(readFile(temp / "tmp0001.wav"), take);
    EXPECT_EQ(readFile(shm / "old.wav"), old);
    EXPECT_EQ(entries(shm.path()), 1u) << "the partial copy is deleted";
}

TEST_F(SaveAsTransfer, CopyIntoAMissingFolderCannotOpenTheDestination)
{
    if (crossSkipped)
        GTEST_SKIP() << "/dev/shm is on the temporary folder's file system";
    auto take = bytes(1000, 8);
    writeFile(temp / "tmp0001.wav", take);
    fs::path destination = shm / "gone" / "talk.wav";

    TransferResult result = saveTake(q(temp / "tmp0001.wav"), q(destination), kTexts, nullptr);

    EXPECT_EQ(result.outcome, Outcome::Failed);
    EXPECT_TRUE(result.reason.startsWith(kTexts.cannotOpen)) << result.reason.toStdString();
    EXPECT_EQ(readFile(temp / "tmp0001.wav"), take);
}

TEST(CopyProgressWindow, EscAsksToCancelButTheWindowWaitsForTheCopy)
{
    app();
    CopyProgress dialog(QStringLiteral("Saving"), QStringLiteral("talk.wav"));
    int cancels = 0;
    QObject::connect(&dialog, &CopyProgress::cancelled, [&] { ++cancels; });
    dialog.show();

    QTest::keyClick(&dialog, Qt::Key_Escape);
    dialog.close();
    EXPECT_EQ(cancels, 1);
    EXPECT_TRUE(dialog.cancelRequested());
    EXPECT_TRUE(dialog.isVisible());

    dialog.finish(false);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}
