// The file that /log names: every line appended to it in UTF-8, ending in
// CRLF, after the local date and time ("2026-12-08 21:30:12 ").
//
// A closed RunLog (no /log, or Open failed) takes every line and writes
// nothing, so callers need not ask.
#pragma once

#include <ctime>
#include <memory>
#include <string>

#include "engine/LogFile.h"

class RunLog {
public:
    using Clock = std::tm (*)();

    // The clock gives the local time of each line; tests pass a fixed one.
    explicit RunLog(Clock clock = LocalNow) : clock_(clock) {}
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    // Opens the file (a UTF-8 path) for appending, creating it when missing.
    // False when it cannot be opened (missing folder, a folder of that name,
    // no access) or OpenLogFile refuses it (a link, a hard link, a file of
    // another user).
    [[nodiscard]] bool Open(const std::string& utf8Path);
    bool IsOpen() const { return file_ != nullptr; }

    // One line from a code page 1252 text; a line break inside it becomes a
    // space so that every line of the file stands for one event. Written
    // through at once, so the log is whole up to the last event even if the
    // process is killed. False when the file is open and the write fails.
    [[nodiscard]] bool WriteLine(const std::string& text);
    // The same from a UTF-8 text (names as the command line gave them).
    [[nodiscard]] bool WriteUtf8Line(const std::string& utf8);

    static std::tm LocalNow();

private:
    Clock clock_;
    std::unique_ptr<LogFile> file_;
};
