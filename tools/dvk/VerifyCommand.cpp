// dvk verify: whether the updater would accept a package, and if not why.
#include "tools/dvk/Command.h"
#include "tools/dvk/CommandLine.h"

namespace {

const char kHelp[] =
    "Usage: dvk verify PKG\n"
    "\n"
    "Checks the package as the updater does before it uses one: both header\n"
    "strings and the entry count complete, an offset table that fits the file,\n"
    "every record and its data inside the file, and every target name a safe\n"
    "relative path (not empty, not absolute, no ':', no '..', no device name).\n"
    "The entry table must fit the reader's memory budget of 128 MiB (64 bytes\n"
    "per entry plus its names).\n"
    "A sound package prints one line on stdout and exits with 0; otherwise the\n"
    "first rule broken and its byte offset are printed on stderr and the exit\n"
    "status is 1.\n";

}  // namespace

int RunVerify(const std::vector<std::string>& args) {
    CommandLine line({"help"}, {});
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
    PrintOut(file + ": sound, " + std::to_string(contents.entries.size()) + " entries, " +
             std::to_string(stream.Size()) + " bytes\n");
    return kExitOk;
}
