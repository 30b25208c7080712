#include "engine/SignatureCheck.h"

#include "engine/Crypto.h"
#include "engine/FolderOverlap.h"
#include "engine/MessageStrings.h"
#include "engine/PublicKeyText.h"

SignatureState CheckSignature(PackageStream& stream, const std::optional<SignatureTrailer>& trailer) {
    if (!trailer) return SignatureState::kUnsigned;
    Sha256 hash;
    std::vector<unsigned char> block(256 * 1024);
    stream.DiscardBuffer();
    stream.Seek(0);
    for (std::int64_t remaining = trailer->signedLength; remaining > 0;) {
        const std::size_t want = remaining < static_cast<std::int64_t>(block.size()) ? static_cast<std::size_t>(remaining)
                                                                                   : block.size();
        if (stream.Read(block.data(), want) != want) return SignatureState::kInvalid;
        hash.Update(block.data(), want);
        remaining -= static_cast<std::int64_t>(want);
    }
    std::optional<Sha256Digest> digest = hash.Finish();
    if (!digest || !VerifyP256Signature(trailer->publicKey, *digest, trailer->signature)) {
        return SignatureState::kInvalid;
    }
    return SignatureState::kValid;
}

bool IsTrustedSigner(SignatureState state, const std::optional<SignatureTrailer>& trailer,
                     const std::optional<std::vector<std::string>>& trustedKeys) {
    if (!trustedKeys) return true;
    if (state != SignatureState::kValid || !trailer) return false;
    for (const std::string& text : *trustedKeys) {
        std::optional<EcPublicKey> key = ParsePublicKeyText(text);
        if (key && *key == trailer->publicKey) return true;
    }
    return false;
}

bool MayApplyWithoutOwnSignature(InstallRootLookup& lookup, const std::string& root) {
    if (lookup.RequiresSignedPackages()) return false;
    const std::vector<std::string> protectedRoots = lookup.FindProtectedRoots();
    if (protectedRoots.empty()) return true;
    const std::string resolved = lookup.ResolveRoot(root);
    for (const std::string& folder : protectedRoots) {
        if (FoldersOverlap(resolved, folder)) return false;
    }
    return true;
}

bool PassSignatureStep(PatchPackage& package, StatusSink& sink, InstallRootLookup& lookup, const std::string& root) {
    const std::optional<SignatureTrailer>& trailer = package.GetSignatureTrailer();
    SignatureState state = SignatureState::kUnsigned;
    if (trailer) {
        sink.SetStatusLine(LoadMessageString(IDS_CHECKING_SIGNATURE));
        state = CheckSignature(package.Stream(), trailer);
        if (state != SignatureState::kValid) {
            sink.SetStatusLine(LoadMessageString(IDS_PACKAGE_DAMAGED));
            return false;
        }
    }
    const std::optional<std::vector<std::string>> trustedKeys = lookup.FindTrustedKeys(package.GetRegistryKey());
    // Signed by a key the product itself lists: nothing else is asked.
    if (trustedKeys && IsTrustedSigner(state, trailer, trustedKeys)) return true;
    if (trustedKeys || !MayApplyWithoutOwnSignature(lookup, root)) {
        sink.SetStatusLine(LoadMessageString(IDS_NOT_SIGNED));
        return false;
    }
    return true;
}
