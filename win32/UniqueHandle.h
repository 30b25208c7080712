// One owner for every kind of Win32 handle, in the shape of WIL's unique_any:
// the handle type, the function that closes it and the value that means "none"
// make the type; the owner closes what it holds when it goes away. The list of
// kinds is in Handles.h and CngHandles.h.
#pragma once

#include <windows.h>

#include <cstdint>
#include <type_traits>
#include <utility>

// Close answers true when the handle was closed: each kind's closer turns its
// function's own success convention into that, so none is guessed here.
template <typename Handle, auto Close, std::intptr_t kInvalid = 0>
class UniqueHandle {
    static_assert(std::is_same_v<decltype(Close(Handle())), bool>, "Close must say whether it closed");

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
        return old == Invalid() || Close(old);
    }

private:
    Handle handle_ = Invalid();
};
