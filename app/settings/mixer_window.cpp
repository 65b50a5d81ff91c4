// The window notification of a mixer: one socket notifier per poll descriptor, living as a child
// of the window so that it goes with it; an activated notifier takes the mixer's events in, and
// each changed control is posted to the window.
#include "mixer_window.h"

#include <QPointer>
#include <QSocketNotifier>

#include <map>

#include "window_messages.h"

using namespace platform;

namespace {

void postControlChange(HMIXER mixer, uint32_t message, uintptr_t instance, uintptr_t controlId,
                       uintptr_t)
{
    if (message == MM_MIXM_CONTROL_CHANGE)
        postWindowMessage(reinterpret_cast<QObject*>(instance), MM_MIXM_CONTROL_CHANGE,
                          reinterpret_cast<uintptr_t>(mixer), static_cast<intptr_t>(controlId));
}

// The notifiers of each open mixer (window thread only).
std::map<HMIXER, QPointer<QObject>>& watches()
{
    static std::map<HMIXER, QPointer<QObject>> open;
    return open;
}

} // namespace

MMRESULT mixerOpenForWindow(HMIXER* mixer, uint32_t mixerId, QObject* window)
{
    MMRESULT result = mixerOpen(mixer, mixerId, reinterpret_cast<uintptr_t>(&postControlChange),
                                reinterpret_cast<uintptr_t>(window), CALLBACK_FUNCTION);
    if (result != MMSYSERR_NOERROR)
        return result;
    auto* watch = new QObject(window);
    pollfd fds[16];
    const int count = mixerGetPollDescriptors(*mixer, fds, 16);
    const HMIXER handle = *mixer;
    for (int i = 0; i < count; ++i) {
        auto* notifier = new QSocketNotifier(fds[i].fd, QSocketNotifier::Read, watch);
        // A device that is gone keeps its descriptor readable: stop watching it then, and tell
        // the window.
        QObject::connect(notifier, &QSocketNotifier::activated, watch, [handle, watch, window] {
            if (mixerHandleEvents(handle) == MMSYSERR_NODRIVER) {
                for (auto* each : watch->findChildren<QSocketNotifier*>())
                    each->setEnabled(false);
                postWindowMessage(window, WM_MIXER_GONE, reinterpret_cast<uintptr_t>(handle));
            }
        });
    }
    watches()[handle] = watch;
    return MMSYSERR_NOERROR;
}

MMRESULT mixerCloseForWindow(HMIXER mixer)
{
    auto it = watches().find(mixer);
    if (it != watches().end()) {
        delete it->second.data();
        watches().erase(it);
    }
    return mixerClose(mixer);
}
