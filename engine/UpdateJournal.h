// The journal of one update: what it is about to do to the install root,
// written before it does it, so that an interrupted update can be undone.
//
// File layout: the 8 bytes "DVKJRNL1", then records. A record is its payload
// length (4 bytes, little-endian), the payload, and the payload's FNV-1a
// 64-bit hash (8 bytes, little-endian). A payload is a type byte and its
// fields; numbers are 4 bytes little-endian, names are a 4-byte length and
// the name's bytes as they are (any byte may occur). Reading stops at the
// first record that is cut short or whose hash does not match: that is the
// record being written when the update was killed, and the operation it
// announced had not started.
//
// Records, in the order an update writes them:
//   'B' root, count, then per entry its target, staged and backup paths:
//       before the first staged file is created;
//   'K' count, then per entry 1 if the entry deletes its target (0 if it
//       replaces it): in the same write as 'B', only when some entry deletes.
//       A delete renames its target to its backup name; its staged file is an
//       empty marker, removed right after that step, so that for every entry
//       the staged file is gone exactly once its step was taken;
//   'R' count, then per entry 1 if its target exists when its turn comes (0 if
//       not; a delete of a target that is absent does nothing): every staged file is on disk, the targets are about to be
//       replaced in order. Which ones were is seen from the files: a staged
//       file is gone once it replaced its target, a backup is there until the
//       old contents are put back;
//   'C' every target was replaced: only the backups remain to be removed;
//   'U' the update failed and is being undone;
//   'D' index: that entry is undone (its target as before, its files gone).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/JournalFolder.h"

struct JournalEntry {
    std::string target;
    std::string staged;
    std::string backup;
    bool deletes = false;  // the target is removed rather than replaced
};

// What a journal says, as read back.
struct JournalState {
    bool begun = false;  // the first record is whole
    std::uint64_t wholeSize = 0;  // the bytes up to the end of the last whole record
    std::string root;
    std::vector<JournalEntry> entries;
    bool kindsRead = false;  // the 'K' record was read
    bool replacing = false;
    // Per entry, once replacing: 1 for a target that did not exist, 2 for a
    // target that existed (0 before).
    std::vector<unsigned char> replace;
    bool committed = false;
    bool undoing = false;
    std::vector<bool> undone;
};

// Reads a journal's bytes; whatever follows a damaged record is ignored.
JournalState ParseJournal(const std::string& bytes);

class UpdateJournal {
public:
    // Creates a journal in the folder holding its first record; null when it
    // cannot be created or written.
    static std::unique_ptr<UpdateJournal> Begin(JournalFolder& folder, const std::string& root,
                                                const std::vector<JournalEntry>& entries);
    // Opens an existing journal to go on writing it after its whole records.
    static std::unique_ptr<UpdateJournal> Reopen(JournalFolder& folder, const std::string& name,
                                                 const JournalState& state);

    // Each returns once its record is on disk; false when it may not be.
    bool Replacing(const std::vector<bool>& targetExisted);
    bool Committed();
    bool Undoing();
    bool Undone(std::size_t index);
    // Deletes the journal; false when it stays.
    bool Remove();

    const std::string& Name() const { return name_; }

private:
    UpdateJournal(JournalFolder& folder, std::string name, std::unique_ptr<JournalFile> file)
        : folder_(folder), name_(std::move(name)), file_(std::move(file)) {}
    bool Write(const std::string& payload);

    JournalFolder& folder_;
    std::string name_;
    std::unique_ptr<JournalFile> file_;
};
