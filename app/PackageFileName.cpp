#include "app/PackageFileName.h"

const char* const kPackagePatterns[2] = {"*.dvk", "*.dvx"};

bool IsPackageFileName(const std::string& fileName) {
    constexpr std::size_t kLength = 4;  // ".dvk"
    if (fileName.size() < kLength) return false;
    std::string extension = fileName.substr(fileName.size() - kLength);
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return extension == ".dvk" || extension == ".dvx";
}
