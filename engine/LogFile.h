// The file that /log names. The program runs elevated and writes names that
// a package chooses into it, so it appends only to a file that is what its
// name says: no link at the name (symbolic link, junction, mount point), no
// second name of another file (a hard link), not a file a standard user
// planted there for it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/FileOwner.h"

// What the system says of the file opened at the log's name, asked through
// the open handle so that nothing can change in between.
struct LogFileFacts {
    bool regularFile = true;  // a file on a disk: no folder, device or pipe
    bool link = false;        // a link at the name, or the handle leads to another name than the one given
    std::uint32_t linkCount = 1;
    FileOwner owner = FileOwner::kCaller;
};

// Whether lines may be appended to that file.
bool MayAppendLog(const LogFileFacts& facts);

class LogFile {
public:
    virtual ~LogFile() = default;
    // Hands the bytes to the system at once (the log is whole up to the last
    // line even if the process is killed); false when not all were written.
    [[nodiscard]] virtual bool Append(const std::string& bytes) = 0;
};

// Opens the file at path (UTF-8, opened through the wide API on Windows) for
// appending, creating it when missing, without following a link at its
// name. Null when it cannot be opened or MayAppendLog refuses it; a file it
// created for nothing is removed again.
[[nodiscard]] std::unique_ptr<LogFile> OpenLogFile(const std::string& utf8Path);
