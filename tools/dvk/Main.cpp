// dvk: makes, inspects, checks and tries out update packages.
#include <string>
#include <vector>

#include "tools/dvk/Command.h"
#include "tools/dvk/SystemText.h"

namespace {

const char kHelp[] =
    "Usage: dvk COMMAND [ARGUMENTS]\n"
    "\n"
    "Makes and inspects Dravlek Update packages: .dvk files, and .dvx files\n"
    "(compressed entries, delete entries, a SHA-256 per file) for updaters that\n"
    "know that format. Every command reads both, told by their content.\n"
    "\n"
    "Commands:\n"
    "  pack OUT.dvk --title TEXT --key KEY DIR|--list FILE [--required GLOB]...\n"
    "       [--sign KEYFILE]      make a package from a folder or a file list\n"
    "       [--format dvx [--remove NAME]... [--remove-list FILE]]\n"
    "                             the .dvx format, with files it removes\n"
    "  info PKG [--json] [--trust PUBFILE]...\n"
    "                             show the title, registry key, signature and entries\n"
    "  verify PKG [--trust PUBFILE]...\n"
    "                             check a package as the updater would\n"
    "  extract PKG --to DIR [--quiet] [--trust PUBFILE]...\n"
    "                             apply a package to DIR as the updater would\n"
    "  keygen KEYFILE [--product KEY]\n"
    "                             make a signing key (KEYFILE and KEYFILE.pub)\n"
    "  sign PKG --key KEYFILE     sign a package, replacing any signature\n"
    "\n"
    "'dvk COMMAND --help' describes a command. Exit status: 0 success, 1 failure\n"
    "(bad input, a broken package, an update not applied), 2 a wrong command line.\n"
    "Text is UTF-8 on Linux; in packages it is code page 1252.\n";

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args = Utf8Arguments(argc, argv);
    if (args.empty()) {
        WriteText(stderr, kHelp);
        return kExitUsage;
    }
    const std::string command = args[0];
    args.erase(args.begin());
    if (command == "--help" || command == "-h" || command == "help") {
        WriteText(stdout, kHelp);
        return kExitOk;
    }
    if (command == "pack") return RunPack(args);
    if (command == "info") return RunInfo(args);
    if (command == "verify") return RunVerify(args);
    if (command == "extract") return RunExtract(args);
    if (command == "keygen") return RunKeygen(args);
    if (command == "sign") return RunSign(args);
    WriteText(stderr, "dvk: unknown command '" + command + "' (see dvk --help)\n");
    return kExitUsage;
}
