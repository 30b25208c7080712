// The owners of CNG (bcrypt) handles, on the one handle template: each closer
// returns an NTSTATUS, negative on failure; every kind is null when none.
#pragma once

#include <windows.h>

#include <bcrypt.h>

#include "win32/UniqueHandle.h"

inline bool CloseAlgorithm(BCRYPT_ALG_HANDLE algorithm) { return BCryptCloseAlgorithmProvider(algorithm, 0) >= 0; }
inline bool DestroyCngKey(BCRYPT_KEY_HANDLE key) { return BCryptDestroyKey(key) >= 0; }
inline bool DestroyCngHash(BCRYPT_HASH_HANDLE hash) { return BCryptDestroyHash(hash) >= 0; }

using UniqueAlgorithmHandle = UniqueHandle<BCRYPT_ALG_HANDLE, &CloseAlgorithm>;
using UniqueKeyHandle = UniqueHandle<BCRYPT_KEY_HANDLE, &DestroyCngKey>;
using UniqueHashHandle = UniqueHandle<BCRYPT_HASH_HANDLE, &DestroyCngHash>;

// The provider of a CNG algorithm (BCRYPT_SHA256_ALGORITHM, ...); holds
// nothing when the system lacks it.
inline UniqueAlgorithmHandle OpenAlgorithmProvider(const wchar_t* algorithm) {
    UniqueAlgorithmHandle provider;
    if (BCryptOpenAlgorithmProvider(provider.Put(), algorithm, nullptr, 0) < 0) provider.Release();
    return provider;
}
