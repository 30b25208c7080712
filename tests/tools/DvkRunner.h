// Runs the built dvk program and captures what it prints.
#pragma once

#include <string>
#include <vector>

struct DvkRun {
    int status = -1;  // the exit status; -1 when it did not exit normally
    std::string out;
    std::string err;

    // stderr split into lines (without their line ends).
    std::vector<std::string> ErrLines() const;
    std::vector<std::string> OutLines() const;
};

// Runs dvk with these arguments (passed unchanged, no shell expansion), in
// the given working folder when it is not empty. With fileSizeLimitKiB the
// system kills dvk (SIGXFSZ) at its first write past that size in any file.
DvkRun RunDvk(const std::vector<std::string>& args, const std::string& workingDir = std::string(),
              int fileSizeLimitKiB = 0);
