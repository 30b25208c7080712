// dvk sign: signs a package, replacing the signature it may already have.
#include <cstdint>

#include "engine/PublicKeyText.h"
#include "tools/dvk/AtomicFile.h"
#include "tools/dvk/Command.h"
#include "tools/dvk/CommandLine.h"
#include "tools/dvk/PackageSigner.h"
#include "tools/dvk/SigningKey.h"
#include "tools/dvk/SystemText.h"

namespace {

const char kHelp[] =
    "Usage: dvk sign PKG --key KEYFILE\n"
    "\n"
    "Signs the package with the private key in KEYFILE (PEM, from dvk keygen or\n"
    "openssl genpkey on P-256): a 137-byte trailer is appended that older\n"
    "updaters ignore; an existing trailer is replaced. The package is rewritten\n"
    "under a temporary name and renamed when complete. A damaged package is\n"
    "not signed.\n";

int Fail(const std::string& message, int status = kExitFailed) {
    return ReportError("sign", message, status);
}

}  // namespace

int RunSign(const std::vector<std::string>& args) {
    CommandLine line({"help"}, {"key"});
    std::string error;
    if (!line.Parse(args, error)) return Fail(error + " (see dvk sign --help)", kExitUsage);
    if (line.Has("help")) {
        PrintOut(kHelp);
        return kExitOk;
    }
    if (line.Operands().size() != 1) return Fail("give exactly one package (see dvk sign --help)", kExitUsage);
    if (!line.Has("key")) return Fail("--key KEYFILE is missing", kExitUsage);

    SigningKey key;
    if (!key.Load(line.Value("key"), error)) return Fail(error);

    const std::string& file = line.Operands()[0];
    std::int64_t length = 0;
    {
        PackageStream stream;
        PackageContents contents;
        PackageCheckResult result;
        if (!InspectPackage(file, stream, contents, result, error)) return Fail(error);
        if (!result.IsSound()) return Fail("'" + file + "' is damaged: " + DescribePackageCheck(result));
        std::optional<SignatureTrailer> trailer = ReadSignatureTrailer(stream, contents.readEnd);
        length = trailer ? trailer->signedLength : stream.Size();
    }
    AtomicFile out(PathFromUtf8(file));
    if (!out.Create(error) || !AppendSignature(PathFromUtf8(file), length, true, out.Stream(), key, error) ||
        !out.Commit(error)) {
        return Fail(error);
    }
    PrintOut(file + ": signed by " + PublicKeyBase64(key.PublicKey()) + "\n");
    return kExitOk;
}
