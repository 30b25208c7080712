#include "tests/support/InterruptedUpdate.h"

#include <windows.h>

#include <memory>

#include "engine/UpdateJournal.h"
#include "tests/support/TestFiles.h"

bool LeaveInterruptedUpdate(JournalFolder& journals, const std::string& root, const std::vector<UpdatedFile>& files,
                            std::size_t replaced) {
    std::vector<JournalEntry> entries;
    std::vector<bool> existed;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string target = root + "\\" + files[i].name, stem = target + ".~dvk" + std::to_string(i);
        entries.push_back({target, stem + ".new", stem + ".old"});
        existed.push_back(FileExists(target));
    }
    std::unique_ptr<UpdateJournal> journal = UpdateJournal::Begin(journals, root, entries);
    bool ok = journal && journal->Replacing(existed);
    for (std::size_t i = 0; i < files.size() && ok; ++i) {
        const JournalEntry& entry = entries[i];
        if (i >= replaced) {
            ok = WriteFileBytes(entry.staged, files[i].bytes);
        } else {
            // The staged file became the target; an old target its backup.
            ok = (!existed[i] || MoveFileA(entry.target.c_str(), entry.backup.c_str())) &&
                 WriteFileBytes(entry.target, files[i].bytes);
        }
    }
    return ok && (replaced < files.size() || journal->Committed());
}
