#include "engine/StatusLines.h"

#include <cmath>

#include "engine/MessageStrings.h"

std::string NamedStatusLine(int messageId, const std::string& targetName) {
    return LoadMessageString(messageId) + " " + targetName;
}

float CopiedPercentage(std::int32_t size, std::int32_t remaining) {
    double copied = static_cast<double>(size) - static_cast<double>(remaining);
    return static_cast<float>(copied / static_cast<double>(size) * 100.0);
}

long RoundHalfAwayFromZero(double value) {
    return static_cast<long>(std::round(value));
}

std::string ProgressLine(const std::string& targetName, float percentage) {
    // Same text as "%s: %s (%.0f %%)" with the label, the name and the
    // percentage, except for the rounding of exact halves; built by
    // concatenation so that a '%' in a name is just a character.
    return LoadMessageString(IDS_EXTRACTING) + ": " + targetName + " (" +
           std::to_string(RoundHalfAwayFromZero(static_cast<double>(percentage))) + " %)";
}

bool IsProgressLine(const std::string& line) {
    const std::string prefix = LoadMessageString(IDS_EXTRACTING) + ": ";
    return line.compare(0, prefix.size(), prefix) == 0;
}
