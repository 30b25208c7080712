#include "tests/support/FolderTree.h"

#include <windows.h>

#include <cstdio>

#include "win32/Handles.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TestFiles.h"

std::string Printable(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
            out += escape;
        }
    }
    return out + "\"";
}

void PrintTo(const FolderTree& tree, std::ostream* out) {
    const std::size_t kShown = 24;
    *out << "{";
    for (const auto& [name, bytes] : tree) {
        *out << "\n    " << Printable(name) << ": " << bytes.size() << " bytes "
             << Printable(bytes.substr(0, kShown)) << (bytes.size() > kShown ? "..." : "");
    }
    *out << (tree.empty() ? "}" : "\n}");
}

namespace {

template <typename Visit>
void ForEachChild(const std::string& dir, Visit visit) {
    WIN32_FIND_DATAA found;
    UniqueFindHandle search(FindFirstFileA((dir + "\\*").c_str(), &found));
    if (!search) return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        visit(name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    } while (FindNextFileA(search.Get(), &found));
}

void ListInto(const std::string& dir, const std::string& prefix, FolderTree& files) {
    ForEachChild(dir, [&](const std::string& name, bool isDirectory) {
        std::string path = dir + "\\" + name;
        if (isDirectory) {
            files[prefix + name + "\\"] = "<dir>";
            ListInto(path, prefix + name + "\\", files);
        } else {
            bool readable = false;
            std::string bytes = ReadFileBytes(path, &readable);
            files[prefix + name] = readable ? bytes : "<unreadable>";
        }
    });
}

}  // namespace

FolderTree ListTree(const std::string& dir) {
    FolderTree files;
    ListInto(dir, "", files);
    return files;
}

namespace {

// Wide, so that names no code page holds go too.
bool RemoveWideTree(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        WIN32_FIND_DATAW found;
        UniqueFindHandle search(FindFirstFileW((path + L"\\*").c_str(), &found));
        for (bool more = static_cast<bool>(search); more; more = FindNextFileW(search.Get(), &found) != FALSE) {
            const std::wstring name = found.cFileName;
            if (name != L"." && name != L"..") RemoveWideTree(path + L"\\" + name);
        }
        search.Reset();
        RemoveDirectoryW(path.c_str());
    } else {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
    }
    return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

}  // namespace

bool RemoveTree(const std::string& path) {
    return RemoveWideTree(Widen(path));
}

bool ResetTree(const std::string& dir, const FolderTree& tree) {
    bool ok = RemoveTree(dir) && CreateDirectoryA(dir.c_str(), nullptr);
    // In map order a folder comes before what it holds.
    for (const auto& [name, bytes] : tree) {
        const std::string path = dir + "\\" + name;
        ok = (bytes == "<dir>" ? CreateDirectoryA(path.substr(0, path.size() - 1).c_str(), nullptr) != FALSE
                               : WriteFileBytes(path, bytes)) &&
             ok;
    }
    return ok;
}
