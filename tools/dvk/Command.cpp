#include "tools/dvk/Command.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "engine/PublicKeyText.h"
#include "tools/dvk/SystemText.h"

int ReportError(const std::string& command, const std::string& message, int status) {
    std::fflush(stdout);  // keep the order of what a terminal shows
    WriteText(stderr, "dvk " + command + ": " + message + "\n");
    return status;
}

void PrintOut(const std::string& text) {
    WriteText(stdout, text);
}

bool InspectPackage(const std::string& fileUtf8, PackageStream& stream, PackageContents& contents,
                    PackageCheckResult& result, std::string& message) {
    std::string narrow;
    if (!NarrowSystemPath(fileUtf8, narrow) || !stream.Open(narrow)) {
        std::error_code code;
        std::filesystem::path path = PathFromUtf8(fileUtf8);
        if (!std::filesystem::exists(path, code)) {
            message = "'" + fileUtf8 + "': no such file";
        } else if (std::filesystem::is_directory(path, code)) {
            message = "'" + fileUtf8 + "' is a folder, not a package";
        } else {
            message = "'" + fileUtf8 + "': cannot read the file";
        }
        return false;
    }
    result = CheckPackageFile(stream, contents);
    return true;
}

std::string SignatureFinding::Describe() const {
    switch (state) {
        case SignatureState::kUnsigned: return "unsigned";
        case SignatureState::kValid: return "signed by " + PublicKeyBase64(trailer->publicKey);
        case SignatureState::kInvalid: return "signature invalid";
    }
    return "signature invalid";
}

SignatureFinding InspectSignature(PackageStream& stream, const PackageContents& contents) {
    SignatureFinding finding;
    finding.trailer = ReadSignatureTrailer(stream, contents.readEnd);
    finding.state = CheckSignature(stream, finding.trailer);
    return finding;
}

bool ReadTrustedKeys(const std::vector<std::string>& filesUtf8, std::vector<std::string>& keys, std::string& error) {
    for (const std::string& file : filesUtf8) {
        std::ifstream in(PathFromUtf8(file), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        if (!in) {
            error = "'" + file + "': cannot read the file";
            return false;
        }
        if (!ParsePublicKeyText(text.str())) {
            error = "'" + file + "' holds no P-256 public key (PEM or the base64 of its DER)";
            return false;
        }
        keys.push_back(text.str());
    }
    return true;
}
