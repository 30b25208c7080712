#include "engine/PublicKeyText.h"

#include <cstring>

#include "engine/Crypto.h"

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// SEQUENCE { SEQUENCE { id-ecPublicKey, prime256v1 }, BIT STRING (66 bytes, no unused bits) }
const char kP256InfoPrefix[] =
    "\x30\x59\x30\x13\x06\x07\x2a\x86\x48\xce\x3d\x02\x01\x06\x08\x2a\x86\x48\xce\x3d\x03\x01\x07\x03\x42\x00";
constexpr std::size_t kP256InfoPrefixSize = sizeof kP256InfoPrefix - 1;

int Sextet(char c) {
    const char* found = c == '\0' ? nullptr : std::strchr(kAlphabet, c);
    return found == nullptr ? -1 : static_cast<int>(found - kAlphabet);
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

std::string Base64Encode(const std::string& bytes) {
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t group = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
        if (i + 1 < bytes.size()) group |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        if (i + 2 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 2]);
        text += kAlphabet[(group >> 18) & 63];
        text += kAlphabet[(group >> 12) & 63];
        text += i + 1 < bytes.size() ? kAlphabet[(group >> 6) & 63] : '=';
        text += i + 2 < bytes.size() ? kAlphabet[group & 63] : '=';
    }
    return text;
}

std::optional<std::string> Base64Decode(const std::string& text) {
    std::string clean;
    for (char c : text) {
        if (!IsSpace(c)) clean += c;
    }
    if (clean.size() % 4 != 0) return std::nullopt;
    std::size_t padding = 0;
    while (padding < clean.size() && clean[clean.size() - 1 - padding] == '=') ++padding;
    if (padding > 2) return std::nullopt;
    std::string bytes;
    std::uint32_t group = 0;
    for (std::size_t i = 0; i < clean.size(); ++i) {
        const int value = i < clean.size() - padding ? Sextet(clean[i]) : 0;
        if (value < 0) return std::nullopt;
        group = (group << 6) | static_cast<std::uint32_t>(value);
        if (i % 4 == 3) {
            bytes += static_cast<char>((group >> 16) & 0xFF);
            bytes += static_cast<char>((group >> 8) & 0xFF);
            bytes += static_cast<char>(group & 0xFF);
            group = 0;
        }
    }
    bytes.resize(bytes.size() - padding);
    return bytes;
}

std::string P256PublicKeyInfo(const EcPublicKey& point) {
    return std::string(kP256InfoPrefix, kP256InfoPrefixSize) +
           std::string(reinterpret_cast<const char*>(point.data()), point.size());
}

std::string PublicKeyBase64(const EcPublicKey& point) {
    return Base64Encode(P256PublicKeyInfo(point));
}

std::optional<EcPublicKey> PointFromP256PublicKeyInfo(const std::string& der) {
    EcPublicKey point{};
    if (der.size() != kP256InfoPrefixSize + point.size() ||
        der.compare(0, kP256InfoPrefixSize, kP256InfoPrefix, kP256InfoPrefixSize) != 0 ||
        static_cast<unsigned char>(der[kP256InfoPrefixSize]) != 0x04) {
        return std::nullopt;
    }
    std::memcpy(point.data(), der.data() + kP256InfoPrefixSize, point.size());
    return point;
}

std::optional<EcPublicKey> ParsePublicKeyText(const std::string& text) {
    // In a PEM block only the lines between the armour lines are base64.
    std::string body;
    const std::size_t begin = text.find("-----BEGIN PUBLIC KEY-----");
    if (begin != std::string::npos) {
        const std::size_t start = text.find('\n', begin);
        const std::size_t end = text.find("-----END PUBLIC KEY-----");
        if (start == std::string::npos || end == std::string::npos || end < start) return std::nullopt;
        body = text.substr(start + 1, end - start - 1);
    } else {
        body = text;
    }
    std::optional<std::string> der = Base64Decode(body);
    if (!der) return std::nullopt;
    return DecodeP256PublicKeyInfo(*der);
}
