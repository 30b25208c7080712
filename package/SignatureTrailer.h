// The signature trailer: 137 bytes at the very end of a signed package.
//
// Readers find records through the offset table, so bytes after the last
// record are never read as package content; a signed package is an ordinary
// package followed by "DVKSIG01", the signer's P-256 public key as an
// uncompressed point (0x04, X, Y) and the signature r||s over the SHA-256 of
// every byte before the trailer.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "package/PackageStream.h"

using EcPublicKey = std::array<std::uint8_t, 65>;  // 0x04, X, Y (big-endian)
using EcSignature = std::array<std::uint8_t, 64>;  // r then s (big-endian)

constexpr std::int64_t kTrailerSize = 137;
constexpr char kTrailerMagic[] = "DVKSIG01";  // 8 bytes, no NUL in the file

struct SignatureTrailer {
    EcPublicKey publicKey{};
    EcSignature signature{};
    std::int64_t signedLength = 0;  // bytes covered: the file's size less the trailer
};

// The trailer of a sound package whose reader stops at readEnd (the end of
// everything the reader reads, PackageContents::readEnd), or nothing: the file
// is shorter than a trailer, the magic is missing at size - 137, or some record
// or its data reaches into the trailer (such a package is unsigned, even when
// its last entry is itself a signed package).
[[nodiscard]] std::optional<SignatureTrailer> ReadSignatureTrailer(PackageStream& stream, std::int64_t readEnd);

// The 137 bytes of a trailer.
std::string SignatureTrailerBytes(const EcPublicKey& publicKey, const EcSignature& signature);
