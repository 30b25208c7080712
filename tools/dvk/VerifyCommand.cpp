// dvk verify: whether the updater would accept a package, and if not why.
#include "tools/dvk/Command.h"
#include "tools/dvk/CommandLine.h"

namespace {

const char kHelp[] =
    "Usage: dvk verify PKG [--trust PUBFILE]...\n"
    "\n"
    "Checks the package as the updater does before it uses one: both header\n"
    "strings and the entry count complete, an offset table that fits the file,\n"
    "every record and its data inside the file, and every target name a safe\n"
    "relative path (not empty, not absolute, no ':', no '..', no device name).\n"
    "The entry table must fit the reader's memory budget of 128 MiB (64 bytes\n"
    "per entry plus its names).\n"
    "A dvx package is told by its content, whatever its name, and checked by\n"
    "its own rules: a format version and updater level this dvk knows, complete\n"
    "texts without NUL bytes, records whose length fits their kind (stored,\n"
    "zstd, delete, patch) and known flags, sizes up to 2147483647 bytes, each\n"
    "entry's data right after the previous one's (a delete has none; a patch\n"
    "entry's patches and whole copy fill its data in order), 1 to 64 patches of\n"
    "a known method per patch entry, no two entries for one file, and nothing\n"
    "after the data but a signature (160 bytes per entry, 64 per patch, plus\n"
    "its names in the budget). It does not decompress the data.\n"
    "A sound package prints one line on stdout and exits with 0; otherwise the\n"
    "first rule broken and its byte offset are printed on stderr and the exit\n"
    "status is 1.\n"
    "\n"
    "A second line tells the signature: 'unsigned' or 'signed by KEY', KEY in\n"
    "the form of the registry value PublicKey. A signature that does not verify\n"
    "is reported on stderr with exit status 1, as the updater refuses the package.\n"
    "\n"
    "  --trust PUBFILE  apply the rule of a product whose PublicKey holds this\n"
    "                   key (PEM, or the base64 line): exit status 1 unless the\n"
    "                   package is signed by one of the keys given. May be repeated.\n";

}  // namespace

int RunVerify(const std::vector<std::string>& args) {
    CommandLine line({"help"}, {"trust"}, {"trust"});
    std::string error;
    if (!line.Parse(args, error)) return ReportError("verify", error + " (see dvk verify --help)", kExitUsage);
    if (line.Has("help")) {
        PrintOut(kHelp);
        return kExitOk;
    }
    if (line.Operands().size() != 1) {
        return ReportError("verify", "give exactly one package (see dvk verify --help)", kExitUsage);
    }

    const std::string& file = line.Operands()[0];
    PackageStream stream;
    PackageContents contents;
    PackageCheckResult result;
    if (!InspectPackage(file, stream, contents, result, error)) return ReportError("verify", error, kExitFailed);
    if (!result.IsSound()) return ReportError("verify", file + ": " + DescribePackageCheck(result), kExitFailed);
    std::vector<std::string> trusted;
    if (!ReadTrustedKeys(line.Values("trust"), trusted, error)) return ReportError("verify", error, kExitFailed);
    PrintOut(file + ": sound, " + std::to_string(contents.entries.size()) + " entries, " +
             std::to_string(stream.Size()) + " bytes\n");
    const SignatureFinding signature = InspectSignature(stream, contents);
    if (signature.state == SignatureState::kInvalid) {
        return ReportError("verify", file + ": signature invalid: the updater refuses the package as damaged",
                           kExitFailed);
    }
    PrintOut("signature: " + signature.Describe() + "\n");
    if (line.Has("trust") && !IsTrustedSigner(signature.state, signature.trailer, trusted)) {
        return ReportError("verify", file + ": not signed by a trusted key", kExitFailed);
    }
    return kExitOk;
}
