// Ctrl+C, a terminate signal and a hang-up (the terminal or the session closing). A signal may
// arrive on any thread at any moment, so the handler only raises a flag and writes a byte to a
// pipe; the main thread reads the flag, or is woken by the pipe through a socket notifier.
#pragma once

#include <QObject>

#include <functional>

namespace stopsignals {

// Installs the handler for SIGINT, SIGTERM and SIGHUP; calling it again changes nothing.
void catchStopSignals();
// Whether a stop signal has arrived.
bool received();
// Calls `stop` on owner's thread whenever a stop signal arrives, and at once when one already
// has. Lives as long as `owner`.
void wakeOnStopSignal(QObject* owner, std::function<void()> stop);

} // namespace stopsignals
