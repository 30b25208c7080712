// dvk keygen, sign, pack --sign and --trust, and their keys and signatures
// checked against the openssl command.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "tests/tools/DvkRunner.h"
#include "tests/tools/DvkTrees.h"
#include "tests/support/TestFiles.h"
#include "package/CodePage1252.h"

namespace {

// What a shell command prints on stdout.
std::string Shell(const std::string& command) {
    std::string out;
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
        pclose(pipe);
    }
    return out;
}

std::string Hex(const std::string& bytes) {
    std::string hex;
    char pair[3];
    for (char c : bytes) {
        std::snprintf(pair, sizeof pair, "%02x", static_cast<unsigned char>(c));
        hex += pair;
    }
    return hex;
}

class DvkSignTest : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return dir_.File(name); }
    // A new key pair from dvk keygen; its PublicKey line.
    std::string Keygen(const std::string& name) {
        DvkRun run = RunDvk({"keygen", Path(name)});
        EXPECT_EQ(run.status, 0) << run.err;
        return run.OutLines().size() > 2 ? run.OutLines()[2] : "";
    }
    // The base64 DER of a PEM public key, as openssl prints it.
    std::string OpenSslKeyLine(const std::string& pubFile) {
        return Shell("openssl pkey -pubin -in '" + pubFile + "' -outform DER | base64 -w0");
    }
    std::string Pack(const std::string& name, std::vector<std::string> extra = {}) {
        WriteTree(Path("src"), {{"app.exe", "program"}, {"doc/a.txt", "text"}});
        std::vector<std::string> args = {"pack", Path(name), "--title", "T", "--key", "Software\\Maker\\Product",
                                         Path("src")};
        args.insert(args.end(), extra.begin(), extra.end());
        DvkRun run = RunDvk(args);
        EXPECT_EQ(run.status, 0) << run.err;
        return Path(name);
    }

    TempDir dir_;
};

TEST_F(DvkSignTest, KeygenMakesAnOwnerOnlyKeyAndPrintsTheRegistryValue) {
    DvkRun run = RunDvk({"keygen", Path("k.pem")});
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(run.OutLines().size(), 7u) << run.out;
    const std::string line = run.OutLines()[2];
    EXPECT_EQ(run.OutLines()[4], "reg add \"HKLM\\Software\\Maker\\Product\" /v PublicKey /t REG_SZ /d " + line + " /f");
    // Given the product, both commands name it: its PublicKey and its place
    // among the products whose folder is bound to their keys.
    DvkRun named = RunDvk({"keygen", Path("n.pem"), "--product", "Software\\\xC3\x89" "diteur\\App 2"});
    ASSERT_EQ(named.OutLines().size(), 7u) << named.out << named.err;
    EXPECT_EQ(named.OutLines()[4], "reg add \"HKLM\\Software\\\xC3\x89" "diteur\\App 2\" /v PublicKey /t REG_SZ /d " +
                                       named.OutLines()[2] + " /f");
    EXPECT_EQ(named.OutLines()[6], "reg add \"HKLM\\Software\\Dravlek\\SignedProducts\" /v \"Software\\\xC3\x89"
                                   "diteur\\App 2\" /t REG_SZ /d \"Software\\\xC3\x89" "diteur\\App 2\" /f");
    for (const char* bad : {"", "Software\\A\"B", "Software\\App\\", "HKLM\\Software\\App", "hkey_local_machine\\X"}) {
        EXPECT_EQ(RunDvk({"keygen", Path("bad.pem"), "--product", bad}).status, 2) << bad;
        EXPECT_FALSE(std::filesystem::exists(Path("bad.pem"))) << bad << ": no key made";
    }
    struct stat info;
    ASSERT_EQ(stat(Path("k.pem").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0077, 0u) << "the private key is readable by others";
    EXPECT_EQ(line, OpenSslKeyLine(Path("k.pem.pub")));
}

// Neither key file is ever replaced or written through a link: with either
// name taken, keygen writes nothing at all.
TEST_F(DvkSignTest, KeygenNeverReplacesOrWritesThroughAKeyFile) {
    struct Case {
        const char* why;
        const char* taken;  // "k.pem" or "k.pem.pub"
        bool link;          // a link to victim.txt rather than a file
    };
    for (Case c : {Case{"an existing private key", "k.pem", false}, Case{"an existing public key", "k.pem.pub", false},
                   Case{"a link at the private key's name", "k.pem", true},
                   Case{"a link at the public key's name", "k.pem.pub", true},
                   Case{"a link to nowhere at the public key's name", "k.pem.pub", true}}) {
        TempDir each;
        const std::string taken = each.File(c.taken);
        const bool nowhere = std::string(c.why).find("nowhere") != std::string::npos;
        if (!nowhere) WriteFileBytes(each.File("victim.txt"), "victim");
        if (c.link) {
            ASSERT_EQ(symlink(each.File("victim.txt").c_str(), taken.c_str()), 0) << c.why;
        } else {
            WriteFileBytes(taken, "mine");
        }
        const std::vector<std::string> before = ListNames(each.Path());
        DvkRun run = RunDvk({"keygen", each.File("k.pem")});
        EXPECT_EQ(run.status, 1) << c.why;
        EXPECT_EQ(run.err, "dvk keygen: cannot create '" + taken + "' (it must not exist yet); nothing was written\n")
            << c.why;
        EXPECT_EQ(ListNames(each.Path()), before) << c.why << ": the other key file was left";
        if (!nowhere) {
            EXPECT_EQ(ReadFileBytes(each.File(c.link ? "victim.txt" : c.taken)), c.link ? "victim" : "mine") << c.why;
        }
    }
}

TEST_F(DvkSignTest, KeysAndSignaturesInteroperateWithOpenSsl) {
    ASSERT_EQ(Shell("openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out '" + Path("o.pem") +
                    "' 2>&1 && openssl pkey -in '" + Path("o.pem") + "' -pubout -out '" + Path("o.pub") + "'"),
              "");
    const std::string package = Pack("p.dvk");
    DvkRun sign = RunDvk({"sign", package, "--key", Path("o.pem")});
    ASSERT_EQ(sign.status, 0) << sign.err;
    DvkRun verify = RunDvk({"verify", package, "--trust", Path("o.pub")});
    EXPECT_EQ(verify.status, 0) << verify.err;
    EXPECT_EQ(verify.OutLines().back(), "signature: signed by " + OpenSslKeyLine(Path("o.pub")));

    // openssl checks the same signature once r||s is put in DER (by openssl).
    const std::string bytes = ReadFileBytes(package);
    const std::string rs = bytes.substr(bytes.size() - 64);
    ASSERT_TRUE(WriteFileBytes(Path("body"), bytes.substr(0, bytes.size() - 137)));
    ASSERT_TRUE(WriteFileBytes(Path("sig.cnf"), "asn1=SEQUENCE:sig\n[sig]\nr=INTEGER:0x" + Hex(rs.substr(0, 32)) +
                                                    "\ns=INTEGER:0x" + Hex(rs.substr(32)) + "\n"));
    EXPECT_EQ(Shell("openssl asn1parse -genconf '" + Path("sig.cnf") + "' -out '" + Path("sig.der") +
                    "' >/dev/null && openssl dgst -sha256 -verify '" + Path("o.pub") + "' -signature '" +
                    Path("sig.der") + "' '" + Path("body") + "'"),
              "Verified OK\n");
}

TEST_F(DvkSignTest, PackSignEqualsSignAndSigningAgainReplacesTheTrailer) {
    const std::string keyA = Keygen("a.pem");
    const std::string keyB = Keygen("b.pem");
    const std::string plain = ReadFileBytes(Pack("plain.dvk"));
    const std::string packed = Pack("signed.dvk", {"--sign", Path("a.pem")});
    struct Step {
        const char* why;
        std::vector<std::string> args;
        std::string signer;
    };
    const Step steps[] = {
        {"pack --sign", {}, keyA},
        {"signed again by the same key", {"sign", packed, "--key", Path("a.pem")}, keyA},
        {"signed again by another key", {"sign", packed, "--key", Path("b.pem")}, keyB},
    };
    for (const Step& step : steps) {
        if (!step.args.empty()) {
            EXPECT_EQ(RunDvk(step.args).status, 0) << step.why;
        }
        const std::string bytes = ReadFileBytes(packed);
        ASSERT_EQ(bytes.size(), plain.size() + 137) << step.why << ": one trailer";
        EXPECT_EQ(bytes.substr(0, plain.size()), plain) << step.why;
        EXPECT_EQ(RunDvk({"verify", packed}).OutLines().back(), "signature: signed by " + step.signer) << step.why;
    }
    EXPECT_EQ(RunDvk({"sign", packed, "--key", Path("a.pem.pub")}).status, 1) << "a public key cannot sign";
    EXPECT_EQ(ReadFileBytes(packed).size(), plain.size() + 137) << "a failed sign leaves the package alone";
}

TEST_F(DvkSignTest, TheTrustRuleDecidesTheExitStatusOfVerifyInfoAndExtract) {
    Keygen("a.pem");
    Keygen("b.pem");
    const std::string plain = Pack("plain.dvk");
    const std::string byA = Pack("a.dvk", {"--sign", Path("a.pem")});
    std::string damaged = ReadFileBytes(byA);
    damaged[3] ^= 1;  // in the title: still a sound package
    ASSERT_TRUE(WriteFileBytes(Path("damaged.dvk"), damaged));
    const std::string notSigned = Cp1252ToUtf8(
        "Ce fichier de mise \xE0 jour n'est pas sign\xE9 par l'\xE9" "diteur du produit. Aucun fichier n'a \xE9t\xE9 "
        "modifi\xE9.");
    struct Case {
        const char* why;
        std::string package;
        std::vector<std::string> trust;
        int status;
    };
    const Case cases[] = {
        {"unsigned, no --trust", plain, {}, 0},
        {"signed, no --trust", byA, {}, 0},
        {"signed by the trusted key", byA, {"--trust", Path("a.pem.pub")}, 0},
        {"one of two trusted keys", byA, {"--trust", Path("b.pem.pub"), "--trust", Path("a.pem.pub")}, 0},
        {"signed by another key", byA, {"--trust", Path("b.pem.pub")}, 1},
        {"unsigned, a trusted key", plain, {"--trust", Path("a.pem.pub")}, 1},
        {"damaged signature", Path("damaged.dvk"), {"--trust", Path("a.pem.pub")}, 1},
    };
    for (const Case& c : cases) {
        for (const char* command : {"verify", "info"}) {
            std::vector<std::string> args = {command, c.package};
            args.insert(args.end(), c.trust.begin(), c.trust.end());
            EXPECT_EQ(RunDvk(args).status, c.status) << c.why << " (" << command << ")";
        }
        WriteTree(Path("root"), {{"app.exe", "old"}, {"doc/keep.txt", "k"}});
        std::vector<std::string> args = {"extract", c.package, "--to", Path("root"), "--quiet"};
        args.insert(args.end(), c.trust.begin(), c.trust.end());
        DvkRun run = RunDvk(args);
        const bool untrusted = c.status == 1 && c.package != Path("damaged.dvk");
        EXPECT_EQ(run.status, c.status) << c.why << " (extract)";
        if (untrusted) {
            EXPECT_EQ(run.out, notSigned + "\n") << c.why;
        }
        EXPECT_EQ(ReadFileBytes(Path("root/app.exe")), c.status == 0 ? "program" : "old") << c.why;
    }
}

}  // namespace
