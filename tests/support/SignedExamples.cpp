#include "tests/support/SignedExamples.h"

#include <cstdlib>

#include "tests/support/TestFiles.h"

const char kKeyA[] =
    "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAE73gOlGnNHYE0+HeRbKuEsba9l5akoZxihm0CvBGSDB7+i94u7HzbaRgiqoZHXu2u57OyTOX9NHcUp"
    "XiDLB+n8g==";
const char kKeyB[] =
    "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEojViCAGkp/XQvnPBVOv8aFUqHMLg4xc2U9b01C/g3ktI+OXAgKS2kiShhTg/Qers0XALkORGVF3fp"
    "WPL0/doxw==";
const char kKeyAPem[] =
    "-----BEGIN PUBLIC KEY-----\n"
    "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAE73gOlGnNHYE0+HeRbKuEsba9l5ak\n"
    "oZxihm0CvBGSDB7+i94u7HzbaRgiqoZHXu2u57OyTOX9NHcUpXiDLB+n8g==\n"
    "-----END PUBLIC KEY-----\n";

namespace {

// Key (65 bytes) and signature (64 bytes) of each trailer, in hex.
const char kTrailerA[] =
    "04ef780e9469cd1d8134f877916cab84b1b6bd9796a4a19c62866d02bc11920c1efe8bde2eec7cdb691822aa86475eedaee7b3b24ce5fd34"
    "7714a578832c1fa7f2fe87ea0a2c76701d74a0790d5ef46a84d6174bf5fe67d9a21de4d8eadb0b57b4fad41a96d8e80b047e32ce855796b2"
    "ad3e70b377403ad99b6e7c7144f2f0670e";
const char kTrailerB[] =
    "04a235620801a4a7f5d0be73c154ebfc68552a1cc2e0e3173653d6f4d42fe0de4b48f8e5c080a4b69224a185383f41eaecd1700b90e44654"
    "5ddfa563cbd3f768c7d700e5a2a87d092d6e2f79476d04e43af80c768f7c8f35508cc8b1c022e9edd62ac457ff9a571e67a65e95a478a31b"
    "0aacdc5725bec69e2f9962b40e4252a8a8";

std::string FromHex(const std::string& hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::strtol(hex.substr(i, 2).c_str(), nullptr, 16));
    }
    return bytes;
}

}  // namespace

std::string SignedExampleBytes(char signer) {
    return ExamplePackageBytes() + "DVKSIG01" + FromHex(signer == 'A' ? kTrailerA : kTrailerB);
}
