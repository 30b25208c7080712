// The publisher's private P-256 key: made, stored, loaded and used to sign,
// through OpenSSL on Linux (SigningKeyOpenSsl.cpp) and CNG on Windows
// (SigningKeyCng.cpp). Both builds write and read the same key files.
#pragma once

#include <string>

#include "engine/Crypto.h"
#include "package/SignatureTrailer.h"

class SigningKey {
public:
    SigningKey() = default;
    ~SigningKey();
    SigningKey(const SigningKey&) = delete;
    SigningKey& operator=(const SigningKey&) = delete;

    // A new random key.
    [[nodiscard]] bool Generate(std::string& error);
    // Writes the private key as PEM PKCS#8 to a new file only its owner may
    // read (an existing file is never replaced), and the public key as PEM.
    [[nodiscard]] bool Save(const std::string& keyFile, const std::string& publicFile, std::string& error) const;
    // Reads a PEM private key (PKCS#8, or OpenSSL's "EC PRIVATE KEY") on P-256.
    [[nodiscard]] bool Load(const std::string& keyFile, std::string& error);

    const EcPublicKey& PublicKey() const { return publicKey_; }
    // The signature r||s of a digest.
    [[nodiscard]] bool Sign(const Sha256Digest& digest, EcSignature& signature, std::string& error) const;

private:
    [[nodiscard]] bool TakePublicKey(std::string& error);

    void* key_ = nullptr;  // EVP_PKEY* or BCRYPT_KEY_HANDLE, kept out of this header
    EcPublicKey publicKey_{};
};
