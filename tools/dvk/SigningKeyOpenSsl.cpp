// The Linux build's signing key, through OpenSSL's libcrypto.
#include "tools/dvk/SigningKey.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include "tools/dvk/KeyFiles.h"
#include "tools/dvk/P256PrivateKey.h"

namespace {

EVP_PKEY* Key(void* key) {
    return static_cast<EVP_PKEY*>(key);
}

class PosixKeyFile : public NewKeyFile {
public:
    explicit PosixKeyFile(int descriptor) : descriptor_(descriptor) {}
    ~PosixKeyFile() override { ::close(descriptor_); }
    // A key's text is short: one write takes it whole, or the file is not written.
    bool Write(const std::string& text) override {
        return ::write(descriptor_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    }

private:
    int descriptor_;
};

}  // namespace

SigningKey::~SigningKey() {
    EVP_PKEY_free(Key(key_));
}

bool SigningKey::Generate(std::string& error) {
    EVP_PKEY_free(Key(key_));
    key_ = EVP_EC_gen("P-256");
    if (key_ == nullptr) {
        error = "OpenSSL could not make a P-256 key";
        return false;
    }
    return TakePublicKey(error);
}

bool SigningKey::Save(const std::string& keyFile, const std::string& publicFile, std::string& error) const {
    // The files of the Windows build, written by the same code: PrivateKeyPem
    // gives what OpenSSL's own PKCS#8 writer gives.
    P256PrivateKey key;
    key.point = publicKey_;
    BIGNUM* scalar = nullptr;
    const bool exported = EVP_PKEY_get_bn_param(Key(key_), OSSL_PKEY_PARAM_PRIV_KEY, &scalar) == 1 &&
                          BN_bn2binpad(scalar, key.scalar.data(), static_cast<int>(key.scalar.size())) ==
                              static_cast<int>(key.scalar.size());
    BN_clear_free(scalar);
    if (!exported) {
        error = "OpenSSL could not give the private key";
        return false;
    }
    std::string text = PrivateKeyPem(key);
    OPENSSL_cleanse(key.scalar.data(), key.scalar.size());
    return WriteKeyFiles(keyFile, text, publicFile, PublicKeyPem(publicKey_), error);
}

// The POSIX calls under WriteKeyFiles (tools/dvk/KeyFiles.h).
bool KeyFileNameTaken(const std::string& name) {
    struct stat info;
    return ::lstat(name.c_str(), &info) == 0;
}

std::unique_ptr<NewKeyFile> CreateKeyFile(const std::string& name, bool ownerOnly) {
    const int descriptor =
        ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, ownerOnly ? 0600 : 0644);
    if (descriptor < 0) return nullptr;
    return std::make_unique<PosixKeyFile>(descriptor);
}

void RemoveKeyFile(const std::string& name) {
    ::unlink(name.c_str());
}

bool SigningKey::Load(const std::string& keyFile, std::string& error) {
    std::string text;
    if (!ReadKeyFileText(keyFile, text, error)) return false;
    BIO* memory = BIO_new_mem_buf(text.data(), static_cast<int>(text.size()));
    EVP_PKEY* key = memory == nullptr ? nullptr : PEM_read_bio_PrivateKey(memory, nullptr, nullptr, nullptr);
    BIO_free(memory);
    WipeKeyText(text);
    char group[32] = {};
    if (key == nullptr || !EVP_PKEY_is_a(key, "EC") ||
        EVP_PKEY_get_group_name(key, group, sizeof group, nullptr) != 1 || std::string(group) != "prime256v1") {
        EVP_PKEY_free(key);
        error = "'" + keyFile + "' holds no P-256 private key in PEM (make one with dvk keygen)";
        return false;
    }
    EVP_PKEY_free(Key(key_));
    key_ = key;
    return TakePublicKey(error);
}

bool SigningKey::TakePublicKey(std::string& error) {
    // The uncompressed point, whatever form the key file used.
    EVP_PKEY_set_utf8_string_param(Key(key_), OSSL_PKEY_PARAM_EC_POINT_CONVERSION_FORMAT, "uncompressed");
    std::size_t length = 0;
    if (EVP_PKEY_get_octet_string_param(Key(key_), OSSL_PKEY_PARAM_ENCODED_PUBLIC_KEY, publicKey_.data(),
                                        publicKey_.size(), &length) != 1 ||
        length != publicKey_.size() || publicKey_[0] != 0x04) {
        error = "OpenSSL could not give the key's public point";
        return false;
    }
    return true;
}

bool SigningKey::Sign(const Sha256Digest& digest, EcSignature& signature, std::string& error) const {
    error = "OpenSSL could not sign";
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new(Key(key_), nullptr);
    if (context == nullptr) return false;
    unsigned char der[80];
    std::size_t derLength = sizeof der;
    const bool signedDigest = EVP_PKEY_sign_init(context) == 1 &&
                              EVP_PKEY_sign(context, der, &derLength, digest.data(), digest.size()) == 1;
    EVP_PKEY_CTX_free(context);
    if (!signedDigest) return false;
    // OpenSSL gives DER; the trailer holds r and s as 32 bytes each.
    const unsigned char* cursor = der;
    ECDSA_SIG* sig = d2i_ECDSA_SIG(nullptr, &cursor, static_cast<long>(derLength));
    if (sig == nullptr) return false;
    const bool split = BN_bn2binpad(ECDSA_SIG_get0_r(sig), signature.data(), 32) == 32 &&
                       BN_bn2binpad(ECDSA_SIG_get0_s(sig), signature.data() + 32, 32) == 32;
    ECDSA_SIG_free(sig);
    return split;
}
