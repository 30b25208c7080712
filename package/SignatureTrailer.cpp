#include "package/SignatureTrailer.h"

#include <cstring>

std::optional<SignatureTrailer> ReadSignatureTrailer(PackageStream& stream, std::int64_t readEnd) {
    const std::int64_t start = stream.Size() - kTrailerSize;
    if (start < 0 || readEnd > start || stream.Failed()) return std::nullopt;
    unsigned char bytes[kTrailerSize];
    stream.DiscardBuffer();
    stream.Seek(start);
    if (stream.Read(bytes, sizeof bytes) != sizeof bytes) return std::nullopt;
    if (std::memcmp(bytes, kTrailerMagic, 8) != 0) return std::nullopt;
    SignatureTrailer trailer;
    std::memcpy(trailer.publicKey.data(), bytes + 8, trailer.publicKey.size());
    std::memcpy(trailer.signature.data(), bytes + 73, trailer.signature.size());
    trailer.signedLength = start;
    return trailer;
}

std::string SignatureTrailerBytes(const EcPublicKey& publicKey, const EcSignature& signature) {
    std::string bytes(kTrailerMagic, 8);
    bytes.append(reinterpret_cast<const char*>(publicKey.data()), publicKey.size());
    bytes.append(reinterpret_cast<const char*>(signature.data()), signature.size());
    return bytes;
}
