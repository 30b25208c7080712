// The crypto interface over OpenSSL's libcrypto (3.0 API).
#include "engine/Crypto.h"

#include "engine/PublicKeyText.h"

#include <openssl/core_names.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/x509.h>

namespace {

struct PkeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using UniquePkey = std::unique_ptr<EVP_PKEY, PkeyFree>;

// A P-256 key from its uncompressed point; null when the point is not on the curve.
UniquePkey KeyFromPoint(const EcPublicKey& point) {
    char group[] = "prime256v1";
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, group, 0),
        OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, const_cast<std::uint8_t*>(point.data()),
                                          point.size()),
        OSSL_PARAM_construct_end(),
    };
    EVP_PKEY* key = nullptr;
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr);
    if (context != nullptr && EVP_PKEY_fromdata_init(context) == 1) {
        EVP_PKEY_fromdata(context, &key, EVP_PKEY_PUBLIC_KEY, params);
    }
    EVP_PKEY_CTX_free(context);
    return UniquePkey(key);
}

}  // namespace

struct Sha256::State {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    bool failed = context == nullptr || EVP_DigestInit_ex(context, EVP_sha256(), nullptr) != 1;
    ~State() { EVP_MD_CTX_free(context); }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {}
Sha256::~Sha256() = default;

void Sha256::Update(const void* data, std::size_t size) {
    if (!state_->failed && EVP_DigestUpdate(state_->context, data, size) != 1) state_->failed = true;
}

std::optional<Sha256Digest> Sha256::Finish() {
    Sha256Digest digest{};
    unsigned int length = 0;
    if (state_->failed || EVP_DigestFinal_ex(state_->context, digest.data(), &length) != 1 ||
        length != digest.size()) {
        state_->failed = true;
        return std::nullopt;
    }
    state_->failed = true;  // spent
    return digest;
}

bool VerifyP256Signature(const EcPublicKey& key, const Sha256Digest& digest, const EcSignature& signature) {
    UniquePkey pkey = KeyFromPoint(key);
    if (!pkey) return false;
    // OpenSSL takes the signature in DER; build it from r and s with its own calls.
    ECDSA_SIG* sig = ECDSA_SIG_new();
    BIGNUM* r = BN_bin2bn(signature.data(), 32, nullptr);
    BIGNUM* s = BN_bin2bn(signature.data() + 32, 32, nullptr);
    if (sig == nullptr || r == nullptr || s == nullptr || ECDSA_SIG_set0(sig, r, s) != 1) {
        BN_free(r);
        BN_free(s);
        ECDSA_SIG_free(sig);
        return false;
    }
    unsigned char* der = nullptr;
    const int derLength = i2d_ECDSA_SIG(sig, &der);
    ECDSA_SIG_free(sig);
    if (derLength <= 0) return false;
    bool valid = false;
    if (EVP_PKEY_CTX* context = EVP_PKEY_CTX_new(pkey.get(), nullptr)) {
        valid = EVP_PKEY_verify_init(context) == 1 &&
                EVP_PKEY_verify(context, der, static_cast<std::size_t>(derLength), digest.data(), digest.size()) == 1;
        EVP_PKEY_CTX_free(context);
    }
    OPENSSL_free(der);
    return valid;
}

std::optional<EcPublicKey> DecodeP256PublicKeyInfo(const std::string& der) {
    const unsigned char* cursor = reinterpret_cast<const unsigned char*>(der.data());
    UniquePkey pkey(d2i_PUBKEY(nullptr, &cursor, static_cast<long>(der.size())));
    if (!pkey || cursor != reinterpret_cast<const unsigned char*>(der.data()) + der.size()) return std::nullopt;
    char group[32] = {};
    if (!EVP_PKEY_is_a(pkey.get(), "EC") ||
        EVP_PKEY_get_group_name(pkey.get(), group, sizeof group, nullptr) != 1 ||
        std::string(group) != "prime256v1") {
        return std::nullopt;
    }
    // The Windows build takes the one encoding with an uncompressed point
    // (CNG imports no compressed point); the same keys are taken here.
    std::optional<EcPublicKey> point = PointFromP256PublicKeyInfo(der);
    EcPublicKey decoded{};
    std::size_t length = 0;
    if (!point ||
        EVP_PKEY_get_octet_string_param(pkey.get(), OSSL_PKEY_PARAM_ENCODED_PUBLIC_KEY, decoded.data(), decoded.size(),
                                        &length) != 1 ||
        length != decoded.size() || decoded != *point) {
        return std::nullopt;
    }
    return point;
}
