#include "tools/dvk/PendingExtracts.h"

#include <algorithm>
#include <memory>
#include <system_error>

#include "engine/JournalFolder.h"
#include "engine/UpdateJournal.h"
#include "tools/dvk/ExtractJournalFolder.h"
#include "tools/dvk/SystemText.h"

namespace fs = std::filesystem;

std::vector<PendingExtract> FindPendingExtracts(const fs::path& state, const std::string& folderText, bool foldCase,
                                                std::vector<std::string>& setAside) {
    std::vector<PendingExtract> pending;
    const std::string ownKey = FolderKey(folderText);
    std::error_code code;
    for (fs::directory_iterator it(state, code), end; !code && it != end; it.increment(code)) {
        std::error_code typeCode;
        if (!it->is_directory(typeCode) || it->is_symlink(typeCode)) continue;
        const std::string key = PathToUtf8(it->path().filename());
        const bool own = key == ownKey;
        std::string narrow;
        if (!NarrowSystemPath(PathToUtf8(it->path()), narrow)) continue;
        std::unique_ptr<JournalFolder> journals = OpenJournalFolder(narrow);
        PendingExtract found{it->path(), std::string(), std::string(), FolderNesting::kApart};
        bool any = false;
        for (const std::string& name : journals->List()) {
            std::string bytes;
            if (!journals->Read(name, bytes)) {
                any = any || own;  // recovery says it cannot read it
                continue;
            }
            const JournalState journal = ParseJournal(bytes);
            if (!journal.begun) {
                any = any || own;  // recovery only removes it
                continue;
            }
            const std::string text = FolderText(journal.root, foldCase);
            if (FolderKey(text) == key && IsAbsoluteFolderText(text)) {
                found.root = journal.root;
                found.rootText = text;
                any = true;
            } else if (own && journals->SetAside(name)) {
                setAside.push_back(PathToUtf8(it->path() / name));
            }
        }
        if (!any) continue;
        found.nesting = own ? FolderNesting::kSame : CompareFolders(found.rootText, folderText);
        if (own) found.rootText = folderText;
        if (found.nesting != FolderNesting::kApart) pending.push_back(std::move(found));
    }
    std::stable_sort(pending.begin(), pending.end(), [](const PendingExtract& a, const PendingExtract& b) {
        return a.rootText.size() < b.rootText.size();
    });
    return pending;
}
