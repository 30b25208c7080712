// What the dvk commands share: exit statuses, error lines and opening a
// package for a look inside.
#pragma once

#include <string>
#include <vector>

#include "engine/SignatureCheck.h"
#include "package/PackageCheck.h"
#include "package/PackageStream.h"

// Exit statuses of every command.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // bad input, a broken package, a failed update
constexpr int kExitUsage = 2;   // the command line itself is wrong

// The commands, given the arguments after their name.
int RunPack(const std::vector<std::string>& args);
int RunInfo(const std::vector<std::string>& args);
int RunVerify(const std::vector<std::string>& args);
int RunExtract(const std::vector<std::string>& args);
int RunKeygen(const std::vector<std::string>& args);
int RunSign(const std::vector<std::string>& args);

// Writes "dvk COMMAND: message" as one line on stderr; returns status.
int ReportError(const std::string& command, const std::string& message, int status);
// Writes UTF-8 text to stdout.
void PrintOut(const std::string& text);

// Opens the package file named in UTF-8 and checks it in its format (told
// by its content, CheckPackageFile). False when the file
// cannot be opened (message says why); otherwise true, with result telling
// whether it is sound and contents filled when it is.
bool InspectPackage(const std::string& fileUtf8, PackageStream& stream, PackageContents& contents,
                    PackageCheckResult& result, std::string& message);

// The signature of a sound package, checked as the updater checks it.
struct SignatureFinding {
    SignatureState state = SignatureState::kUnsigned;
    std::optional<SignatureTrailer> trailer;

    // "unsigned", "signed by KEY" (KEY as the PublicKey value writes it) or
    // "signature invalid".
    std::string Describe() const;
};
SignatureFinding InspectSignature(PackageStream& stream, const PackageContents& contents);

// The keys of the --trust files (PEM public keys or base64 lines). False,
// with a reason, when a file cannot be read or holds no P-256 public key.
bool ReadTrustedKeys(const std::vector<std::string>& filesUtf8, std::vector<std::string>& keys, std::string& error);
