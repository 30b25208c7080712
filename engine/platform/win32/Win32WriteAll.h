// Writing every byte to a file handle: the one loop the journal, the log and
// the staged files share.
#pragma once

#include <windows.h>

#include <cstddef>

// False when some byte could not be written (the error in GetLastError).
[[nodiscard]] inline bool WriteAll(HANDLE file, const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        // WriteFile takes a 32-bit count: large buffers go in pieces.
        const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(file, bytes, chunk, &written, nullptr) || written == 0) return false;
        bytes += written;
        size -= written;
    }
    return true;
}
