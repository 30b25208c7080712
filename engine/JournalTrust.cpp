#include "engine/JournalTrust.h"

#include <cstdio>

namespace {

bool IsTrustedOwner(Principal owner) {
    return owner == Principal::kSystem || owner == Principal::kAdministrators || owner == Principal::kSelf;
}

// Whether someone besides the trusted accounts may change it. "The owner"
// is trusted here: the owner has been checked before this.
bool OthersMayChange(const FileFacts& facts) {
    for (const AccessGrant& grant : facts.grants) {
        if (grant.who == Principal::kOther && (grant.rights & kAnyChange) != 0) return true;
    }
    return false;
}

TrustVerdict Judge(const FileFacts& facts, FileKind expected) {
    if (facts.isLink) return TrustVerdict::kLink;
    if (facts.kind != expected) return expected == FileKind::kFolder ? TrustVerdict::kNotAFolder : TrustVerdict::kNotAFile;
    if (expected == FileKind::kFile && facts.linkCount != 1) return TrustVerdict::kHardLinked;
    if (!IsTrustedOwner(facts.owner)) return TrustVerdict::kForeignOwner;
    if (OthersMayChange(facts)) return TrustVerdict::kOthersMayChange;
    return TrustVerdict::kTrusted;
}

std::string ErrorText(unsigned long error) { return " (erreur " + std::to_string(error) + ")"; }

// " (why)", or nothing when the caller gave no reason (kTrusted).
std::string Because(TrustVerdict why) {
    return why == TrustVerdict::kTrusted ? std::string() : " (" + VerdictReason(why) + ")";
}

}  // namespace

TrustVerdict JudgeFolder(const FileFacts& facts) { return Judge(facts, FileKind::kFolder); }

TrustVerdict JudgeJournal(const FileFacts& facts) { return Judge(facts, FileKind::kFile); }

std::string VerdictReason(TrustVerdict verdict) {
    switch (verdict) {
        case TrustVerdict::kTrusted: return "";
        case TrustVerdict::kUnreadable: return "ses droits ne peuvent pas \352tre lus";
        case TrustVerdict::kLink: return "c'est un lien";
        case TrustVerdict::kNotAFolder: return "ce n'est pas un dossier";
        case TrustVerdict::kNotAFile: return "ce n'est pas un fichier";
        case TrustVerdict::kHardLinked: return "il a plusieurs noms (liens physiques)";
        case TrustVerdict::kForeignOwner: return "son propri\351taire n'est ni le syst\350me ni les administrateurs";
        case TrustVerdict::kOthersMayChange: return "d'autres comptes peuvent le modifier";
    }
    return "";
}

std::string AsideName(const std::string& name, std::uint64_t random) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".untrusted-%016llx", static_cast<unsigned long long>(random));
    return name + suffix;
}

std::string FolderSetAsideNote(TrustVerdict why, const std::string& path, const std::string& aside) {
    return "Dossier des journaux mis de c\364t\351 (" + VerdictReason(why) + ") : " + path + " -> " + aside;
}

std::string FolderNotSetAsideNote(TrustVerdict why, const std::string& path, unsigned long error) {
    return "Dossier des journaux inutilisable (" + VerdictReason(why) + "), impossible \340 mettre de c\364t\351 : " +
           path + ErrorText(error);
}

std::string FolderUnusableNote(TrustVerdict why, const std::string& path) {
    return "Dossier des journaux inutilisable (" + VerdictReason(why) + ") : " + path;
}

std::string FolderNotMadeNote(const std::string& path, unsigned long error) {
    return "Dossier des journaux impossible \340 cr\351er : " + path + ErrorText(error);
}

std::string JournalSetAsideNote(TrustVerdict why, const std::string& path, const std::string& aside) {
    return "Journal mis de c\364t\351, non suivi" + Because(why) + " : " + path + " -> " + aside;
}

std::string JournalNotSetAsideNote(TrustVerdict why, const std::string& path, unsigned long error) {
    return "Journal non suivi (" + VerdictReason(why) + "), impossible \340 mettre de c\364t\351 : " + path +
           ErrorText(error);
}
