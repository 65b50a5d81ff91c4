// The stop signals.
#include "stop_signals.h"

#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>

namespace stopsignals {

namespace {

std::atomic<bool> g_received{false};
int g_pipe[2] = {-1, -1};

void onStopSignal(int)
{
    g_received = true;
    const char byte = 1;
    // A full pipe means the main thread has been woken already.
    [[maybe_unused]] ssize_t written = ::write(g_pipe[1], &byte, 1);
}

} // namespace

void catchStopSignals()
{
    // Without a pipe the flag still tells, only later (at the reader's next look).
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        g_pipe[0] = g_pipe[1] = -1;
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int stop : {SIGINT, SIGTERM, SIGHUP})
        sigaction(stop, &action, nullptr);
}

bool received()
{
    return g_received;
}

void wakeOnStopSignal(QObject* owner, std::function<void()> stop)
{
    if (g_pipe[0] >= 0) {
        auto* notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, owner);
        QObject::connect(notifier, &QSocketNotifier::activated, owner, [stop] {
            char bytes[16];
            while (::read(g_pipe[0], bytes, sizeof bytes) > 0) {
            }
            stop();
        });
    } else {
        // No pipe: the flag is looked at once a second.
        auto* timer = new QTimer(owner);
        QObject::connect(timer, &QTimer::timeout, owner, [timer, stop] {
            if (g_received) {
                timer->stop();
                stop();
            }
        });
        timer->start(1000);
    }
    if (g_received)
        QTimer::singleShot(0, owner, stop);
}

} // namespace stopsignals
