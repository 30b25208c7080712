// The example package (TestFiles.h) signed by two throwaway keys with
// "dvk sign", and those keys as the registry value PublicKey holds them.
#pragma once

#include <string>

extern const char kKeyA[];  // base64 of the DER SubjectPublicKeyInfo
extern const char kKeyB[];
extern const char kKeyAPem[];

// ExamplePackageBytes() followed by the trailer that key 'A' or 'B' made.
std::string SignedExampleBytes(char signer);
