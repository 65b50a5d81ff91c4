#include <gtest/gtest.h>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <numeric>
#include <thread>
#include <vector>

#include "platform/file_io.h"
#include "testsupport/testsupport.h"

using namespace platform;
using namespace std::chrono_literals;

namespace {

// A signal whose handler does not ask the system to restart calls, so a blocked read or write
// returns EINTR when it arrives.
struct InterruptingSignal {
    struct sigaction previous {};
    InterruptingSignal()
    {
        struct sigaction action {};
        action.sa_handler = [](int) {};
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0; // no SA_RESTART
        sigaction(SIGUSR1, &action, &previous);
    }
    ~InterruptingSignal() { sigaction(SIGUSR1, &previous, nullptr); }
};

struct Pipe {
    int fds[2] = {-1, -1};
    Pipe() { EXPECT_EQ(pipe(fds), 0); }
    ~Pipe()
    {
        for (int fd : fds)
            if (fd >= 0)
                close(fd);
    }
    void closeEnd(int i)
    {
        close(fds[i]);
        fds[i] = -1;
    }
};

std::vector<uint8_t> counting(size_t size)
{
    std::vector<uint8_t> bytes(size);
    std::iota(bytes.begin(), bytes.end(), uint8_t(0));
    return bytes;
}

} // namespace

TEST(FileIo, AReadInterruptedWhileItWaitsGoesOnAndGathersPieces)
{
    InterruptingSignal signal;
    Pipe pipe;
    const auto sent = counting(3000);
    const pthread_t reader = pthread_self();
    std::thread writer([&] {
        // Interrupt the waiting read, then deliver in pieces with more interruptions between.
        for (size_t at = 0; at < sent.size(); at += 1000) {
            std::this_thread::sleep_for(30ms);
            pthread_kill(reader, SIGUSR1);
            std::this_thread::sleep_for(30ms);
            ASSERT_EQ(write(pipe.fds[1], sent.data() + at, 1000), 1000);
        }
        pipe.closeEnd(1);
    });
    std::vector<uint8_t> got(4000);
    IoResult result = readAll(pipe.fds[0], got.data(), got.size());
    writer.join();
    EXPECT_TRUE(result.ok()) << result.error;
    ASSERT_EQ(result.bytes, sent.size()); // fewer than asked: the writer closed its end
    got.resize(result.bytes);
    EXPECT_EQ(got, sent);
}

TEST(FileIo, AWriteInterruptedWhileThePipeIsFullWritesEverything)
{
    InterruptingSignal signal;
    Pipe pipe;
    const auto sent = counting(1 << 20); // far more than a pipe holds
    // Fill the pipe first, so the write waits before it moves a byte and the signal interrupts
    // it outright (a write that moved something would return a short count instead).
    fcntl(pipe.fds[1], F_SETFL, O_NONBLOCK);
    size_t prefilled = 0;
    const uint8_t filler[4096] = {};
    for (ssize_t n; (n = write(pipe.fds[1], filler, sizeof filler)) > 0;)
        prefilled += size_t(n);
    fcntl(pipe.fds[1], F_SETFL, 0);
    const pthread_t writerThread = pthread_self();
    std::vector<uint8_t> got;
    std::thread reader([&] {
        std::this_thread::sleep_for(30ms);
        pthread_kill(writerThread, SIGUSR1);
        std::this_thread::sleep_for(30ms);
        std::vector<uint8_t> block(1 << 16);
        for (;;) {
            ssize_t n = read(pipe.fds[0], block.data(), block.size());
            if (n <= 0)
                break;
            got.insert(got.end(), block.begin(), block.begin() + n);
        }
    });
    IoResult result = writeAll(pipe.fds[1], sent.data(), sent.size());
    pipe.closeEnd(1);
    reader.join();
    EXPECT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(result.bytes, sent.size());
    ASSERT_EQ(got.size(), prefilled + sent.size());
    EXPECT_TRUE(std::equal(sent.begin(), sent.end(), got.begin() + long(prefilled)));
}

TEST(FileIo, PositionedTransfersStopAtTheEndAndReportFailures)
{
    testsupport::TempDir dir;
    const std::string path = (dir / "data.bin").string();
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    const auto bytes = counting(100);
    EXPECT_EQ(writeAllAt(fd, bytes.data(), bytes.size(), 10).bytes, 100u);
    std::vector<uint8_t> got(50);
    IoResult tail = readAllAt(fd, got.data(), got.size(), 80);
    EXPECT_TRUE(tail.ok());
    ASSERT_EQ(tail.bytes, 30u); // the file ends at 110
    EXPECT_EQ(got[0], bytes[70]);
    // The file position was never moved.
    EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 0);
    close(fd);

    fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    IoResult refused = writeAll(fd, bytes.data(), bytes.size());
    EXPECT_FALSE(refused.ok());
    EXPECT_EQ(refused.error, EBADF);
    EXPECT_EQ(refused.bytes, 0u);
    close(fd);
    EXPECT_EQ(readAll(-1, got.data(), got.size()).error, EBADF);
}
