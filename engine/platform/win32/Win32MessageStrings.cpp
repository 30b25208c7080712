#include <windows.h>

#include <vector>

#include "engine/MessageStrings.h"

std::string LoadMessageString(int id) {
    // LoadStringA truncates to the buffer, so grow until the text fits whole.
    std::vector<char> buffer(256);
    for (;;) {
        int length = LoadStringA(GetModuleHandleA(nullptr), static_cast<UINT>(id), buffer.data(),
                                 static_cast<int>(buffer.size()));
        if (length <= 0) return std::string();
        if (static_cast<std::size_t>(length) < buffer.size() - 1) return std::string(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}
