// A P-256 private key as bytes, and its key file: PEM PKCS#8 written, PEM
// PKCS#8 or SEC 1 ("EC PRIVATE KEY") read. The Windows build of dvk keeps its
// keys in the same files as the OpenSSL build, through these.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "package/SignatureTrailer.h"

struct P256PrivateKey {
    std::array<std::uint8_t, 32> scalar{};  // d
    EcPublicKey point{};                    // 04 || X || Y, d times the base point
};

// The PEM "PRIVATE KEY" text (PKCS#8) of a key, byte for byte what OpenSSL
// writes for it.
std::string PrivateKeyPem(const P256PrivateKey& key);
// The PEM "PUBLIC KEY" text (SubjectPublicKeyInfo) of a point.
std::string PublicKeyPem(const EcPublicKey& point);
// The key in a PEM "PRIVATE KEY" or "EC PRIVATE KEY" block as OpenSSL writes
// it for P-256 (named curve, public point included); nothing for anything
// else. Not a check that the point belongs to the scalar.
std::optional<P256PrivateKey> ReadPrivateKeyPem(const std::string& text);
