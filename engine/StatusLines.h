// The status lines that Apply shows, built from the message strings at the
// moment of use.
#pragma once

#include <cstdint>
#include <string>

// Message text, one space, the target name ("Test : readme.txt").
std::string NamedStatusLine(int messageId, const std::string& targetName);

// The percentage of an entry copied once `remaining` of its `size` bytes are
// left: computed in double, kept in single precision as the progress line has it.
float CopiedPercentage(std::int32_t size, std::int32_t remaining);

// The whole number the progress line shows: nearest, an exact half away from
// zero (12.5 shows 13), whatever the C library's printf would do.
long RoundHalfAwayFromZero(double value);

// "Extraction du fichier :: readme.txt (41 %)": the extracting text, then the
// format's own colon and space, the name and the rounded percentage.
std::string ProgressLine(const std::string& targetName, float percentage);

// True for a line that ProgressLine built: the extracting text followed by the
// format's own colon. An Extraction line has a space there instead.
bool IsProgressLine(const std::string& line);
