// Save As: rename, or copy beside the destination on a worker thread and rename when complete.
#include "save_as_transfer.h"

#include "copy_progress.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QWidget>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/file_io.h"

namespace saveas {

namespace {

QByteArray nativePath(const QString& path)
{
    return QFile::encodeName(path);
}

// Which skin text a failure is told with.
enum class Failure { CannotOpen, DiskFull, Other };

Failure classify(int error, Failure otherwise)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return Failure::DiskFull;
    case EACCES:
    case EPERM:
    case ENOENT:
    case ENOTDIR:
    case EISDIR:
    case EROFS:
    case ENAMETOOLONG:
        return Failure::CannotOpen;
    default:
        return otherwise;
    }
}

TransferResult failed(const TransferTexts& texts, Failure kind, int error, const QString& path,
                      const QString& destination)
{
    const QString& text = kind == Failure::DiskFull     ? texts.diskFull
                          : kind == Failure::CannotOpen ? texts.cannotOpen
                                                        : texts.otherError;
    TransferResult result;
    result.outcome = Outcome::Failed;
    result.destination = destination;
    result.reason = text + QStringLiteral("\n\n") + QDir::toNativeSeparators(path) +
                    QStringLiteral("\n") + QString::fromLocal8Bit(std::strerror(error)) +
                    QStringLiteral(".");
    return result;
}

TransferResult savedAs(const QString& destination)
{
    TransferResult result;
    result.outcome = Outcome::Saved;
    result.destination = destination;
    return result;
}

bool sameFile(const QByteArray& a, const QByteArray& b)
{
    struct stat sa {};
    struct stat sb {};
    return stat(a.constData(), &sa) == 0 && stat(b.constData(), &sb) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Makes the folder's entry of the file durable: 0, or the errno. A file system that cannot sync
// a folder (EINVAL) keeps it as well as it can.
int syncFolderOf(const QString& path)
{
    int folder = open(nativePath(QFileInfo(path).absolutePath()).constData(),
                      O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return errno;
    int error = fsync(folder) == 0 || errno == EINVAL ? 0 : errno;
    if (close(folder) != 0 && error == 0 && errno != EINTR)
        error = errno;
    return error;
}

// Creates a new hidden file beside `destination` that no other file can be; -1 with errno set
// when the folder does not take it.
int createPartial(const QString& destination, QByteArray& partialPath)
{
    QFileInfo info(destination);
    // The hidden name must fit where the destination's name did: a long name is shortened (at a
    // character boundary) so that its prefix and suffix never push it past the system's limit.
    QByteArray base = nativePath(info.fileName());
    qsizetype keep = std::min<qsizetype>(base.size(), 200);
    while (keep > 0 && keep < base.size() && (static_cast<uchar>(base[keep]) & 0xC0) == 0x80)
        --keep;
    base.truncate(keep);
    QByteArray folder = nativePath(info.absolutePath());
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".partial-%08x",
                      QRandomGenerator::global()->generate());
        partialPath = folder + "/." + base + suffix;
        int fd = open(partialPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        // Held while it is written, so that a recovery at another program's start leaves it
        // alone.
        if (fd >= 0)
            flock(fd, LOCK_EX | LOCK_NB);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

// The copy between two open files, run on a worker thread. The window's thread reads the
// outcome only after join(); while the copy runs they meet in `cancel` (written by the window's
// thread, read here) and in the progress calls posted to the dialog.
class ChunkCopy {
public:
    enum class Stage { None, Read, Write };

    ChunkCopy(int source, int target, qint64 length, const TransferOptions& options,
              CopyProgress& dialog)
        : source_(source), target_(target), length_(length), options_(options), dialog_(dialog)
    {
    }

    void start()
    {
        thread_ = std::thread([this] { run(); });
    }
    void join()
    {
        if (thread_.joinable())
            thread_.join();
    }
    void requestCancel() { cancel_.store(true, std::memory_order_relaxed); }

    Stage failedStage() const { return stage_; }
    int error() const { return error_; }
    bool complete() const { return complete_; }

private:
    void run()
    {
        copyAll();
        bool complete = complete_;
        QMetaObject::invokeMethod(
            &dialog_, [dialog = &dialog_, complete] { dialog->finish(complete); },
            Qt::QueuedConnection);
    }

    void copyAll()
    {
        std::vector<char> buffer(
            static_cast<size_t>(options_.chunkBytes > 0 ? options_.chunkBytes : 1000000));
        qint64 copied = 0;
        int shown = -1;
        for (;;) {
            if (cancel_.load(std::memory_order_relaxed))
                return;
            ssize_t got = readChunk(buffer);
            if (got < 0)
                return;
            if (got == 0)
                break;
            if (!writeAll(buffer.data(), static_cast<size_t>(got)))
                return;
            copied += got;
            if (options_.afterChunk)
                options_.afterChunk(copied);
            int percent =
                copyPercent(static_cast<uint64_t>(copied), static_cast<uint64_t>(length_));
            if (percent != shown) {
                shown = percent;
                QMetaObject::invokeMethod(
                    &dialog_, [dialog = &dialog_, percent] { dialog->setPercent(percent); },
                    Qt::QueuedConnection);
            }
        }
        // The take is deleted after this, so the copy has to be on the disk, not in its cache.
        if (fsync(target_) != 0) {
            fail(Stage::Write, errno);
            return;
        }
        complete_ = true;
    }

    // A whole chunk unless the source ends first; -1 on a read error.
    ssize_t readChunk(std::vector<char>& buffer)
    {
        platform::IoResult got = platform::readAll(source_, buffer.data(), buffer.size());
        if (!got.ok()) {
            fail(Stage::Read, got.error);
            return -1;
        }
        return static_cast<ssize_t>(got.bytes);
    }

    bool writeAll(const char* data, size_t size)
    {
        platform::IoResult put = platform::writeAll(target_, data, size);
        if (!put.ok()) {
            fail(Stage::Write, put.error);
            return false;
        }
        return true;
    }

    void fail(Stage stage, int error)
    {
        stage_ = stage;
        error_ = error;
    }

    int source_;
    int target_;
    qint64 length_;
    const TransferOptions& options_;
    CopyProgress& dialog_;
    std::thread thread_;
    std::atomic<bool> cancel_{false};
    Stage stage_ = Stage::None;
    int error_ = 0;
    bool complete_ = false;
};

TransferResult copyAcross(const QString& takePath, const QString& destination,
                          const TransferTexts& texts, QWidget* parent,
                          const TransferOptions& options)
{
    int source = open(nativePath(takePath).constData(), O_RDONLY | O_CLOEXEC);
    if (source < 0)
        return failed(texts, Failure::CannotOpen, errno, takePath, destination);
    struct stat sourceInfo {};
    fstat(source, &sourceInfo);

    QByteArray partial;
    int target = createPartial(destination, partial);
    if (target < 0) {
        int error = errno;
        close(source);
        return failed(texts, classify(error, Failure::CannotOpen), error, destination, destination);
    }

    CopyProgress dialog(texts.progressTitle, QFileInfo(destination).fileName(), parent);
    if (!options.progressPosition.isNull())
        dialog.move(options.progressPosition);
    // The caller may disable its window while it saves; Cancel has to stay usable.
    dialog.setEnabled(true);
    ChunkCopy copy(source, target, static_cast<qint64>(sourceInfo.st_size), options, dialog);
    QObject::connect(&dialog, &CopyProgress::cancelled, &dialog, [&copy] { copy.requestCancel(); });
    copy.start();
    dialog.exec();
    // The dialog ends when the copy has stopped, unless the application is quitting: then the
    // copy is told to stop, which it does within one chunk.
    bool cancelled = dialog.cancelRequested() || !copy.complete();
    if (cancelled)
        copy.requestCancel();
    copy.join();
    cancelled = dialog.cancelRequested() ||
                (copy.failedStage() == ChunkCopy::Stage::None && !copy.complete());

    close(source);
    int closeError = close(target) != 0 ? errno : 0;

    auto discard = [&] { unlink(partial.constData()); };
    if (cancelled) {
        discard();
        TransferResult result;
        result.outcome = Outcome::Cancelled;
        result.destination = destination;
        return result;
    }
    if (copy.failedStage() == ChunkCopy::Stage::Read) {
        discard();
        return failed(texts, Failure::Other, copy.error(), takePath, destination);
    }
    if (copy.failedStage() == ChunkCopy::Stage::Write || closeError != 0) {
        discard();
        int error = copy.error() != 0 ? copy.error() : closeError;
        return failed(texts, classify(error, Failure::Other), error, destination, destination);
    }

    // A file the user agreed to replace keeps its permissions.
    struct stat old {};
    if (stat(nativePath(destination).constData(), &old) == 0)
        chmod(partial.constData(), old.st_mode & 07777);
    if (rename(partial.constData(), nativePath(destination).constData()) != 0) {
        int error = errno;
        discard();
        return failed(texts, classify(error, Failure::Other), error, destination, destination);
    }
    // The take goes only once its copy's name is surely on the disk; otherwise it stays held.
    if (int error = syncFolderOf(destination); error != 0)
        return failed(texts, classify(error, Failure::Other), error, destination, destination);
    unlink(nativePath(takePath).constData());
    return savedAs(destination);
}

} // namespace

QString savePathFor(const QString& chosen, const QString& takePath)
{
    QString extension = QFileInfo(takePath).suffix();
    if (extension.isEmpty())
        return chosen;
    extension.prepend(QLatin1Char('.'));
    if (chosen.endsWith(extension, Qt::CaseInsensitive))
        return chosen;
    return chosen + extension.toLower();
}

TransferResult saveTake(const QString& takePath, const QString& destination,
                        const TransferTexts& texts, QWidget* parent, const TransferOptions& options)
{
    QByteArray from = nativePath(takePath);
    QByteArray to = nativePath(destination);
    struct stat takeInfo {};
    if (stat(from.constData(), &takeInfo) != 0)
        return failed(texts, Failure::CannotOpen, errno, takePath, destination);
    // Saving the take onto itself: the file is already where the user wants it.
    if (sameFile(from, to))
        return savedAs(destination);
    // Replaces an existing destination in one step; the take is never without a name.
    if (rename(from.constData(), to.constData()) == 0) {
        syncFolderOf(destination);
        return savedAs(destination);
    }
    int error = errno;
    if (error != EXDEV)
        return failed(texts, classify(error, Failure::Other), error, destination, destination);
    return copyAcross(takePath, destination, texts, parent, options);
}

} // namespace saveas
