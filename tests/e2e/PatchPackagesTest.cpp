// The real program applies patch entries under Wine: the patch whose base is
// installed, else the whole copy, else a refusal with 125 and exit code 1642;
// a missing base, an altered patch and an altered signed package leave the
// install root exactly as it was, and no journal behind.
#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <sstream>

#include "engine/Crypto.h"
#include "engine/JournalFolder.h"
#include "engine/MessageStrings.h"
#include "engine/PublicKeyText.h"
#include "package/DvxWriter.h"
#include "tests/support/HandMadeDvx.h"
#include "tests/support/RowName.h"
#include "tests/support/UpdaterProcess.h"
#include "tools/dvk/PackageSigner.h"
#include "tools/dvk/PatchMaker.h"
#include "tools/dvk/SigningKey.h"

namespace {

const char kProduct[] = "Software\\DravlekE2E\\Product";

// Version 2 keeps half of version 1; version 3 takes from both, 10000 bytes:
// progress at 4096, 8192 and 10000 bytes of the result.
const std::string kV1 = NoiseData(12000, 1);
const std::string kV2 = kV1.substr(0, 6000) + NoiseData(5000, 2);
const std::string kV3 = kV1.substr(0, 5000) + NoiseData(1000, 3) + kV2.substr(7000, 4000);
const std::string kModified = kV1.substr(0, 100) + "X" + kV1.substr(101);

EntryDigest Hash(const std::string& bytes) {
    Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return hash.Finish().value_or(EntryDigest{});
}

enum class Damage { kNone, kPatchByte, kSignedByte };

struct PatchCase {
    const char* why;
    std::optional<std::string> installed;  // app.exe before the run; none: absent
    std::vector<const std::string*> bases;  // a patch from each, in order
    bool whole;                             // and a whole copy
    Damage damage;
    bool sign;                              // signed, and the product names the key
    const char* mode;
    DWORD exitCode;
    bool applied;                           // app.exe ends as version 3, else as it was
    std::vector<std::string> lines;
};

const std::string kTest = LoggedLine(IDS_TESTING, "app.exe"), kExtract = LoggedLine(IDS_EXTRACTING, "app.exe");
const std::string kDone = LoggedLine(IDS_UPDATE_COMPLETE), kDamaged = LoggedLine(IDS_PACKAGE_DAMAGED);
const std::string kChecking = LoggedLine(IDS_CHECKING_SIGNATURE), kWrongBase = LoggedLine(IDS_WRONG_BASE, "app.exe");
const PatchCase kCases[] = {
    {"patch from version 1", kV1, {&kV1}, false, Damage::kNone, false, "/quiet", 0, true, {kTest, kExtract, kDone}},
    {"two bases, version 1 installed", kV1, {&kV1, &kV2}, false, Damage::kNone, false, "/quiet", 0, true,
     {kTest, kExtract, kDone}},
    {"two bases, version 2 installed", kV2, {&kV1, &kV2}, false, Damage::kNone, false, "/passive", 0, true,
     {kTest, kExtract, kDone}},
    {"modified file, the whole copy used", kModified, {&kV1}, true, Damage::kNone, false, "/quiet", 0, true,
     {kTest, kExtract, kDone}},
    {"modified file, no whole copy, quiet", kModified, {&kV1, &kV2}, false, Damage::kNone, false, "/quiet", 1642,
     false, {kTest, kWrongBase}},
    {"modified file, no whole copy, passive", kModified, {&kV1}, false, Damage::kNone, false, "/passive", 1642,
     false, {kTest, kWrongBase}},
    {"absent base", std::nullopt, {&kV1}, false, Damage::kNone, false, "/quiet", 1603, false,
     {kTest, LoggedLine(IDS_REQUIRED_FILE_MISSING, "app.exe")}},
    {"absent base, the whole copy used", std::nullopt, {&kV1}, true, Damage::kNone, false, "/quiet", 0, true,
     {kTest, kExtract, kDone}},
    {"a patch byte altered", kV1, {&kV1}, true, Damage::kPatchByte, false, "/quiet", 1603, false,
     {kTest, kExtract, kDamaged}},
    {"signed by the product's key", kV2, {&kV1, &kV2}, false, Damage::kNone, true, "/quiet", 0, true,
     {kChecking, kTest, kExtract, kDone}},
    {"a patch byte altered after signing", kV1, {&kV1}, false, Damage::kSignedByte, true, "/quiet", 1603, false,
     {kChecking, kDamaged}},
};

void PrintTo(const PatchCase& c, std::ostream* out) {
    *out << c.why;
}

// The product's PublicKey while the object lives.
class ProductKey {
public:
    explicit ProductKey(const std::string& publicKey) {
        set_ = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kProduct, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key_.Put(),
                               nullptr) == ERROR_SUCCESS &&
               RegSetValueExA(key_.Get(), "PublicKey", 0, REG_SZ, reinterpret_cast<const BYTE*>(publicKey.c_str()),
                              static_cast<DWORD>(publicKey.size() + 1)) == ERROR_SUCCESS;
    }
    ~ProductKey() {
        if (key_) RegDeleteValueA(key_.Get(), "PublicKey");
    }
    bool Set() const { return set_; }

private:
    UniqueRegistryKey key_;
    bool set_ = false;
};

// The bytes followed by the trailer "dvk sign" writes with key.
std::string Signed(const std::string& bytes, const SigningKey& key) {
    const std::string path = E2ePaths().work + "\\signing.dvx";
    std::string error;
    std::ostringstream trailer;
    if (!WriteFileBytes(path, bytes) ||
        !AppendSignature(path, static_cast<std::int64_t>(bytes.size()), false, trailer, key, error)) {
        return "";
    }
    return bytes + trailer.str();
}

// One patch entry for app.exe with the row's alternatives, made by dvk's own
// patch maker; empty when any step failed.
std::string PackageBytes(const PatchCase& c, const SigningKey& key) {
    DvxPatchContent patch;
    std::string data;
    for (const std::string* base : c.bases) {
        MadePatch made = MakePatch(*base, kV3, Hash(kV3));
        if (made.status != PatchMakeStatus::kMade) return "";
        if (c.damage == Damage::kPatchByte && data.empty()) made.bytes[made.bytes.size() / 2] ^= 0x20;
        patch.part.patches.push_back({PatchMethod::kZstdPrefix, base->size(), Hash(*base), 0, 0});
        patch.alternativeLengths.push_back(static_cast<std::int64_t>(made.bytes.size()));
        data += made.bytes;
    }
    if (c.whole) {
        const std::string frame = ZstdFrame(kV3);
        patch.part.hasWholeCopy = true;
        patch.alternativeLengths.push_back(static_cast<std::int64_t>(frame.size()));
        data += frame;
    }
    const std::string bytes = BuildDvxBytes(
        "Correctif 3", kProduct, {{EntryKind::kPatch, 0, "app.exe", data, static_cast<std::int64_t>(kV3.size()),
                                   Hash(kV3)}},
        {patch});
    if (!c.sign || bytes.empty()) return bytes;
    std::string signedBytes = Signed(bytes, key);
    // The last patch's data ends the unsigned bytes.
    if (c.damage == Damage::kSignedByte && !signedBytes.empty()) signedBytes[bytes.size() - 5] ^= 0x01;
    return signedBytes;
}

FolderTree RootWith(const std::optional<std::string>& app) {
    FolderTree tree = {{"keep.txt", "kept"}};
    if (app) tree["app.exe"] = *app;
    return tree;
}

// A fresh key, and the registry's text of its public half.
bool NewKey(SigningKey& key, std::string& publicKey) {
    std::string error;
    if (!key.Generate(error)) return false;
    publicKey = PublicKeyBase64(key.PublicKey());
    return !publicKey.empty();
}

class PatchPackagesTest : public ::testing::TestWithParam<PatchCase> {};

TEST_P(PatchPackagesTest, EndsWithItsCodeRootAndLines) {
    const PatchCase& c = GetParam();
    SigningKey key;
    std::string publicKey;
    ASSERT_TRUE(!c.sign || NewKey(key, publicKey));
    std::optional<ProductKey> productKey;
    if (c.sign) {
        ASSERT_TRUE(productKey.emplace(publicKey).Set());
    }
    const std::string bytes = PackageBytes(c, key);
    ASSERT_FALSE(bytes.empty());
    const std::string root = E2ePaths().Root(), folder = E2ePaths().work + "\\patch";
    ASSERT_TRUE(ResetTree(root, RootWith(c.installed)));
    ASSERT_TRUE(ResetTree(folder, {{"fix.dvx", bytes}}));

    EXPECT_EQ(RunUntilExit(E2ePaths().updater, std::string(c.mode) + " /log run.log fix.dvx", folder), c.exitCode);
    EXPECT_EQ(ListTree(root), RootWith(c.applied ? kV3 : c.installed));
    EXPECT_EQ(LoggedStatusLines(folder + "\\run.log"), c.lines);
    std::vector<std::string> notes;
    std::unique_ptr<JournalFolder> journals = OpenSystemJournalFolder(notes);
    ASSERT_NE(journals, nullptr);
    EXPECT_EQ(journals->List(), std::vector<std::string>{}) << "no journal left";
}

INSTANTIATE_TEST_SUITE_P(Rows, PatchPackagesTest, ::testing::ValuesIn(kCases),
                         [](const auto& row) { return RowName(row.index, row.param.why); });

// Through the windows: one Test line, one Extraction line and the progress
// lines counted on the result, as the user reads them.
TEST(PatchPackagesWindowsTest, ShowTheLinesOfOneEntry) {
    SigningKey unused;
    const std::string bytes = PackageBytes(kCases[0], unused);
    ASSERT_FALSE(bytes.empty());
    const std::string root = E2ePaths().Root(), folder = E2ePaths().work + "\\patch-windows";
    ASSERT_TRUE(ResetTree(root, RootWith(kV1)));
    ASSERT_TRUE(ResetTree(folder, {{"fix.dvx", bytes}}));
    const std::string log = E2ePaths().work + "\\patch-windows.log";
    UpdaterProcess run(E2ePaths(), folder, log);
    ASSERT_TRUE(run.Ready()) << run.Problem();
    ASSERT_TRUE(run.ClickRow(0));
    HWND progress = run.ConfirmUpdate();
    ASSERT_NE(progress, nullptr);
    HWND close = GetDlgItem(progress, IDC_CLOSE);
    ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(close) != FALSE; }, 30000));
    const std::string extracting = LoadMessageString(IDS_EXTRACTING);
    EXPECT_EQ(ReadStatusLog(log),
              (std::vector<std::string>{LoadMessageString(IDS_TESTING) + " app.exe", extracting + " app.exe",
                                        extracting + ": app.exe (41 %)", extracting + ": app.exe (82 %)",
                                        extracting + ": app.exe (100 %)", LoadMessageString(IDS_UPDATE_COMPLETE)}));
    run.Click(close);
    EXPECT_TRUE(run.WaitForExit());
    EXPECT_EQ(ListTree(root), RootWith(kV3));
}

}  // namespace
