// One owner for every kind of Win32 handle, in the shape of WIL's unique_any:
// the handle type, the function that closes it and the value that means "none"
// make the type; the owner closes what it holds when it goes away.
#pragma once

#include <windows.h>

#include <cstdint>
#include <type_traits>
#include <utility>

template <typename Handle, auto Close, std::intptr_t kInvalid = 0>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    // The value that stands for no handle (null, or INVALID_HANDLE_VALUE for
    // the kinds whose creating function returns that on failure).
    static Handle Invalid() {
        if constexpr (std::is_pointer_v<Handle>) {
            return reinterpret_cast<Handle>(kInvalid);
        } else {
            return static_cast<Handle>(kInvalid);
        }
    }

    bool IsValid() const { return handle_ != Invalid(); }
    explicit operator bool() const { return IsValid(); }
    Handle Get() const { return handle_; }
    // Where a creating function stores the new handle; what was held is closed first.
    Handle* Put() {
        Reset();
        return &handle_;
    }
    // Gives the handle up without closing it.
    Handle Release() { return std::exchange(handle_, Invalid()); }
    // Closes what is held and takes handle instead. False when the close failed
    // (the handle is given up either way).
    bool Reset(Handle handle = Invalid()) {
        Handle old = std::exchange(handle_, handle);
        if (old == Invalid()) return true;
        return Close(old) == 0 ? IsSuccessWhenZero() : !IsSuccessWhenZero();
    }

private:
    // RegCloseKey returns ERROR_SUCCESS (0); CloseHandle and FindClose return
    // a nonzero BOOL.
    static constexpr bool IsSuccessWhenZero() { return std::is_same_v<decltype(Close(Handle())), LONG>; }

    Handle handle_ = Invalid();
};

using UniqueKernelHandle = UniqueHandle<HANDLE, &::CloseHandle>;                 // threads, events
using UniqueFileHandle = UniqueHandle<HANDLE, &::CloseHandle, -1>;               // CreateFile
using UniqueFindHandle = UniqueHandle<HANDLE, &::FindClose, -1>;                 // FindFirstFile
using UniqueRegistryKey = UniqueHandle<HKEY, &::RegCloseKey>;                    // RegOpenKeyEx

// LocalFree gives back null on success: as a BOOL, the other way round.
inline BOOL FreeLocalMemory(HLOCAL memory) { return LocalFree(memory) == nullptr; }
using UniqueLocalMemory = UniqueHandle<HLOCAL, &FreeLocalMemory>;                // security descriptors
