// dvk keygen: makes the publisher's signing key.
#include <cctype>

#include "engine/PublicKeyText.h"
#include "tools/dvk/Command.h"
#include "tools/dvk/CommandLine.h"
#include "tools/dvk/SigningKey.h"

namespace {

const char kHelp[] =
    "Usage: dvk keygen KEYFILE [--product KEY]\n"
    "\n"
    "Makes a new ECDSA P-256 key for signing packages. The private key goes to\n"
    "KEYFILE (PEM PKCS#8, readable by its owner only), the public key to\n"
    "KEYFILE.pub (PEM). Neither may exist yet, as a file or a link: nothing is\n"
    "ever replaced or written through. Prints the line to store in\n"
    "the product's registry value PublicKey, beside Path, and the command that\n"
    "stores it. From then on the updater applies only packages signed with\n"
    "this key to that product: keep KEYFILE secret, and keep a copy.\n"
    "It also prints the command that lists the product under\n"
    "HKLM\\Software\\Dravlek\\SignedProducts, so that no unsigned package reaches\n"
    "the product's folder through any other registry key either.\n"
    "\n"
    "  --product KEY   the product's registry key below HKLM, as packages name it\n"
    "                  (dvk pack --key); without it the commands show\n"
    "                  Software\\Maker\\Product in its place\n";

int Fail(const std::string& message, int status = kExitFailed) {
    return ReportError("keygen", message, status);
}

}  // namespace

int RunKeygen(const std::vector<std::string>& args) {
    CommandLine line({"help"}, {"product"});
    std::string error;
    if (!line.Parse(args, error)) return Fail(error + " (see dvk keygen --help)", kExitUsage);
    if (line.Has("help")) {
        PrintOut(kHelp);
        return kExitOk;
    }
    if (line.Operands().size() != 1) return Fail("give exactly one key file (see dvk keygen --help)", kExitUsage);

    const std::string product = line.Has("product") ? line.Value("product") : "Software\\Maker\\Product";
    // The key goes between double quotes in the printed commands, where a
    // quote or a last backslash would end them elsewhere; "HKLM\" is added.
    auto startsWith = [&](const char* prefix) {
        std::string head = product.substr(0, std::string(prefix).size());
        for (char& c : head) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return head == prefix;
    };
    if (product.empty() || product.find('"') != std::string::npos || product.back() == '\\' ||
        startsWith("HKLM\\") || startsWith("HKEY_")) {
        return Fail("--product takes the key below HKLM as packages name it (Software\\Maker\\Product), without "
                    "double quotes or a last backslash",
                    kExitUsage);
    }

    const std::string keyFile = line.Operands()[0];
    SigningKey key;
    if (!key.Generate(error) || !key.Save(keyFile, keyFile + ".pub", error)) return Fail(error);
    const std::string value = PublicKeyBase64(key.PublicKey());
    PrintOut(keyFile + ": private key (keep it secret); " + keyFile + ".pub: public key\n" +
             "PublicKey value:\n" + value + "\n" +
             (line.Has("product") ? "Register it beside the product's Path value:\n"
                                  : "Register it beside the product's Path value (replace the key by the product's own):\n") +
             "reg add \"HKLM\\" + product + "\" /v PublicKey /t REG_SZ /d " + value + " /f\n" +
             "Bind the product's folder to its keys, whatever key a package names:\n" +
             "reg add \"HKLM\\Software\\Dravlek\\SignedProducts\" /v \"" + product + "\" /t REG_SZ /d \"" + product +
             "\" /f\n");
    return kExitOk;
}
