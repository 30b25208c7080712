// The crypto interface over CNG (bcrypt), which every Windows since Vista
// has: nothing extra ships with the program.
#include "engine/Crypto.h"

#include <windows.h>

#include <bcrypt.h>

#include <cstring>

#include "engine/PublicKeyText.h"
#include "win32/CngHandles.h"

namespace {

bool Succeeded(NTSTATUS status) {
    return status >= 0;
}

// A P-256 public key imported from its uncompressed point; none when the
// point is not on the curve.
class ImportedKey {
public:
    explicit ImportedKey(const EcPublicKey& point) {
        if (point[0] != 0x04 || !algorithm_) return;
        // BCRYPT_ECCPUBLIC_BLOB: the header, then X and Y.
        unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + 64];
        const BCRYPT_ECCKEY_BLOB header = {BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
        std::memcpy(blob, &header, sizeof header);
        std::memcpy(blob + sizeof header, point.data() + 1, 64);
        if (!Succeeded(BCryptImportKeyPair(algorithm_.Get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, key_.Put(), blob,
                                           sizeof blob, 0))) {
            key_.Release();
        }
    }
    BCRYPT_KEY_HANDLE Get() const { return key_.Get(); }

private:
    UniqueAlgorithmHandle algorithm_ = OpenAlgorithmProvider(BCRYPT_ECDSA_P256_ALGORITHM);
    UniqueKeyHandle key_;
};

}  // namespace

struct Sha256::State {
    UniqueAlgorithmHandle algorithm = OpenAlgorithmProvider(BCRYPT_SHA256_ALGORITHM);
    UniqueHashHandle hash;
    bool failed = false;
    State() {
        failed = !algorithm || !Succeeded(BCryptCreateHash(algorithm.Get(), hash.Put(), nullptr, 0, nullptr, 0, 0));
        if (failed) hash.Release();
    }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {}
Sha256::~Sha256() = default;

void Sha256::Update(const void* data, std::size_t size) {
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    while (!state_->failed && size > 0) {
        // BCryptHashData takes a ULONG count.
        ULONG piece = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
        if (!Succeeded(BCryptHashData(state_->hash.Get(), const_cast<PUCHAR>(bytes), piece, 0))) state_->failed = true;
        bytes += piece;
        size -= piece;
    }
}

std::optional<Sha256Digest> Sha256::Finish() {
    Sha256Digest digest{};
    const bool ok = !state_->failed && Succeeded(BCryptFinishHash(state_->hash.Get(), digest.data(), digest.size(), 0));
    state_->failed = true;  // spent
    if (!ok) return std::nullopt;
    return digest;
}

bool VerifyP256Signature(const EcPublicKey& key, const Sha256Digest& digest, const EcSignature& signature) {
    ImportedKey imported(key);
    if (imported.Get() == nullptr) return false;
    return BCryptVerifySignature(imported.Get(), nullptr, const_cast<PUCHAR>(digest.data()),
                                 static_cast<ULONG>(digest.size()), const_cast<PUCHAR>(signature.data()),
                                 static_cast<ULONG>(signature.size()), 0) == 0;
}

std::optional<EcPublicKey> DecodeP256PublicKeyInfo(const std::string& der) {
    // DER is canonical: a P-256 key with an uncompressed point has exactly one
    // encoding, a fixed 26-byte prefix and the point. Comparing the prefix is
    // therefore an exact decoding; the import then checks the point is on the curve.
    std::optional<EcPublicKey> point = PointFromP256PublicKeyInfo(der);
    if (!point || ImportedKey(*point).Get() == nullptr) return std::nullopt;
    return point;
}
