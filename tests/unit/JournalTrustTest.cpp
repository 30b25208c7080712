// The rules that decide whether the journal folder and a journal may be
// obeyed, given the facts a handle shows. Owners, DACLs and junctions exist
// only on Windows (Wine keeps none of them), so they are given here as facts.
#include <gtest/gtest.h>

#include "engine/JournalTrust.h"

namespace {

using P = Principal;
using V = TrustVerdict;
constexpr FileKind kFolder = FileKind::kFolder, kFile = FileKind::kFile;

TEST(JournalTrustTest, OnlyWhatNobodyElseCouldHaveMadeOrChangedIsTrusted) {
    const struct {
        const char* why;
        FileKind kind;  // what stands there; a folder is judged as the folder, a file as a journal
        P owner;
        AccessGrant extra;  // besides full control for the system and the administrators
        bool isLink;
        std::uint32_t links;
        V verdict;
    } cases[] = {
        {"the program's folder", kFolder, P::kAdministrators, {P::kOther, 0}, false, 1, V::kTrusted},
        {"owned by the system", kFolder, P::kSystem, {P::kOther, 0}, false, 1, V::kTrusted},
        {"owned by the program's own account (Wine)", kFolder, P::kSelf, {P::kSelf, kAnyChange}, false, 1, V::kTrusted},
        {"CREATOR OWNER full control", kFolder, P::kAdministrators, {P::kOwner, kAnyChange}, false, 1, V::kTrusted},
        {"made by a user before the first run", kFolder, P::kOther, {P::kOwner, kAnyChange}, false, 1,
         V::kForeignOwner},
        {"Users may add files", kFolder, P::kAdministrators, {P::kOther, kWriteData}, false, 1, V::kOthersMayChange},
        {"Users may add folders", kFolder, P::kAdministrators, {P::kOther, kAppendData}, false, 1, V::kOthersMayChange},
        {"Users have WRITE_DAC", kFolder, P::kAdministrators, {P::kOther, kChangePermissions}, false, 1,
         V::kOthersMayChange},
        {"Users have WRITE_OWNER", kFolder, P::kSystem, {P::kOther, kTakeOwnership}, false, 1, V::kOthersMayChange},
        {"everyone may delete it", kFolder, P::kAdministrators, {P::kOther, kDelete}, false, 1, V::kOthersMayChange},
        {"Users may delete children", kFolder, P::kAdministrators, {P::kOther, kDeleteChild}, false, 1,
         V::kOthersMayChange},
        {"a junction of the administrators", kFolder, P::kAdministrators, {P::kOther, 0}, true, 1, V::kLink},
        {"a file where the folder belongs", kFile, P::kAdministrators, {P::kOther, 0}, false, 1, V::kNotAFolder},
        {"a journal the program wrote", kFile, P::kAdministrators, {P::kOther, 0}, false, 1, V::kTrusted},
        {"a second hard link", kFile, P::kAdministrators, {P::kOther, 0}, false, 2, V::kHardLinked},
        {"a symbolic link", kFile, P::kSystem, {P::kOther, 0}, true, 1, V::kLink},
        {"a user's journal", kFile, P::kOther, {P::kOther, 0}, false, 1, V::kForeignOwner},
        {"ours, a user may append", kFile, P::kAdministrators, {P::kOther, kAppendData}, false, 1, V::kOthersMayChange},
        {"a FIFO named like a journal", FileKind::kOther, P::kSelf, {P::kOther, 0}, false, 1, V::kNotAFile},
    };
    for (const auto& c : cases) {
        FileFacts facts;
        facts.kind = c.kind;
        facts.owner = c.owner;
        facts.grants = std::vector<AccessGrant>{{P::kSystem, kAnyChange}, {P::kAdministrators, kAnyChange}, c.extra};
        facts.isLink = c.isLink;
        facts.linkCount = c.links;
        const bool asFolder = c.kind == kFolder || c.verdict == V::kNotAFolder;
        EXPECT_EQ(asFolder ? JudgeFolder(facts) : JudgeJournal(facts), c.verdict) << c.why;
        EXPECT_EQ(VerdictReason(asFolder ? JudgeFolder(facts) : JudgeJournal(facts)).empty(), c.verdict == V::kTrusted)
            << c.why;
    }
    // A null DACL grants everything to everybody; a folder named like a journal is no journal.
    FileFacts noDacl;
    noDacl.kind = kFolder;
    noDacl.owner = P::kAdministrators;
    noDacl.grants.push_back({P::kOther, kAnyChange});
    EXPECT_EQ(JudgeFolder(noDacl), V::kOthersMayChange);
    EXPECT_EQ(JudgeJournal(noDacl), V::kNotAFile);
}

}  // namespace
