// Signed packages: which files have a trailer, which signatures verify, how
// keys are read, and what the apply shows and writes for every combination of
// package and trust.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>

#include "engine/ApplyEngine.h"
#include "engine/MessageStrings.h"
#include "engine/PublicKeyText.h"
#include "engine/SignatureCheck.h"
#include "tests/support/EngineFixtures.h"
#include "tests/support/SignedExamples.h"
#include "tests/support/TestFiles.h"

namespace {

std::string Flipped(std::string bytes, std::size_t offset) {
    bytes[offset] = static_cast<char>(bytes[offset] ^ 0x01);
    return bytes;
}

// The example's a.dll data starts at byte 52; the trailer at 92.
const std::size_t kTrailer = 92;

TEST(SignatureTest, OnlyATrailerWhereTheReaderStopsIsOneAndOnlyUnchangedBytesVerify) {
    const std::string signedA = SignedExampleBytes('A');
    const std::string other = BuildPackageBytes("Other", "Software\\Example", {{0, "s", "x.txt", "x"}});
    struct Case {
        const char* why;
        std::string bytes;
        SignatureState state;
    };
    const Case cases[] = {
        {"unsigned", ExamplePackageBytes(), SignatureState::kUnsigned},
        {"signed", signedA, SignatureState::kValid},
        {"other key", SignedExampleBytes('B'), SignatureState::kValid},
        {"byte flipped in the title", Flipped(signedA, 0), SignatureState::kInvalid},
        {"byte flipped in entry data", Flipped(signedA, 55), SignatureState::kInvalid},
        {"last byte before the trailer flipped", Flipped(signedA, kTrailer - 1), SignatureState::kInvalid},
        {"byte flipped in the key's X", Flipped(signedA, kTrailer + 20), SignatureState::kInvalid},
        {"key's 0x04 changed", Flipped(signedA, kTrailer + 8), SignatureState::kInvalid},
        {"byte flipped in r", Flipped(signedA, kTrailer + 80), SignatureState::kInvalid},
        {"byte flipped in s", Flipped(signedA, signedA.size() - 1), SignatureState::kInvalid},
        {"trailer moved from another package", other + signedA.substr(kTrailer), SignatureState::kInvalid},
        {"magic changed", Flipped(signedA, kTrailer + 7), SignatureState::kUnsigned},
        {"truncated trailer", signedA.substr(0, signedA.size() - 1), SignatureState::kUnsigned},
        {"a byte after the trailer", signedA + "x", SignatureState::kUnsigned},
        {"last entry is a signed package",
         BuildPackageBytes("T", "Software\\Example", {{0, "s", "inner.dvk", signedA}}), SignatureState::kUnsigned},
    };
    TempDir dir;
    for (const Case& c : cases) {
        ASSERT_TRUE(WriteFileBytes(dir.File("p.dvk"), c.bytes)) << c.why;
        PatchPackage package;
        ASSERT_TRUE(package.Open(dir.File("p.dvk"))) << c.why << ": still a sound package";
        EXPECT_EQ(CheckSignature(package.Stream(), package.GetSignatureTrailer()), c.state) << c.why;
    }
}

TEST(SignatureTest, KeysAreReadOnlyAsP256PublicKeyInfo) {
    std::string notOnCurve = kKeyA;
    notOnCurve[40] = notOnCurve[40] == 'A' ? 'B' : 'A';
    struct Case {
        const char* why;
        std::string text;
        bool valid;
    };
    const Case cases[] = {
        {"base64 line", kKeyA, true},
        {"PEM", kKeyAPem, true},
        {"line breaks and spaces", std::string(kKeyA).insert(20, "\r\n ").insert(60, "\n"), true},
        {"padding removed", std::string(kKeyA).substr(0, std::string(kKeyA).size() - 2), false},
        {"a character outside base64", std::string(kKeyA).replace(10, 1, "*"), false},
        {"a byte left over", Base64Encode(*Base64Decode(kKeyA) + "x"), false},
        {"compressed point", "MDkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDIgAC73gOlGnNHYE0+HeRbKuEsba9l5akoZxihm0CvBGSDB4=", false},
        {"P-384 key",
         "MHYwEAYHKoZIzj0CAQYFK4EEACIDYgAEwR78zTULOiyEeU6VxVj1nwOkbyRbdx6Ms92/D6MUyU0NcXlb8AG0NDJRRu+ixQgllLEGkvo3+2oc2"
         "7G17OL2SHrmdWRaL3VrgDQIIYga+VqjM7IQMGLRlKXilYfJhPt6",
         false},
#ifndef _WIN32
        // CNG's import refuses such a point on Windows; Wine's takes it. A
        // signature by it never verifies on either.
        {"point not on the curve", notOnCurve, false},
#endif
        {"empty", "", false},
    };
    for (const Case& c : cases) {
        std::optional<EcPublicKey> key = ParsePublicKeyText(c.text);
        EXPECT_EQ(key.has_value(), c.valid) << c.why;
        if (key) {
            EXPECT_EQ(PublicKeyBase64(*key), kKeyA) << c.why << ": printed as openssl prints it";
        }
    }
}

class SignedApplyTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = dir_.File("install");
        std::filesystem::create_directories(root_);
        ASSERT_TRUE(WriteFileBytes(files_->TargetPath(root_, "a.dll"), "old a"));
        lookup_.Set("Software\\Example", root_);
    }

    TempDir dir_;
    std::string root_;
    FixedInstallRootLookup lookup_;
    std::unique_ptr<TargetFileSystem> files_ = CreateSystemTargetFileSystem();
    std::unique_ptr<JournalFolder> journals_ = OpenJournalFolder(dir_.Path());
};

TEST_F(SignedApplyTest, TheSignatureIsCheckedFirstAndAProductWithKeysTakesOnlyTheirPackages) {
    const std::string checking = LoadMessageString(IDS_CHECKING_SIGNATURE);
    const std::string damaged = LoadMessageString(IDS_PACKAGE_DAMAGED);
    const std::string notSigned = LoadMessageString(IDS_NOT_SIGNED);
    const std::vector<std::string> today = {
        "Test : a.dll", "Test : readme.txt", "Extraction du fichier : a.dll", "Extraction du fichier :: a.dll (100 %)",
        "Extraction du fichier : readme.txt", "Extraction du fichier :: readme.txt (100 %)",
        LoadMessageString(IDS_UPDATE_COMPLETE)};
    std::vector<std::string> checkedThenToday = today;
    checkedThenToday.insert(checkedThenToday.begin(), checking);
    using Keys = std::optional<std::vector<std::string>>;
    struct Case {
        const char* why;
        std::string bytes;
        Keys trusted;
        std::vector<std::string> lines;
        bool policy = false;                  // RequireSignedPackages
        std::vector<std::string> protect{};   // folders other products protect
    };
    const std::string parent = std::filesystem::path(root_).parent_path().string();
    std::string shouting = root_ + "\\";
    for (char& c : shouting) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const Case cases[] = {
        {"unsigned, no PublicKey: exactly as before", ExamplePackageBytes(), std::nullopt, today},
        {"signed, no PublicKey", SignedExampleBytes('A'), std::nullopt, checkedThenToday},
        {"signed by the trusted key", SignedExampleBytes('A'), Keys({kKeyA}), checkedThenToday},
        {"old and new key both trusted", SignedExampleBytes('A'), Keys({kKeyB, kKeyA}), checkedThenToday},
        {"an invalid key beside the trusted one", SignedExampleBytes('A'), Keys({"junk", kKeyAPem}), checkedThenToday},
        {"signed by another key", SignedExampleBytes('B'), Keys({kKeyA}), {checking, notSigned}},
        {"unsigned for a product with a key", ExamplePackageBytes(), Keys({kKeyA}), {notSigned}},
        {"a PublicKey that holds no valid key", SignedExampleBytes('A'), Keys({"junk"}), {checking, notSigned}},
        {"an empty PublicKey", SignedExampleBytes('A'), Keys(std::vector<std::string>()), {checking, notSigned}},
        {"damaged, no PublicKey", Flipped(SignedExampleBytes('A'), 55), std::nullopt, {checking, damaged}},
        {"damaged, trusted key", Flipped(SignedExampleBytes('A'), 55), Keys({kKeyA}), {checking, damaged}},
        // Another product protects a folder: a package through a key of its
        // own reaches it only signed by that key.
        {"unsigned, another key's folder is the same", ExamplePackageBytes(), std::nullopt, {notSigned}, false,
         {root_}},
        {"unsigned, the same folder spelled otherwise", ExamplePackageBytes(), std::nullopt, {notSigned}, false,
         {shouting}},
        {"unsigned, the root is the protected folder's parent", ExamplePackageBytes(), std::nullopt, {notSigned},
         false, {dir_.File("other"), root_ + "/bin"}},
        {"unsigned, the root is inside the protected folder", ExamplePackageBytes(), std::nullopt, {notSigned}, false,
         {parent}},
        {"signed by a key the product does not list", SignedExampleBytes('A'), std::nullopt, {checking, notSigned},
         false, {root_}},
        {"unsigned, an unrelated folder is protected", ExamplePackageBytes(), std::nullopt, today, false,
         {root_ + "-other"}},
        {"signed by the product's own key, folder protected", SignedExampleBytes('A'), Keys({kKeyA}),
         checkedThenToday, true, {root_}},
        {"policy: unsigned, no PublicKey", ExamplePackageBytes(), std::nullopt, {notSigned}, true},
        {"policy: signed, no PublicKey", SignedExampleBytes('A'), std::nullopt, {checking, notSigned}, true},
        {"policy: signed by another key", SignedExampleBytes('B'), Keys({kKeyA}), {checking, notSigned}, true},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(WriteFileBytes(files_->TargetPath(root_, "a.dll"), "old a"));
        std::filesystem::remove(files_->TargetPath(root_, "readme.txt"));
        const auto before = SnapshotTree(root_);
        if (c.trusted) lookup_.SetTrustedKeys("Software\\Example", *c.trusted);
        lookup_.SetRequiresSignedPackages(c.policy);
        for (const std::string& folder : c.protect) lookup_.AddProtectedRoot(folder);
        ASSERT_TRUE(WriteFileBytes(dir_.File("p.dvk"), c.bytes)) << c.why;
        PatchPackage package;
        ASSERT_TRUE(package.Open(dir_.File("p.dvk"))) << c.why;
        RecordingSink sink;
        FixedInstallRootLookup lookup = lookup_;
        const bool applied = ApplyPackage(package, sink, lookup, *files_, *journals_) == ApplyResult::kApplied;
        EXPECT_EQ(sink.lines, c.lines) << c.why;
        EXPECT_EQ(applied, c.lines.back() == today.back()) << c.why;
        if (!applied) {
            EXPECT_EQ(SnapshotTree(root_), before) << c.why << ": nothing written";
        }
        lookup_ = FixedInstallRootLookup();
        lookup_.Set("Software\\Example", root_);
    }
}

}  // namespace
