// Read-only views on Windows: the file opened without following a reparse
// point at its name and shared for reading only, then an unnamed mapping
// (no name another user could take first) and one view of all of it.
#include <windows.h>

#include <cstdint>
#include <limits>

#include "engine/MappedFile.h"
#include "engine/platform/win32/Win32WidePath.h"
#include "win32/Handles.h"

namespace {

inline bool UnmapView(LPCVOID view) { return UnmapViewOfFile(view) != FALSE; }  // nonzero BOOL
using UniqueView = UniqueHandle<LPCVOID, &UnmapView>;

class Win32MappedFile : public MappedFile {
public:
    Win32MappedFile(UniqueFileHandle file, UniqueKernelHandle mapping, UniqueView view, std::size_t size)
        : file_(std::move(file)), mapping_(std::move(mapping)), view_(std::move(view)), size_(size) {}

    const std::uint8_t* Data() const override { return static_cast<const std::uint8_t*>(view_.Get()); }
    std::size_t Size() const override { return size_; }

private:
    // Members close in reverse: the view, then the mapping, then the file,
    // whose missing write and delete sharing keeps the bytes as they are.
    UniqueFileHandle file_;
    UniqueKernelHandle mapping_;
    UniqueView view_;
    std::size_t size_;
};

}  // namespace

std::unique_ptr<MappedFile> MapFileForReading(const std::string& path) {
    const std::wstring wide = WidePath(path);
    if (wide.empty()) return nullptr;
    UniqueFileHandle file(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return nullptr;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file.Get(), &info)) return nullptr;
    if ((info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) return nullptr;
    if (GetFileType(file.Get()) != FILE_TYPE_DISK) return nullptr;
    const std::uint64_t size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    if (size > std::numeric_limits<std::size_t>::max()) return nullptr;
    if (size == 0) {
        // A mapping of an empty file cannot be made; the open file still
        // keeps it empty.
        return std::make_unique<Win32MappedFile>(std::move(file), UniqueKernelHandle(), UniqueView(), 0);
    }
    UniqueKernelHandle mapping(CreateFileMappingW(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping) return nullptr;
    UniqueView view(MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0));
    if (!view) return nullptr;
    return std::make_unique<Win32MappedFile>(std::move(file), std::move(mapping), std::move(view),
                                             static_cast<std::size_t>(size));
}
