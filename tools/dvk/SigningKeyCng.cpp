// The Windows build's signing key, through CNG (bcrypt): the key files are
// those of the OpenSSL build (P256PrivateKey), so keys move between the two.
#include "tools/dvk/SigningKey.h"

#include <windows.h>

#include <bcrypt.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "win32/CngHandles.h"
#include "win32/Handles.h"
#include "tools/dvk/KeyFiles.h"
#include "tools/dvk/P256PrivateKey.h"

namespace {

bool Succeeded(NTSTATUS status) {
    return status >= 0;
}

BCRYPT_KEY_HANDLE Key(void* key) {
    return static_cast<BCRYPT_KEY_HANDLE>(key);
}

// Destroys the key held in key_ (a handle kept out of the portable header),
// through its owner.
void DestroyHeldKey(void*& key) {
    UniqueKeyHandle held(Key(std::exchange(key, nullptr)));
}

// BCRYPT_ECCPRIVATE_BLOB: the header, then X, Y and d; wiped when done.
struct PrivateBlob {
    unsigned char bytes[sizeof(BCRYPT_ECCKEY_BLOB) + 96] = {};
    ~PrivateBlob() { SecureZeroMemory(bytes, sizeof bytes); }
};

// A security descriptor whose protected DACL lets only the current user in,
// so the new key file inherits nothing from its folder. (Wine keeps no DACL
// on its files: it makes the Unix mode rwxr-x--- of it, and reads back the
// user and SYSTEM alone.)
class OwnerOnlySecurity {
public:
    OwnerOnlySecurity() {
        UniqueKernelHandle tokenOwner;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, tokenOwner.Put())) return;
        HANDLE token = tokenOwner.Get();
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        user_.resize(size);
        if (size == 0 || !GetTokenInformation(token, TokenUser, user_.data(), size, &size)) return;
        PSID sid = reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid;
        acl_.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid));
        ACL* acl = reinterpret_cast<ACL*>(acl_.data());
        ready_ = InitializeAcl(acl, static_cast<DWORD>(acl_.size()), ACL_REVISION) &&
                 AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, sid) &&
                 InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
                 SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) &&
                 SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
        attributes_ = {sizeof attributes_, &descriptor_, FALSE};
    }
    SECURITY_ATTRIBUTES* Get() { return ready_ ? &attributes_ : nullptr; }

private:
    std::vector<unsigned char> user_;
    std::vector<unsigned char> acl_;
    SECURITY_DESCRIPTOR descriptor_{};
    SECURITY_ATTRIBUTES attributes_{};
    bool ready_ = false;
};

class Win32KeyFile : public NewKeyFile {
public:
    explicit Win32KeyFile(UniqueFileHandle file) : file_(std::move(file)) {}
    bool Write(const std::string& text) override {
        DWORD written = 0;
        return WriteFile(file_.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
               written == text.size() && FlushFileBuffers(file_.Get());
    }

private:
    UniqueFileHandle file_;
};

}  // namespace

// The Windows calls under WriteKeyFiles (tools/dvk/KeyFiles.h).
bool KeyFileNameTaken(const std::string& name) {
    return GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::unique_ptr<NewKeyFile> CreateKeyFile(const std::string& name, bool ownerOnly) {
    OwnerOnlySecurity security;
    if (ownerOnly && security.Get() == nullptr) return nullptr;
    UniqueFileHandle file(CreateFileA(name.c_str(), GENERIC_WRITE, 0, ownerOnly ? security.Get() : nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) return nullptr;
    return std::make_unique<Win32KeyFile>(std::move(file));
}

void RemoveKeyFile(const std::string& name) {
    DeleteFileA(name.c_str());
}

SigningKey::~SigningKey() {
    DestroyHeldKey(key_);
}

bool SigningKey::Generate(std::string& error) {
    error = "CNG could not make a P-256 key";
    UniqueAlgorithmHandle provider = OpenAlgorithmProvider(BCRYPT_ECDSA_P256_ALGORITHM);
    UniqueKeyHandle key;
    if (!provider || !Succeeded(BCryptGenerateKeyPair(provider.Get(), key.Put(), 256, 0))) {
        key.Release();  // nothing was made
        return false;
    }
    if (!Succeeded(BCryptFinalizeKeyPair(key.Get(), 0))) return false;
    DestroyHeldKey(key_);
    key_ = key.Release();
    return TakePublicKey(error);
}

bool SigningKey::Save(const std::string& keyFile, const std::string& publicFile, std::string& error) const {
    PrivateBlob blob;
    ULONG size = 0;
    if (!Succeeded(BCryptExportKey(Key(key_), nullptr, BCRYPT_ECCPRIVATE_BLOB, blob.bytes, sizeof blob.bytes, &size, 0)) ||
        size != sizeof blob.bytes) {
        error = "CNG could not give the private key";
        return false;
    }
    P256PrivateKey key;
    key.point = publicKey_;
    std::memcpy(key.scalar.data(), blob.bytes + sizeof(BCRYPT_ECCKEY_BLOB) + 64, key.scalar.size());
    std::string text = PrivateKeyPem(key);
    SecureZeroMemory(key.scalar.data(), key.scalar.size());
    return WriteKeyFiles(keyFile, text, publicFile, PublicKeyPem(publicKey_), error);
}

bool SigningKey::Load(const std::string& keyFile, std::string& error) {
    std::string text;
    if (!ReadKeyFileText(keyFile, text, error)) return false;
    std::optional<P256PrivateKey> read = ReadPrivateKeyPem(text);
    WipeKeyText(text);
    error = "'" + keyFile + "' holds no P-256 private key in PEM (make one with dvk keygen)";
    if (!read) return false;

    PrivateBlob blob;
    const BCRYPT_ECCKEY_BLOB header = {BCRYPT_ECDSA_PRIVATE_P256_MAGIC, 32};
    std::memcpy(blob.bytes, &header, sizeof header);
    std::memcpy(blob.bytes + sizeof header, read->point.data() + 1, 64);
    std::memcpy(blob.bytes + sizeof header + 64, read->scalar.data(), 32);
    SecureZeroMemory(read->scalar.data(), read->scalar.size());
    UniqueAlgorithmHandle provider = OpenAlgorithmProvider(BCRYPT_ECDSA_P256_ALGORITHM);
    UniqueKeyHandle key;
    if (!provider || !Succeeded(BCryptImportKeyPair(provider.Get(), nullptr, BCRYPT_ECCPRIVATE_BLOB, key.Put(),
                                                    blob.bytes, sizeof blob.bytes, 0))) {
        key.Release();
        return false;
    }
    // The file's point must be the scalar's: a signature made with d has to
    // pass the check by that point, else packages would name a key that did
    // not sign them.
    Sha256Digest probe{};
    EcSignature signature{};
    ULONG size = 0;
    if (!Succeeded(BCryptSignHash(key.Get(), nullptr, probe.data(), probe.size(), signature.data(), signature.size(),
                                  &size, 0)) ||
        !VerifyP256Signature(read->point, probe, signature)) {
        return false;
    }
    DestroyHeldKey(key_);
    key_ = key.Release();
    return TakePublicKey(error);
}

bool SigningKey::TakePublicKey(std::string& error) {
    unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + 64];
    ULONG size = 0;
    if (!Succeeded(BCryptExportKey(Key(key_), nullptr, BCRYPT_ECCPUBLIC_BLOB, blob, sizeof blob, &size, 0)) ||
        size != sizeof blob) {
        error = "CNG could not give the key's public point";
        return false;
    }
    publicKey_[0] = 0x04;
    std::memcpy(publicKey_.data() + 1, blob + sizeof(BCRYPT_ECCKEY_BLOB), 64);
    return true;
}

bool SigningKey::Sign(const Sha256Digest& digest, EcSignature& signature, std::string& error) const {
    // CNG gives r||s, 32 bytes each, as the trailer holds them.
    ULONG size = 0;
    if (!Succeeded(BCryptSignHash(Key(key_), nullptr, const_cast<unsigned char*>(digest.data()), digest.size(),
                                  signature.data(), signature.size(), &size, 0)) ||
        size != signature.size()) {
        error = "CNG could not sign";
        return false;
    }
    return true;
}
