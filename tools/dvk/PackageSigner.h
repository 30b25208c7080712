// Writes signed packages: the package's bytes, then a trailer signing them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>

#include "tools/dvk/SigningKey.h"

// Hashes the first length bytes of the file at source and appends to out a
// trailer that signs them; when copy is set, the bytes themselves go to out
// first (signing a copy), otherwise out already holds them (signing the file
// being written). False, with a reason, on a read or write failure.
[[nodiscard]] bool AppendSignature(const std::filesystem::path& source, std::int64_t length, bool copy,
                                   std::ostream& out, const SigningKey& key, std::string& error);
