#include "tools/dvk/PackageSigner.h"

#include <fstream>
#include <vector>

bool AppendSignature(const std::filesystem::path& source, std::int64_t length, bool copy, std::ostream& out,
                     const SigningKey& key, std::string& error) {
    std::ifstream in(source, std::ios::binary);
    if (!in) {
        error = "'" + source.u8string() + "': cannot read the file";
        return false;
    }
    Sha256 hash;
    std::vector<char> block(256 * 1024);
    for (std::int64_t remaining = length; remaining > 0;) {
        const std::size_t want = remaining < static_cast<std::int64_t>(block.size()) ? static_cast<std::size_t>(remaining)
                                                                                   : block.size();
        in.read(block.data(), static_cast<std::streamsize>(want));
        if (static_cast<std::size_t>(in.gcount()) != want) {
            error = "'" + source.u8string() + "' got shorter while it was signed";
            return false;
        }
        hash.Update(block.data(), want);
        if (copy) out.write(block.data(), static_cast<std::streamsize>(want));
        remaining -= static_cast<std::int64_t>(want);
    }
    std::optional<Sha256Digest> digest = hash.Finish();
    EcSignature signature{};
    if (!digest) {
        error = "the system could not compute a SHA-256";
        return false;
    }
    if (!key.Sign(*digest, signature, error)) return false;
    out << SignatureTrailerBytes(key.PublicKey(), signature);
    if (!out) {
        error = "cannot write the signed package (disk full?)";
        return false;
    }
    return true;
}
