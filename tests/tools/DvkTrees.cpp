#include "tests/tools/DvkTrees.h"

#include <algorithm>
#include <filesystem>

#include "tests/support/TestFiles.h"

namespace fs = std::filesystem;

void WriteTree(const std::string& root, const FileTree& tree) {
    for (const auto& [name, bytes] : tree) {
        fs::path path = fs::u8path(root) / fs::u8path(name);
        fs::create_directories(path.parent_path());
        WriteFileBytes(path.string(), bytes);
    }
}

void MakeFolders(const std::string& root, const FileTree& tree) {
    for (const auto& entry : tree) {
        fs::create_directories((fs::u8path(root) / fs::u8path(entry.first)).parent_path());
    }
}

FileTree ReadTree(const std::string& root) {
    FileTree tree;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(fs::u8path(root))) {
        if (!entry.is_regular_file()) continue;
        tree[entry.path().lexically_relative(fs::u8path(root)).generic_u8string()] =
            ReadFileBytes(entry.path().string());
    }
    return tree;
}

std::vector<std::string> ListNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(fs::u8path(folder))) {
        names.push_back(entry.path().filename().u8string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

FileTree SampleTree() {
    return {
        {"caf\xC3\xA9.txt", "Bonjour"},
        {"empty.txt", ""},
        {"bin/\xC3\x84rger.dll", std::string("MZ\0\x90", 4)},
        {"bin/deep/er/nest.dat", "nested"},
        {"data/big.bin", PatternData(5 * 1024 * 1024)},
        {"\xE2\x82\xACuro \xE2\x80\x93 \xE2\x80\x9Cquoted\xE2\x80\x9D.txt", "typographic"},
    };
}
