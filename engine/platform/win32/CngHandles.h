// Owners of CNG (bcrypt) handles, on the one handle template.
#pragma once

#include <windows.h>

#include <bcrypt.h>

#include "engine/platform/win32/UniqueHandle.h"

// BCryptCloseAlgorithmProvider takes a flags argument as well.
inline NTSTATUS CloseAlgorithmProvider(BCRYPT_ALG_HANDLE algorithm) {
    return BCryptCloseAlgorithmProvider(algorithm, 0);
}

using UniqueAlgorithmHandle = UniqueHandle<BCRYPT_ALG_HANDLE, &CloseAlgorithmProvider>;
using UniqueKeyHandle = UniqueHandle<BCRYPT_KEY_HANDLE, &::BCryptDestroyKey>;
using UniqueHashHandle = UniqueHandle<BCRYPT_HASH_HANDLE, &::BCryptDestroyHash>;

// The provider of a CNG algorithm (BCRYPT_SHA256_ALGORITHM, ...); holds
// nothing when the system lacks it.
inline UniqueAlgorithmHandle OpenAlgorithmProvider(const wchar_t* algorithm) {
    UniqueAlgorithmHandle provider;
    if (BCryptOpenAlgorithmProvider(provider.Put(), algorithm, nullptr, 0) < 0) provider.Release();
    return provider;
}
