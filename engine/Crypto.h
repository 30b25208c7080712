// The system's cryptography, as much as signed packages need: SHA-256, the
// check of an ECDSA P-256 signature, and the decoding of a P-256 public key.
// OpenSSL's libcrypto on Linux (platform/posix), CNG's bcrypt on Windows
// (platform/win32); nothing here is computed by our own code.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "package/SignatureTrailer.h"

using Sha256Digest = std::array<std::uint8_t, 32>;

// A SHA-256 computed piece by piece.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Update(const void* data, std::size_t size);
    // The digest of everything given; nothing when the library failed at any
    // step. The object is spent afterwards.
    [[nodiscard]] std::optional<Sha256Digest> Finish();

    struct State;

private:
    std::unique_ptr<State> state_;
};

// Whether signature (r||s) is a valid ECDSA P-256 signature of digest by key
// (an uncompressed point). False for a point that is not on the curve.
[[nodiscard]] bool VerifyP256Signature(const EcPublicKey& key, const Sha256Digest& digest,
                                       const EcSignature& signature);

// The point of a P-256 public key from its DER SubjectPublicKeyInfo, or
// nothing when the bytes are not exactly that (another curve or algorithm,
// a compressed point, bytes left over).
std::optional<EcPublicKey> DecodeP256PublicKeyInfo(const std::string& der);
