// The owners of the system's handles, one line each: the closer (with what its
// function returns on success), then the owner (with the value that means
// "none" when it is not null).
#pragma once

#include <windows.h>

#include "win32/UniqueHandle.h"

inline bool CloseKernelObject(HANDLE handle) { return CloseHandle(handle) != FALSE; }   // nonzero BOOL
inline bool CloseFindSearch(HANDLE search) { return FindClose(search) != FALSE; }      // nonzero BOOL
inline bool CloseRegistryKey(HKEY key) { return RegCloseKey(key) == ERROR_SUCCESS; }   // ERROR_SUCCESS (0)
inline bool FreeLocalMemory(HLOCAL memory) { return LocalFree(memory) == nullptr; }    // null (else the memory)
inline bool FreeLoadedModule(HMODULE module) { return FreeLibrary(module) != FALSE; }  // nonzero BOOL
inline bool RemoveHook(HHOOK hook) { return UnhookWindowsHookEx(hook) != FALSE; }      // nonzero BOOL

// Threads, processes, events, mutexes, tokens: their creating functions
// return null on failure.
using UniqueKernelHandle = UniqueHandle<HANDLE, &CloseKernelObject>;
// CreateFile returns INVALID_HANDLE_VALUE on failure, not null.
using UniqueFileHandle = UniqueHandle<HANDLE, &CloseKernelObject, -1>;
// FindFirstFile: INVALID_HANDLE_VALUE on failure.
using UniqueFindHandle = UniqueHandle<HANDLE, &CloseFindSearch, -1>;
// RegOpenKeyEx, RegCreateKeyEx.
using UniqueRegistryKey = UniqueHandle<HKEY, &CloseRegistryKey>;
// What the system allocates for the caller: security descriptors, their texts,
// CommandLineToArgvW's list.
using UniqueLocalMemory = UniqueHandle<HLOCAL, &FreeLocalMemory>;
// LoadLibrary, LoadLibraryEx (a data file too).
using UniqueModule = UniqueHandle<HMODULE, &FreeLoadedModule>;
// SetWindowsHookEx.
using UniqueHook = UniqueHandle<HHOOK, &RemoveHook>;
