// The tag every compressed file of ours carries: which program made it and when its recording
// began, as Vorbis comments (FLAC and Ogg Opus both hold them).
#pragma once

#include <ctime>
#include <string>

namespace file {

// "Dravik 1.0".
std::string encoderName();
// The local time as "2026-12-09T05:44:18", the form of a Vorbis comment's DATE.
std::string tagDate(std::time_t when);

} // namespace file
