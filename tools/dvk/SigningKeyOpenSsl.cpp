// The Linux build's signing key, through OpenSSL's libcrypto.
#include "tools/dvk/SigningKey.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include <openssl/core_names.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include "package/UniqueStdioFile.h"

namespace {

EVP_PKEY* Key(void* key) {
    return static_cast<EVP_PKEY*>(key);
}

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
    // Neither name may be taken, by a file or a link, before either is
    // written; each is then made new (O_EXCL, no link followed), the private
    // one owner-only from the start.
    for (const std::string* name : {&keyFile, &publicFile}) {
        struct stat info;
        if (::lstat(name->c_str(), &info) == 0) {
            error = "cannot create '" + *name + "' (it must not exist yet); nothing was written";
            return false;
        }
    }
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    const int keyDescriptor = open(keyFile.c_str(), flags, 0600);
    if (keyDescriptor < 0) {
        error = "cannot create '" + keyFile + "' (it must not exist yet)";
        return false;
    }
    UniqueStdioFile file(fdopen(keyDescriptor, "wb"));
    if (!file) close(keyDescriptor);
    const int publicDescriptor = file ? open(publicFile.c_str(), flags, 0644) : -1;
    UniqueStdioFile pub(publicDescriptor < 0 ? nullptr : fdopen(publicDescriptor, "wb"));
    if (publicDescriptor >= 0 && !pub) close(publicDescriptor);
    if (!pub) {
        file.reset();
        unlink(keyFile.c_str());  // made above, empty
        if (publicDescriptor >= 0) unlink(publicFile.c_str());
        error = "cannot create '" + publicFile + "' (it must not exist yet); nothing was written";
        return false;
    }
    const bool keyWritten = PEM_write_PKCS8PrivateKey(file.get(), Key(key_), nullptr, nullptr, 0, nullptr, nullptr) == 1 &&
                            std::fflush(file.get()) == 0;
    const bool publicWritten = keyWritten && PEM_write_PUBKEY(pub.get(), Key(key_)) == 1 && std::fflush(pub.get()) == 0;
    if (!publicWritten) {
        file.reset();
        pub.reset();
        unlink(keyFile.c_str());
        unlink(publicFile.c_str());
        error = "cannot write '" + (keyWritten ? publicFile : keyFile) + "'";
        return false;
    }
    return true;
}

bool SigningKey::Load(const std::string& keyFile, std::string& error) {
    UniqueStdioFile file(std::fopen(keyFile.c_str(), "rb"));
    if (!file) {
        error = "'" + keyFile + "': cannot read the file";
        return false;
    }
    EVP_PKEY* key = PEM_read_PrivateKey(file.get(), nullptr, nullptr, nullptr);
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
