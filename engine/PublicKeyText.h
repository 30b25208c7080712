// Public keys as people and the registry write them: the base64 of a P-256
// key's DER SubjectPublicKeyInfo (what "openssl pkey -pubin -outform DER |
// base64 -w0" prints), or the same in a PEM "PUBLIC KEY" block.
#pragma once

#include <optional>
#include <string>

#include "package/SignatureTrailer.h"

// Standard base64 with padding.
std::string Base64Encode(const std::string& bytes);
// The bytes of base64 text; ASCII white space is skipped. Nothing on any other
// character outside the alphabet or on wrong padding.
std::optional<std::string> Base64Decode(const std::string& text);

// The DER SubjectPublicKeyInfo of a P-256 point, and its base64.
std::string P256PublicKeyInfo(const EcPublicKey& point);
std::string PublicKeyBase64(const EcPublicKey& point);
// The point inside the one DER encoding of a P-256 SubjectPublicKeyInfo with
// an uncompressed point; nothing for any other bytes. Not a check that the
// point is on the curve (DecodeP256PublicKeyInfo in Crypto.h is).
std::optional<EcPublicKey> PointFromP256PublicKeyInfo(const std::string& der);

// A P-256 key from base64 text or a PEM block, decoded by the system's crypto;
// nothing when the text holds no valid key.
std::optional<EcPublicKey> ParsePublicKeyText(const std::string& text);
