// Names and moves of recorded files: the numbered temporary files, the generated names of
// auto-saved files, and a move that never loses a take.
#pragma once

#include <ctime>
#include <string>

namespace takefiles {

// ".wma", ".mp3" or ".wav" for the encodings 0, 1 and anything else.
const char* extension(int encoding);
// "tmp0001.wav": the counter taken modulo 10000 (never negative).
std::string temporaryName(long long counter, int encoding);

// The suffix of an auto-saved name: " 2005-01-31-09-40-44" (mode 1), " 3-0002" (mode 2), or
// empty (any other mode).
std::string autoSaveSuffix(int mode, const std::tm& segmentStart, int sessionNumber,
                           int segmentCount);
// The prefix as a plain name: separators and leading dots removed, "Brevon" when nothing is left.
std::string safePrefix(const std::string& prefix);
// The path itself when nothing is there, otherwise "name (2).ext", "name (3).ext", ...
std::string distinctPath(const std::string& path);

// Moves a file; across file systems it copies, makes the copy durable, then deletes the source.
// On failure the source stays where it was and the reason is returned; empty on success.
std::string moveFile(const std::string& from, const std::string& to);

} // namespace takefiles
