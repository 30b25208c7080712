// What the journal folder and the journals in it must be before the program
// takes orders from them. A journal names files that recovery renames and
// deletes with the program's rights (an administrator's, or the system's):
// whoever can put a journal there, change one, or swap the folder for a link
// can have any file of the machine deleted. So a folder or journal is used
// only when nobody but the system, the administrators and the program's own
// account could have made or changed it. The platforms read the facts from
// the very handle they then use; the rules, the same everywhere, are here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Who an owner or a permission entry stands for.
enum class Principal {
    kSystem,          // Windows' LocalSystem; root
    kAdministrators,  // the machine's administrators group
    kSelf,            // the account the program runs as
    kOwner,           // "the owner, whoever it is" (CREATOR OWNER, OWNER RIGHTS)
    kOther,           // anybody else, a group of users, everyone, or unknown
};

// What a permission lets its holder do to a file or folder, as bits. Reading
// is left out: it steers nothing.
enum AccessRight : unsigned {
    kWriteData = 1,           // write a file; add a file to a folder
    kAppendData = 2,          // append to a file; add a folder to a folder
    kDelete = 4,              // delete or rename it
    kDeleteChild = 8,         // delete or rename what a folder holds
    kChangePermissions = 16,  // WRITE_DAC, chmod
    kTakeOwnership = 32,      // WRITE_OWNER
};
constexpr unsigned kAnyChange = 63;

struct AccessGrant {
    Principal who;
    unsigned rights;  // AccessRight bits
};

enum class FileKind { kFile, kFolder, kOther };

// A file or folder as its handle shows it.
struct FileFacts {
    bool isLink = false;  // a reparse point or symbolic link, or reached through one
    FileKind kind = FileKind::kOther;
    std::uint32_t linkCount = 1;  // hard links (names) of a file
    Principal owner = Principal::kOther;
    // Every entry that allows something, inheritable ones included (they
    // reach the journals made later). No DACL at all, or a null one, lets
    // everybody do everything: one grant of kAnyChange to kOther.
    std::vector<AccessGrant> grants;
};

enum class [[nodiscard]] TrustVerdict {
    kTrusted,
    kUnreadable,       // its facts could not be read: not to be trusted either
    kLink,
    kNotAFolder,
    kNotAFile,
    kHardLinked,       // another name of the same file may lie anywhere
    kForeignOwner,
    kOthersMayChange,
};

// The journal folder (and, on Windows, its parent Dravlek folder).
TrustVerdict JudgeFolder(const FileFacts& facts);
// One journal in a trusted folder.
TrustVerdict JudgeJournal(const FileFacts& facts);

// Why, in French for the log (code page 1252); "" for kTrusted.
std::string VerdictReason(TrustVerdict verdict);

// The name a file or folder that is not trusted is renamed to: its own name
// and a random part nobody can guess and create first. List never gives it
// as a journal's.
std::string AsideName(const std::string& name, std::uint64_t random);

// The log lines about what was set aside, and about what was not trusted
// but could not be set aside (error: the system's error number). A journal
// set aside for what it says, not for what it is, has the reason kTrusted:
// the line then gives none.
std::string FolderSetAsideNote(TrustVerdict why, const std::string& path, const std::string& aside);
std::string FolderNotSetAsideNote(TrustVerdict why, const std::string& path, unsigned long error);
std::string FolderUnusableNote(TrustVerdict why, const std::string& path);
std::string FolderNotMadeNote(const std::string& path, unsigned long error);
std::string JournalSetAsideNote(TrustVerdict why, const std::string& path, const std::string& aside);
std::string JournalNotSetAsideNote(TrustVerdict why, const std::string& path, unsigned long error);
