// Where the journals of running updates are kept, one file per update. The
// platform supplies it: on Windows the machine-wide folder
// <CommonAppData>\Dravlek\Update\, elsewhere a folder the caller names.
// The folder is held open while the object lives, and a journal is read or
// written only after the handle it is read or written through has been
// judged (engine/JournalTrust.h); one that fails is set aside, never obeyed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// A journal being written. Every append is on disk (flushed, not only handed
// to the system) before Append returns, so that the file operation it
// announces may follow.
class JournalFile {
public:
    virtual ~JournalFile() = default;
    // False when the bytes may not all be stored.
    [[nodiscard]] virtual bool Append(const std::string& bytes) = 0;
};

class JournalFolder {
public:
    virtual ~JournalFolder() = default;

    // The names (not paths) of the journals in the folder that may be
    // trusted, sorted; the others are set aside (and noted). Other files in
    // the folder are not journals and are left alone.
    virtual std::vector<std::string> List() = 0;
    // Creates a journal under a new name no other journal has, its name on
    // disk before this returns; null when it cannot be created.
    [[nodiscard]] virtual std::unique_ptr<JournalFile> Create(std::string& name) = 0;
    // Opens an existing journal to append to it after its first keep bytes
    // (what follows them, a record cut short, is dropped); null when it cannot.
    [[nodiscard]] virtual std::unique_ptr<JournalFile> OpenForAppend(const std::string& name, std::uint64_t keep) = 0;
    // The journal's bytes, whole; false when it cannot be read.
    [[nodiscard]] virtual bool Read(const std::string& name, std::string& bytes) = 0;
    // Deletes the journal, the deletion on disk before this returns; true
    // when it is gone (also if it never was).
    [[nodiscard]] virtual bool Remove(const std::string& name) = 0;
    // Renames a journal that is not to be obeyed (planted, or naming files it
    // has no business with) to a name List never gives again, and notes it;
    // the file stays for an administrator to look at. True when it is renamed.
    [[nodiscard]] virtual bool SetAside(const std::string& name) = 0;

    // The lines for the run's log (code page 1252) about what was set aside
    // since the last call: journals and folders that were not trusted, and why.
    std::vector<std::string> TakeNotes() { return std::exchange(notes_, {}); }
    void Note(std::string line) { notes_.push_back(std::move(line)); }

private:
    std::vector<std::string> notes_;
};

// What every journal's name ends with; List gives no other name.
constexpr char kJournalEnding[] = ".journal";
inline bool IsJournalName(const std::string& name) {
    constexpr std::size_t size = sizeof kJournalEnding - 1;
    return name.size() > size && name.compare(name.size() - size, size, kJournalEnding) == 0;
}

// The journals kept in a given directory, which must exist. Journal names end
// in ".journal". A directory that is a link, not a folder, or one that others
// may change gives a folder without journals in which none can be made, and
// a note saying why.
std::unique_ptr<JournalFolder> OpenJournalFolder(const std::string& directory);

// The program's own journal folder, created when missing; null when it cannot
// be found, made or trusted. Windows: <CommonAppData>\Dravlek\Update\, and
// what stands in the place of Dravlek or Update and may not be trusted is
// renamed aside. What was set aside, or why the folder cannot be used, is
// added to notes as lines for the run's log.
std::unique_ptr<JournalFolder> OpenSystemJournalFolder(std::vector<std::string>& notes);
