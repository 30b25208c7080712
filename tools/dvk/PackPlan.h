// What dvk pack puts in a package: one item per file, with the names the
// package will hold, checked against what the updater accepts.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct PackItem {
    std::filesystem::path source;  // the file whose bytes become the entry's data
    std::string shownName;         // how messages name the file (UTF-8)
    std::string sourceName;        // stored in the record (cp1252)
    std::string targetName;        // path below the install root (cp1252)
    std::uint8_t flags = 0;
    std::int64_t size = 0;
    bool linked = false;  // source is a link, followed as --follow-links allows
    bool remove = false;  // a delete entry: no source, the target is removed
};

class PackPlan {
public:
    // Without followLinks a source file that is a link stops the pack: a link
    // in a release folder must not quietly put another file (a secret) in.
    explicit PackPlan(bool followLinks = false) : followLinks_(followLinks) {}

    // Every regular file below dir, its relative path with '\' separators as
    // both source and target name, sorted by target name so that the package
    // does not depend on the order the file system lists them in.
    bool AddDirectory(const std::string& dirUtf8, std::string& error);
    // The lines of a list file, in their order: source<TAB>target<TAB>flags,
    // flags a byte in decimal or 0x hex. Blank lines and lines starting with
    // '#' are skipped; a relative source is found from the list's folder.
    bool AddList(const std::string& listUtf8, std::string& error);
    // Delete entries for the named targets (UTF-8, '/' or '\\'), explicit
    // names only: '*' and '?' are refused like every character Windows does
    // not allow in a name.
    bool AddRemovals(const std::vector<std::string>& namesUtf8, std::string& error);
    // The names of a file, one a line, as AddRemovals takes them. Blank lines
    // and lines starting with '#' are skipped.
    bool AddRemoveList(const std::string& listUtf8, std::string& error);
    // Sets the required flag on every target a pattern (UTF-8) matches; false
    // when a pattern matches nothing, which is almost always a typing error.
    bool MarkRequired(const std::vector<std::string>& patternsUtf8, std::string& error);
    // False when two targets would be the same file on Windows (a file both
    // packed and removed included).
    bool CheckDistinctTargets(std::string& error) const;

    const std::vector<PackItem>& Items() const { return items_; }
    std::int64_t TotalBytes() const;

private:
    bool AddFile(PackItem item, std::string& error);

    bool followLinks_;
    std::vector<PackItem> items_;
};

// The largest file an entry can carry: its size is a signed 32-bit value.
constexpr std::int64_t kMaxEntryBytes = 0x7FFFFFFF;

// Why the updater would refuse a target name, or "" when it takes it.
std::string TargetNameProblem(const std::string& targetName);
