#include "tools/dvk/PackPlan.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <system_error>

#include "package/TargetName.h"
#include "package/CodePage1252.h"
#include "package/WindowsFileKey.h"
#include "tools/dvk/SourceFile.h"
#include "tools/dvk/SystemText.h"
#include "tools/dvk/TargetGlob.h"

namespace fs = std::filesystem;

namespace {

// Converts a name for the package, saying which character cannot be stored.
bool ToCp1252(const std::string& utf8, const std::string& what, std::string& out, std::string& error) {
    std::uint32_t bad = 0;
    if (Utf8ToCp1252(utf8, out, &bad)) return true;
    error = what + ": " +
            (bad == 0xFFFFFFFF ? std::string("the name is not valid UTF-8")
                               : "the name has a character with no code page 1252 byte (" + CodePointName(bad) + ")");
    return false;
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

// A flags byte: 0-255 in decimal or 0x hex.
bool ParseFlags(const std::string& text, std::uint8_t& flags) {
    if (text.empty() || text.size() > 4) return false;
    int base = 10;
    std::size_t start = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) base = 16, start = 2;
    unsigned value = 0;
    for (std::size_t i = start; i < text.size(); ++i) {
        char c = text[i];
        int digit = c >= '0' && c <= '9' ? c - '0'
                    : base == 16 && c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : base == 16 && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                         : -1;
        if (digit < 0 || digit >= base) return false;
        value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
    }
    if (value > 0xFF) return false;
    flags = static_cast<std::uint8_t>(value);
    return true;
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::string::size_type start = 0;
    for (;;) {
        std::string::size_type tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

}  // namespace

std::string TargetNameProblem(const std::string& targetName) {
    if (!IsSafeTargetName(targetName)) {
        return "the updater refuses this target name (empty, absolute, with ':' or '..', or a device name "
               "such as CON or NUL)";
    }
    for (char c : targetName) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*') {
            return "the target name has a character that Windows does not allow in file names";
        }
    }
    return std::string();
}

bool PackPlan::AddFile(PackItem item, std::string& error) {
    std::string problem = TargetNameProblem(item.targetName);
    if (!problem.empty()) {
        error = Quoted(item.shownName) + ": " + problem;
        return false;
    }
    item.linked = IsLink(item.source);
    if (item.linked && !followLinks_) {
        error = Quoted(item.shownName) + ": a link; pack the file it points to, or give --follow-links";
        return false;
    }
    std::error_code code;
    fs::file_status status = fs::status(item.source, code);
    if (code || !fs::is_regular_file(status)) {
        error = Quoted(item.shownName) + ": not a readable file" + (code ? " (" + code.message() + ")" : "");
        return false;
    }
    std::uintmax_t size = fs::file_size(item.source, code);
    if (code) {
        error = Quoted(item.shownName) + ": cannot get its size (" + code.message() + ")";
        return false;
    }
    if (size > static_cast<std::uintmax_t>(kMaxEntryBytes)) {
        error = Quoted(item.shownName) + ": " + std::to_string(size) +
                " bytes is more than a package entry can hold (2147483647 bytes)";
        return false;
    }
    item.size = static_cast<std::int64_t>(size);
    items_.push_back(std::move(item));
    return true;
}

bool PackPlan::AddDirectory(const std::string& dirUtf8, std::string& error) {
    const fs::path root = PathFromUtf8(dirUtf8);
    std::error_code code;
    if (!fs::is_directory(root, code)) {
        error = Quoted(dirUtf8) + ": no such folder";
        return false;
    }
    std::vector<PackItem> found;
    fs::recursive_directory_iterator it(root, fs::directory_options::none, code);
    for (; !code && it != fs::recursive_directory_iterator(); it.increment(code)) {
        const fs::directory_entry& entry = *it;
        std::error_code typeCode;
        const fs::path relative = entry.path().lexically_relative(root);
        const std::string shown = PathToUtf8(relative);
        if (entry.is_directory(typeCode)) {
            // Links to folders are not followed (they may loop); refusing them
            // keeps a package from silently missing what they hold.
            if (IsLink(entry.path())) {
                error = Quoted(shown) + ": a link to a folder; pack the folder itself or use --list";
                return false;
            }
            continue;
        }
        if (!entry.is_regular_file(typeCode)) {
            error = Quoted(shown) + ": not a regular file (a broken link, device or pipe); move it out of the folder";
            return false;
        }
        PackItem item;
        item.source = entry.path();
        item.shownName = shown;
        for (const fs::path& part : relative) {
            std::string component;
            if (!ToCp1252(PathToUtf8(part), Quoted(shown), component, error)) return false;
            if (!item.targetName.empty()) item.targetName += '\\';
            item.targetName += component;
        }
        item.sourceName = item.targetName;
        found.push_back(std::move(item));
    }
    if (code) {
        error = Quoted(dirUtf8) + ": cannot list the folder (" + code.message() + ")";
        return false;
    }
    std::sort(found.begin(), found.end(),
              [](const PackItem& a, const PackItem& b) { return a.targetName < b.targetName; });
    for (PackItem& item : found) {
        if (!AddFile(std::move(item), error)) return false;
    }
    return true;
}

bool PackPlan::AddList(const std::string& listUtf8, std::string& error) {
    const fs::path listPath = PathFromUtf8(listUtf8);
    std::ifstream list(listPath, std::ios::binary);
    if (!list) {
        error = Quoted(listUtf8) + ": cannot read the list";
        return false;
    }
    const fs::path base = listPath.parent_path();
    std::string line;
    int number = 0;
    while (std::getline(list, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();  // a list saved on Windows
        if (line.empty() || line[0] == '#') continue;
        const std::string where = listUtf8 + " line " + std::to_string(number);
        std::vector<std::string> fields = SplitTabs(line);
        PackItem item;
        if (fields.size() != 3 || fields[0].empty()) {
            error = where + ": expected source<TAB>target<TAB>flags";
            return false;
        }
        if (!ParseFlags(fields[2], item.flags)) {
            error = where + ": flags must be a number from 0 to 255 (decimal or 0x hex), not " + Quoted(fields[2]);
            return false;
        }
        fs::path source = PathFromUtf8(fields[0]);
        item.source = source.is_absolute() ? source : base / source;
        item.shownName = fields[0];
        if (!ToCp1252(fields[0], where + " (source " + Quoted(fields[0]) + ")", item.sourceName, error)) return false;
        if (!ToCp1252(fields[1], where + " (target " + Quoted(fields[1]) + ")", item.targetName, error)) return false;
        if (!AddFile(std::move(item), error)) {
            error = where + ": " + error;
            return false;
        }
    }
    if (list.bad()) {
        error = Quoted(listUtf8) + ": cannot read the list";
        return false;
    }
    return true;
}

bool PackPlan::MarkRequired(const std::vector<std::string>& patternsUtf8, std::string& error) {
    for (const std::string& patternUtf8 : patternsUtf8) {
        std::string pattern;
        if (!ToCp1252(patternUtf8, "--required " + Quoted(patternUtf8), pattern, error)) return false;
        TargetGlob glob(pattern);
        bool matched = false;
        for (PackItem& item : items_) {
            if (!glob.Matches(item.targetName)) continue;
            item.flags |= 0x02;
            matched = true;
        }
        if (!matched) {
            error = "--required " + Quoted(patternUtf8) + " matches no file of the package";
            return false;
        }
    }
    return true;
}

bool PackPlan::AddRemovals(const std::vector<std::string>& namesUtf8, std::string& error) {
    for (const std::string& nameUtf8 : namesUtf8) {
        PackItem item;
        item.remove = true;
        item.shownName = nameUtf8;
        if (!ToCp1252(nameUtf8, Quoted(nameUtf8), item.targetName, error)) return false;
        std::replace(item.targetName.begin(), item.targetName.end(), '/', '\\');
        const std::string problem = TargetNameProblem(item.targetName);
        if (!problem.empty()) {
            error = "--remove " + Quoted(nameUtf8) + ": " + problem;
            return false;
        }
        items_.push_back(std::move(item));
    }
    return true;
}

bool PackPlan::AddRemoveList(const std::string& listUtf8, std::string& error) {
    std::ifstream in(PathFromUtf8(listUtf8), std::ios::binary);
    if (!in) {
        error = Quoted(listUtf8) + ": cannot read the list";
        return false;
    }
    std::vector<std::string> names;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        names.push_back(line);
    }
    if (in.bad()) {
        error = Quoted(listUtf8) + ": cannot read the list";
        return false;
    }
    return AddRemovals(names, error);
}

bool PackPlan::CheckDistinctTargets(std::string& error) const {
    std::map<std::string, const PackItem*> seen;
    for (const PackItem& item : items_) {
        auto inserted = seen.emplace(WindowsFileKey(item.targetName), &item);
        if (!inserted.second && item.remove != inserted.first->second->remove) {
            const PackItem& packed = item.remove ? *inserted.first->second : item;
            error = Quoted(packed.shownName) + " is both packed and removed (" + Cp1252ToUtf8(packed.targetName) + ")";
            return false;
        }
        if (!inserted.second) {
            error = Quoted(item.shownName) + " and " + Quoted(inserted.first->second->shownName) +
                    " would be the same file on Windows (" + Cp1252ToUtf8(item.targetName) + ")";
            return false;
        }
    }
    return true;
}

std::int64_t PackPlan::TotalBytes() const {
    std::int64_t total = 0;
    for (const PackItem& item : items_) total += item.size;
    return total;
}
