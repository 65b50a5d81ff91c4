// ALSA's error lines kept for the program's messages instead of printed (platform/alsa_errors.h).
#include "platform/alsa_errors.h"

#include <alsa/asoundlib.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace platform {

namespace {

// Written by whichever thread ALSA reports on (the window's, an engine worker's), read by the
// thread whose operation failed. The handler only tries the lock: a line that meets a reader is
// dropped rather than making an engine thread wait.
std::mutex g_mutex;
char g_first[256];
bool g_held = false;

void keepAlsaError(const char* /*file*/, int /*line*/, const char* /*function*/, int error,
                   const char* format, ...)
{
    char text[sizeof g_first];
    va_list args;
    va_start(args, format);
    int length = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (length < 0)
        return;
    if (error != 0 && size_t(length) < sizeof text)
        std::snprintf(text + length, sizeof text - size_t(length), ": %s", snd_strerror(error));
    for (char* c = text; *c; ++c)
        if (*c == '\n' || *c == '\r')
            *c = ' ';
    std::unique_lock lock(g_mutex, std::try_to_lock);
    if (!lock.owns_lock() || g_held)
        return;
    std::snprintf(g_first, sizeof g_first, "%s", text);
    g_held = true;
}

} // namespace

void routeAlsaErrors()
{
    snd_lib_error_set_handler(&keepAlsaError);
}

void clearAlsaError()
{
    std::lock_guard lock(g_mutex);
    g_held = false;
}

std::string alsaError()
{
    std::lock_guard lock(g_mutex);
    return g_held ? std::string(g_first) : std::string();
}

std::string withAlsaReason(const std::string& message)
{
    std::string reason = alsaError();
    clearAlsaError();
    return reason.empty() ? message : message + " (ALSA: " + reason + ")";
}

} // namespace platform
