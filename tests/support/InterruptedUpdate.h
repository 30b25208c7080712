// What an update leaves when it is killed halfway, made with the engine's
// own journal writer, for the tests of the recovery at start.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class JournalFolder;

// One target of the update: its name in the root and its new bytes.
struct UpdatedFile {
    std::string name;
    std::string bytes;
};

// Leaves in root the journal of an update of files killed once it had
// replaced the first `replaced` of them: those hold their new bytes (the old
// ones, where a target existed, in its backup), the others wait as staged
// files. With every file replaced the journal is marked committed, as just
// before the backups are removed. False when any step failed.
[[nodiscard]] bool LeaveInterruptedUpdate(JournalFolder& journals, const std::string& root,
                                          const std::vector<UpdatedFile>& files, std::size_t replaced);
