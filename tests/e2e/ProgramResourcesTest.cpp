// The resources compiled into the program, read from the .exe loaded as a
// data file, against golden bytes: tests/e2e/golden/*.res, the compiled
// resource scripts as the build links them. Every resource is compared
// whole, by type, name and language (dialog templates, every string block,
// the icon group and images, the manifest), and nothing else may be there.
//
// An intended change to res/ (a new string such as 124 or 125 among them)
// fails here until the golden files are made again from the build:
//   cmake --build --preset win32 --target resource-golden
// then scripts/compare-resources.py old.res new.res shows what changed.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <tuple>

#include "tests/support/UpdaterProcess.h"

namespace {

// Type and name: "#n" for a number, else the name; then the language.
using ResourceKey = std::tuple<std::string, std::string, WORD>;
using Resources = std::map<ResourceKey, std::string>;

std::string Label(const ResourceKey& key) {
    return "type " + std::get<0>(key) + " name " + std::get<1>(key) + " language " +
           std::to_string(std::get<2>(key));
}

// A .res file's type or name: 0xFFFF and a number, or a NUL-ended UTF-16 name.
std::string ReadId(const std::string& bytes, std::size_t& at) {
    auto word = [&](std::size_t where) {
        return where + 2 <= bytes.size() ? static_cast<WORD>(static_cast<unsigned char>(bytes[where]) |
                                                             static_cast<unsigned char>(bytes[where + 1]) << 8)
                                         : WORD{0};
    };
    if (word(at) == 0xFFFF) {
        at += 4;
        return "#" + std::to_string(word(at - 2));
    }
    std::string name;
    for (; at < bytes.size() && word(at) != 0; at += 2) name += static_cast<char>(word(at));
    at += 2;
    return name;
}

// Every resource of a .res file: entries of a header (sizes, type, name,
// DWORD-aligned fixed fields) and their data, each DWORD-aligned.
Resources ReadResFile(const std::string& path) {
    const std::string bytes = ReadFileBytes(path);
    Resources resources;
    for (std::size_t at = 0; at + 32 <= bytes.size();) {
        std::uint32_t dataSize, headerSize;
        std::memcpy(&dataSize, &bytes[at], 4);
        std::memcpy(&headerSize, &bytes[at + 4], 4);
        std::size_t field = at + 8;
        std::string type = ReadId(bytes, field);
        std::string name = ReadId(bytes, field);
        field = (field + 3) & ~std::size_t{3};
        WORD language = 0;
        if (field + 8 <= bytes.size()) std::memcpy(&language, &bytes[field + 6], 2);
        if (at + headerSize + dataSize > bytes.size()) break;
        // A .res file opens with an empty entry of type 0.
        if (dataSize != 0 || type != "#0") resources[{type, name, language}] = bytes.substr(at + headerSize, dataSize);
        at = (at + headerSize + dataSize + 3) & ~std::size_t{3};
    }
    return resources;
}

std::string IdText(LPCSTR id) {
    return IS_INTRESOURCE(id) ? "#" + std::to_string(reinterpret_cast<ULONG_PTR>(id)) : std::string(id);
}

struct Enumeration {
    HMODULE module;
    Resources found;
};

BOOL CALLBACK AddLanguage(HMODULE module, LPCSTR type, LPCSTR name, WORD language, LONG_PTR state) {
    auto* program = reinterpret_cast<Enumeration*>(state);
    HRSRC resource = FindResourceExA(module, type, name, language);
    HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
    const char* data = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    program->found[{IdText(type), IdText(name), language}] =
        data ? std::string(data, SizeofResource(module, resource)) : "<cannot be loaded>";
    return TRUE;
}

BOOL CALLBACK AddName(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR state) {
    EnumResourceLanguagesA(module, type, name, AddLanguage, state);
    return TRUE;
}

BOOL CALLBACK AddType(HMODULE module, LPSTR type, LONG_PTR state) {
    EnumResourceNamesA(module, type, AddName, state);
    return TRUE;
}

// Every resource of a program, as the loader finds it.
Resources ReadProgram(const std::string& path) {
    Enumeration program{LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE), {}};
    UniqueModule module(program.module);
    if (module) EnumResourceTypesA(module.Get(), AddType, reinterpret_cast<LONG_PTR>(&program));
    return program.found;
}

// "" when the bytes are the same; else where they part and, in a string
// block (16 strings, each counted in UTF-16 units), which strings differ.
std::string Difference(const ResourceKey& key, const std::string& built, const std::string& golden) {
    if (built == golden) return "";
    std::size_t at = 0;
    while (at < built.size() && at < golden.size() && built[at] == golden[at]) ++at;
    std::string text = std::to_string(built.size()) + " bytes, golden " + std::to_string(golden.size()) +
                       ", first difference at byte " + std::to_string(at);
    if (std::get<0>(key) != "#6") return text;
    const int block = std::stoi(std::get<1>(key).substr(1));
    std::size_t left = 0, right = 0;
    auto next = [](const std::string& bytes, std::size_t& pos) {
        WORD count = 0;
        if (pos + 2 <= bytes.size()) std::memcpy(&count, &bytes[pos], 2);
        std::string units = bytes.substr(std::min(pos + 2, bytes.size()), 2u * count);
        pos += 2 + 2u * count;
        return units;
    };
    text += "; strings";
    for (int i = 0; i < 16; ++i) {
        if (next(built, left) != next(golden, right)) text += " " + std::to_string((block - 1) * 16 + i);
    }
    return text;
}

TEST(ProgramResourcesTest, EveryResourceIsItsGoldenBytesAndNothingElse) {
    const std::string folder = std::getenv("DVK_E2E_RESOURCES") ? std::getenv("DVK_E2E_RESOURCES") : "";
    Resources golden = ReadResFile(folder + "\\app.res");
    const Resources strings = ReadResFile(folder + "\\strings.res");
    golden.insert(strings.begin(), strings.end());
    // Two dialog templates, the icon group and its three images, a string
    // block at least, the manifest.
    ASSERT_GE(golden.size(), 8u) << "golden files in " << folder;
    const Resources built = ReadProgram(E2ePaths().updater);
    ASSERT_FALSE(built.empty()) << E2ePaths().updater << " loads as a data file";

    std::set<ResourceKey> keys;
    for (const auto& entry : built) keys.insert(entry.first);
    for (const auto& entry : golden) keys.insert(entry.first);
    for (const ResourceKey& key : keys) {
        const auto program = built.find(key);
        const auto expected = golden.find(key);
        EXPECT_TRUE(program != built.end()) << Label(key) << " is missing from the program";
        EXPECT_TRUE(expected != golden.end()) << Label(key) << " has no golden bytes (new? make them again)";
        if (program != built.end() && expected != golden.end()) {
            EXPECT_EQ(Difference(key, program->second, expected->second), "") << Label(key);
        }
    }
}

}  // namespace
