// The signature of a package and the product's trust rule: what a signed
// package proves before any file changes.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/InstallRootLookup.h"
#include "engine/StatusSink.h"
#include "package/PatchPackage.h"

enum class [[nodiscard]] SignatureState { kUnsigned, kValid, kInvalid };

// Hashes every byte before the trailer through the stream and checks the
// trailer's signature with the trailer's key. kInvalid also when the file
// cannot be read to the trailer (it changed since it was opened).
SignatureState CheckSignature(PackageStream& stream, const std::optional<SignatureTrailer>& trailer);

// The trust rule. Without a key list (the product registered no PublicKey)
// every package passes; with one, only a valid signature by one of the keys
// (texts as ParsePublicKeyText takes them; those holding no valid key are
// skipped, so a list of none trusts nothing).
bool IsTrustedSigner(SignatureState state, const std::optional<SignatureTrailer>& trailer,
                     const std::optional<std::vector<std::string>>& trustedKeys);

// Whether a package not signed by a key of its own product still may be
// applied: not when the machine's policy wants every package signed, nor
// when its root (resolved) is the same as, inside or above a protected
// folder (FoldersOverlap), whatever key the package names.
bool MayApplyWithoutOwnSignature(InstallRootLookup& lookup, const std::string& root);

// The apply's signature step, after the install root is known and before any
// Test line: for a signed package the checking line, then the damaged-package
// line if the signature does not verify; then the not-signed line when the
// package is not signed by a key of its product and the product trusts keys,
// the policy wants a signature, or the root holds or is held by a protected
// folder. False when the apply must stop (the last line says why).
[[nodiscard]] bool PassSignatureStep(PatchPackage& package, StatusSink& sink, InstallRootLookup& lookup,
                                     const std::string& root);
