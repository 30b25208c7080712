#include "tools/dvk/Command.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

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
    result = CheckPackage(stream, contents);
    return true;
}
