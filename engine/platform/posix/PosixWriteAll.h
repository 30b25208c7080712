// Writing every byte to a descriptor: the one loop the journal, the log and
// the staged files share.
#pragma once

#include <errno.h>
#include <unistd.h>

#include <cstddef>

// False when some byte could not be written (the descriptor's error in errno).
[[nodiscard]] inline bool WriteAll(int fd, const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}
