// ALSA prints its own error lines ("ALSA lib confmisc.c:855:(parse_card) cannot find card '0'")
// straight to standard error, several for one failure. Once routed here they are kept instead,
// and the first one becomes the reason in the program's own one-line failure message.
#pragma once

#include <string>

namespace platform {

// Installs the handler for the whole process. Call it from the program itself (never from a
// library that may be unloaded, which would leave ALSA calling into freed code).
void routeAlsaErrors();

// Forgets what ALSA said so far: called before an operation whose failure should carry ALSA's
// reason.
void clearAlsaError();

// The first line ALSA reported since the last clear, without its source position
// ("cannot find card '0'"), or "" when it said nothing.
std::string alsaError();

// message, with ALSA's reason in parentheses when it gave one; the reason is then forgotten.
std::string withAlsaReason(const std::string& message);

} // namespace platform
