// A mixer opened for a window: its control changes reach the window on the window's own thread
// as MM_MIXM_CONTROL_CHANGE window messages (wParam: the mixer handle, lParam: the control id),
// the way the platform's window notification delivers them. Socket notifiers of the window's
// thread watch the mixer's poll descriptors; nothing polls on a timer.
#pragma once

#include <QObject>

#include "platform/mixer.h"

// mixerOpen with notification to the window; the result codes are mixerOpen's.
platform::MMRESULT mixerOpenForWindow(platform::HMIXER* mixer, uint32_t mixerId, QObject* window);
// Stops the notification and closes the mixer.
platform::MMRESULT mixerCloseForWindow(platform::HMIXER mixer);
