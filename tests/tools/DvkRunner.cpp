#include "tests/tools/DvkRunner.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/TestFiles.h"

namespace {

// One argument for sh, inside single quotes.
std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    while (start < text.size()) {
        std::string::size_type end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace

std::vector<std::string> DvkRun::ErrLines() const {
    return SplitLines(err);
}

std::vector<std::string> DvkRun::OutLines() const {
    return SplitLines(out);
}

DvkRun RunDvk(const std::vector<std::string>& args, const std::string& workingDir, int fileSizeLimitKiB) {
    TempDir capture;
    std::string command;
    if (!workingDir.empty()) command = "cd " + ShellQuote(workingDir) + " && ";
    if (fileSizeLimitKiB > 0) command += "ulimit -f " + std::to_string(fileSizeLimitKiB * 2) + " && ";
    command += ShellQuote(DVK_PROGRAM);
    for (const std::string& arg : args) command += " " + ShellQuote(arg);
    command += " >" + ShellQuote(capture.File("out")) + " 2>" + ShellQuote(capture.File("err")) + " </dev/null";
    int raw = std::system(command.c_str());
    DvkRun run;
    run.status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = ReadFileBytes(capture.File("out"));
    run.err = ReadFileBytes(capture.File("err"));
    return run;
}
