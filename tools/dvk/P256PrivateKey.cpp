#include "tools/dvk/P256PrivateKey.h"

#include <algorithm>
#include <cstring>

#include "engine/PublicKeyText.h"

namespace {

// DER is canonical: one P-256 key with a named curve and its public point has
// exactly one encoding, whose lengths and tags never change. So the writer
// fills a fixed template and the reader accepts only that template; any other
// form (explicit curve parameters, a missing point, another curve) is refused
// rather than half understood.

// PKCS#8 PrivateKeyInfo { version 0, id-ecPublicKey + prime256v1, OCTET
// STRING { SEC 1 ECPrivateKey { 1, d, [1] point } } } with the curve named
// only outside, as OpenSSL writes it ("openssl genpkey", dvk keygen).
const unsigned char kPkcs8Head[] = {
    0x30, 0x81, 0x87, 0x02, 0x01, 0x00, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x02, 0x01, 0x06,
    0x08, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x03, 0x01, 0x07, 0x04, 0x6d, 0x30, 0x6b, 0x02, 0x01, 0x01, 0x04, 0x20};
const unsigned char kPkcs8Middle[] = {0xa1, 0x44, 0x03, 0x42, 0x00};

// SEC 1 ECPrivateKey { 1, d, [0] prime256v1, [1] point } ("openssl ecparam
// -genkey").
const unsigned char kSec1Head[] = {0x30, 0x77, 0x02, 0x01, 0x01, 0x04, 0x20};
const unsigned char kSec1Middle[] = {0xa0, 0x0a, 0x06, 0x08, 0x2a, 0x86, 0x48, 0xce, 0x3d,
                                     0x03, 0x01, 0x07, 0xa1, 0x44, 0x03, 0x42, 0x00};

template <std::size_t HeadSize, std::size_t MiddleSize>
std::optional<P256PrivateKey> FromTemplate(const std::string& der, const unsigned char (&head)[HeadSize],
                                           const unsigned char (&middle)[MiddleSize]) {
    P256PrivateKey key;
    if (der.size() != HeadSize + key.scalar.size() + MiddleSize + key.point.size()) return std::nullopt;
    const char* bytes = der.data();
    if (std::memcmp(bytes, head, HeadSize) != 0) return std::nullopt;
    std::memcpy(key.scalar.data(), bytes + HeadSize, key.scalar.size());
    if (std::memcmp(bytes + HeadSize + key.scalar.size(), middle, MiddleSize) != 0) return std::nullopt;
    std::memcpy(key.point.data(), bytes + HeadSize + key.scalar.size() + MiddleSize, key.point.size());
    if (key.point[0] != 0x04) return std::nullopt;
    return key;
}

std::string Pem(const std::string& label, const std::string& der) {
    const std::string base64 = Base64Encode(der);
    std::string text = "-----BEGIN " + label + "-----\n";
    for (std::size_t at = 0; at < base64.size(); at += 64) text += base64.substr(at, 64) + "\n";
    return text + "-----END " + label + "-----\n";
}

// The bytes of the first block with this label; nothing when there is none.
std::optional<std::string> PemBlock(const std::string& text, const std::string& label) {
    const std::string begin = "-----BEGIN " + label + "-----";
    const std::size_t start = text.find(begin);
    if (start == std::string::npos) return std::nullopt;
    const std::size_t end = text.find("-----END " + label + "-----", start);
    if (end == std::string::npos) return std::nullopt;
    return Base64Decode(text.substr(start + begin.size(), end - start - begin.size()));
}

}  // namespace

std::string PrivateKeyPem(const P256PrivateKey& key) {
    std::string der(reinterpret_cast<const char*>(kPkcs8Head), sizeof kPkcs8Head);
    der.append(reinterpret_cast<const char*>(key.scalar.data()), key.scalar.size());
    der.append(reinterpret_cast<const char*>(kPkcs8Middle), sizeof kPkcs8Middle);
    der.append(reinterpret_cast<const char*>(key.point.data()), key.point.size());
    std::string text = Pem("PRIVATE KEY", der);
    std::fill(der.begin(), der.end(), '\0');
    return text;
}

std::string PublicKeyPem(const EcPublicKey& point) {
    return Pem("PUBLIC KEY", P256PublicKeyInfo(point));
}

std::optional<P256PrivateKey> ReadPrivateKeyPem(const std::string& text) {
    if (const auto der = PemBlock(text, "PRIVATE KEY")) return FromTemplate(*der, kPkcs8Head, kPkcs8Middle);
    if (const auto der = PemBlock(text, "EC PRIVATE KEY")) return FromTemplate(*der, kSec1Head, kSec1Middle);
    return std::nullopt;
}
