// The rules that decide whether the journal folder and a journal may be
// obeyed, given the facts a handle shows. Owners, DACLs and junctions exist
// only on Windows (Wine keeps none of them), so the Windows cases are given
// here as facts.
#include <gtest/gtest.h>

#include "engine/JournalTrust.h"

namespace {

using P = Principal;
using V = TrustVerdict;

FileFacts Facts(FileKind kind, P owner, std::vector<AccessGrant> grants, bool isLink = false, std::uint32_t links = 1) {
    FileFacts facts;
    facts.kind = kind;
    facts.owner = owner;
    facts.grants = std::move(grants);
    facts.isLink = isLink;
    facts.linkCount = links;
    return facts;
}

// The DACL the program gives its folder: the system and the administrators.
const std::vector<AccessGrant> kAdminOnly = {{P::kSystem, kAnyChange}, {P::kAdministrators, kAnyChange}};

std::vector<AccessGrant> AdminOnlyAnd(AccessGrant extra) {
    std::vector<AccessGrant> grants = kAdminOnly;
    grants.push_back(extra);
    return grants;
}

TEST(JournalTrustTest, AFolderIsUsedOnlyWhenNobodyElseCouldChangeIt) {
    const FileKind folder = FileKind::kFolder;
    const struct {
        const char* why;
        FileFacts facts;
        V verdict;
    } cases[] = {
        {"made by the program", Facts(folder, P::kAdministrators, kAdminOnly), V::kTrusted},
        {"owned by the system", Facts(folder, P::kSystem, kAdminOnly), V::kTrusted},
        {"owned by the program's own account (not elevated; Wine)", Facts(folder, P::kSelf, kAdminOnly), V::kTrusted},
        {"everyone may read", Facts(folder, P::kAdministrators, AdminOnlyAnd({P::kOther, 0})), V::kTrusted},
        {"CREATOR OWNER full control", Facts(folder, P::kAdministrators, AdminOnlyAnd({P::kOwner, kAnyChange})),
         V::kTrusted},
        {"made by a user before the first run", Facts(folder, P::kOther, kAdminOnly), V::kForeignOwner},
        {"a user as owner, and CREATOR OWNER", Facts(folder, P::kOther, {{P::kOwner, kAnyChange}}), V::kForeignOwner},
        {"Users may add files", Facts(folder, P::kAdministrators, AdminOnlyAnd({P::kOther, kWriteData})),
         V::kOthersMayChange},
        {"Users may add folders", Facts(folder, P::kAdministrators, AdminOnlyAnd({P::kOther, kAppendData})),
         V::kOthersMayChange},
        {"Users may change the permissions (WRITE_DAC)",
         Facts(folder, P::kAdministrators, AdminOnlyAnd({P::kOther, kChangePermissions})), V::kOthersMayChange},
        {"Users may take it over", Facts(folder, P::kAdministrators, AdminOnlyAnd({P::kOther, kTakeOwnership})),
         V::kOthersMayChange},
        {"everyone may delete it", Facts(folder, P::kAdministrators, AdminOnlyAnd({P::kOther, kDelete})),
         V::kOthersMayChange},
        {"Users may delete what it holds", Facts(folder, P::kAdministrators, AdminOnlyAnd({P::kOther, kDeleteChild})),
         V::kOthersMayChange},
        {"no DACL at all", Facts(folder, P::kAdministrators, {{P::kOther, kAnyChange}}), V::kOthersMayChange},
        {"a junction owned by the administrators", Facts(folder, P::kAdministrators, kAdminOnly, true), V::kLink},
        {"a junction a user made", Facts(folder, P::kOther, {{P::kOther, kAnyChange}}, true), V::kLink},
        {"a file where the folder belongs", Facts(FileKind::kFile, P::kAdministrators, kAdminOnly), V::kNotAFolder},
        {"a device where the folder belongs", Facts(FileKind::kOther, P::kSystem, kAdminOnly), V::kNotAFolder},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(JudgeFolder(c.facts), c.verdict) << c.why;
    }
}

TEST(JournalTrustTest, AJournalIsObeyedOnlyWhenItIsOneFileNobodyElseCouldChange) {
    const FileKind file = FileKind::kFile;
    const struct {
        const char* why;
        FileFacts facts;
        V verdict;
    } cases[] = {
        {"written by the elevated program", Facts(file, P::kAdministrators, kAdminOnly), V::kTrusted},
        {"written by the program as SYSTEM", Facts(file, P::kSystem, kAdminOnly), V::kTrusted},
        {"written by the program's own account", Facts(file, P::kSelf, {{P::kSelf, kAnyChange}}), V::kTrusted},
        {"a second hard link", Facts(file, P::kAdministrators, kAdminOnly, false, 2), V::kHardLinked},
        {"a symbolic link", Facts(file, P::kAdministrators, kAdminOnly, true), V::kLink},
        {"a user's journal", Facts(file, P::kOther, kAdminOnly), V::kForeignOwner},
        {"ours, but a user may rewrite it", Facts(file, P::kAdministrators, AdminOnlyAnd({P::kOther, kWriteData})),
         V::kOthersMayChange},
        {"ours, but a user may append", Facts(file, P::kAdministrators, AdminOnlyAnd({P::kOther, kAppendData})),
         V::kOthersMayChange},
        {"ours, but a user may change its DACL",
         Facts(file, P::kAdministrators, AdminOnlyAnd({P::kOther, kChangePermissions})), V::kOthersMayChange},
        {"a folder named like a journal", Facts(FileKind::kFolder, P::kAdministrators, kAdminOnly), V::kNotAFile},
        {"a FIFO named like a journal", Facts(FileKind::kOther, P::kSelf, kAdminOnly), V::kNotAFile},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(JudgeJournal(c.facts), c.verdict) << c.why;
    }
}

TEST(JournalTrustTest, EveryVerdictButTrustedHasAReasonForTheLog) {
    for (V verdict : {V::kUnreadable, V::kLink, V::kNotAFolder, V::kNotAFile, V::kHardLinked, V::kForeignOwner,
                      V::kOthersMayChange}) {
        EXPECT_NE(VerdictReason(verdict), "") << static_cast<int>(verdict);
    }
    EXPECT_EQ(JournalSetAsideNote(V::kLink, "C:\\J\\a.journal", "a.journal.untrusted-1"),
              "Journal mis de c\364t\351, non suivi (c'est un lien) : C:\\J\\a.journal -> a.journal.untrusted-1");
    EXPECT_EQ(JournalSetAsideNote(V::kTrusted, "C:\\J\\a.journal", "a.journal.untrusted-1"),
              "Journal mis de c\364t\351, non suivi : C:\\J\\a.journal -> a.journal.untrusted-1");
    EXPECT_NE(AsideName("a.journal", 1), AsideName("a.journal", 2));
}

}  // namespace
