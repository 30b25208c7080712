// dvk info: what a package holds, as a table or as JSON.
#include <algorithm>
#include <cstdio>

#include "engine/Crypto.h"
#include "engine/PublicKeyText.h"
#include "package/CodePage1252.h"
#include "tools/dvk/Command.h"
#include "tools/dvk/CommandLine.h"
#include "tools/dvk/JsonText.h"

namespace {

const char kHelp[] =
    "Usage: dvk info PKG [--json] [--trust PUBFILE]...\n"
    "\n"
    "Shows the package's title, registry key and entry count, then one line per\n"
    "entry: its index, record offset, required flag, flags byte, data size,\n"
    "source name and target name. Names are shown converted from code page 1252.\n"
    "A damaged package is not shown: the first rule it breaks is reported (see\n"
    "dvk verify). The signature line says 'unsigned', 'signed by KEY' (KEY as\n"
    "the registry value PublicKey holds it) or 'signature invalid'.\n"
    "\n"
    "  --json           print one JSON object instead: file, title, registryKey,\n"
    "                   entryCount (as stored), signature ('unsigned', 'valid'\n"
    "                   or 'invalid'), signer (KEY or null) and entries, each\n"
    "                   with index, recordOffset, required, flags, size, source,\n"
    "                   target and sha256 (of its data, in hex)\n"
    "\n"
    "A dvx package shows 'Format: dvx' and, per entry, its kind (stored, zstd,\n"
    "delete or patch), size (of the file it makes), stored size (of its data in\n"
    "the package) and the SHA-256 its table gives; below a patch entry, each\n"
    "patch with the size and SHA-256 of the installed file it needs, then its\n"
    "whole copy if any. Its JSON has \"format\": \"dvx\" and entries with index,\n"
    "kind, required, flags, size, storedSize, target and sha256 (null for a\n"
    "delete); a patch entry adds patches (method, baseSize, baseSha256,\n"
    "storedSize) and wholeStoredSize (null without a whole copy).\n"
    "  --trust PUBFILE  exit status 1 unless the package is signed by one of the\n"
    "                   keys given (PEM, or the base64 line). May be repeated.\n";

std::string Hex2(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

std::string PadLeft(const std::string& text, std::size_t width) {
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

// Width as a terminal shows it: UTF-8 continuation bytes take no column.
std::size_t Columns(const std::string& utf8) {
    return static_cast<std::size_t>(
        std::count_if(utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string PadRight(const std::string& text, std::size_t width) {
    std::size_t columns = Columns(text);
    return columns >= width ? text : text + std::string(width - columns, ' ');
}

const char* SignatureStateName(SignatureState state) {
    switch (state) {
        case SignatureState::kUnsigned: return "unsigned";
        case SignatureState::kValid: return "valid";
        case SignatureState::kInvalid: return "invalid";
    }
    return "invalid";
}

std::string HexDigest(const std::uint8_t* bytes, std::size_t size);

// The SHA-256 of an entry's data in hex, read through the reader's own
// primitives; "" when the file cannot be read.
std::string EntryDigest(PackageStream& stream, const PackageEntry& entry) {
    stream.DiscardBuffer();
    stream.Seek(entry.recordOffset);
    stream.ReadByte();
    stream.ReadInt32();
    stream.ReadString();
    stream.ReadString();
    Sha256 hash;
    std::vector<char> block(256 * 1024);
    for (std::int64_t remaining = entry.dataSize > 0 ? entry.dataSize : 0; remaining > 0;) {
        const std::size_t want = remaining < static_cast<std::int64_t>(block.size()) ? static_cast<std::size_t>(remaining)
                                                                                   : block.size();
        if (stream.Read(block.data(), want) != want) return "";
        hash.Update(block.data(), want);
        remaining -= static_cast<std::int64_t>(want);
    }
    std::optional<Sha256Digest> digest = hash.Finish();
    if (!digest || stream.Failed()) return "";
    return HexDigest(digest->data(), digest->size());
}

std::string HexDigest(const std::uint8_t* bytes, std::size_t size) {
    std::string hex;
    for (std::size_t i = 0; i < size; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
        hex += pair;
    }
    return hex;
}

const char* KindName(EntryKind kind) {
    switch (kind) {
        case EntryKind::kStored: return "stored";
        case EntryKind::kZstd: return "zstd";
        case EntryKind::kDelete: return "delete";
        case EntryKind::kPatch: return "patch";
    }
    return "unknown";
}

// A patch entry's alternatives: each patch with its base, then the whole
// copy's stored size (null when there is none). Nothing for other kinds.
std::string PatchAlternativesJson(const PackageEntry& entry) {
    if (entry.kind != EntryKind::kPatch) return std::string();
    std::string json = ", \"patches\": [";
    for (std::size_t i = 0; i < entry.patches.size(); ++i) {
        const PatchAlternative& patch = entry.patches[i];
        json += std::string(i == 0 ? "" : ", ") + "{\"method\": " + std::to_string(static_cast<int>(patch.method)) +
                ", \"baseSize\": " + std::to_string(patch.baseSize) + ", \"baseSha256\": " +
                JsonString(HexDigest(patch.baseHash.data(), patch.baseHash.size())) +
                ", \"storedSize\": " + std::to_string(patch.dataLength) + "}";
    }
    return json + "], \"wholeStoredSize\": " + (entry.HasWholeCopy() ? std::to_string(entry.wholeLength) : "null");
}

std::string DvxEntryJson(std::size_t index, const PackageEntry& entry) {
    return "    {\"index\": " + std::to_string(index) + ", \"kind\": " + JsonString(KindName(entry.kind)) +
           ", \"required\": " + (entry.IsRequired() ? "true" : "false") +
           ", \"flags\": " + std::to_string(entry.flags) + ", \"size\": " + std::to_string(entry.dataSize) +
           ", \"storedSize\": " + std::to_string(entry.storedSize) +
           ", \"target\": " + JsonString(Cp1252ToUtf8(entry.targetName)) + ", \"sha256\": " +
           (entry.hasResultHash ? JsonString(HexDigest(entry.resultHash.data(), entry.resultHash.size())) : "null") +
           PatchAlternativesJson(entry) + "}";
}

std::string AsJson(const std::string& file, const PackageContents& contents, const SignatureFinding& signature,
                   PackageStream& stream) {
    std::string json = "{\n";
    json += "  \"file\": " + JsonString(file) + ",\n";
    if (contents.format == PackageFormat::kDvx) json += "  \"format\": \"dvx\",\n";
    json += "  \"title\": " + JsonString(Cp1252ToUtf8(contents.title)) + ",\n";
    json += "  \"registryKey\": " + JsonString(Cp1252ToUtf8(contents.registryKey)) + ",\n";
    json += "  \"entryCount\": " + std::to_string(contents.entryCount) + ",\n";
    json += "  \"signature\": " + JsonString(SignatureStateName(signature.state)) + ",\n";
    json += std::string("  \"signer\": ") +
            (signature.state == SignatureState::kValid ? JsonString(PublicKeyBase64(signature.trailer->publicKey))
                                                       : "null") +
            ",\n";
    json += "  \"entries\": [";
    for (std::size_t i = 0; i < contents.entries.size(); ++i) {
        const PackageEntry& entry = contents.entries[i];
        json += i == 0 ? "\n" : ",\n";
        if (contents.format == PackageFormat::kDvx) {
            json += DvxEntryJson(i, entry);
            continue;
        }
        json += "    {\"index\": " + std::to_string(i) + ", \"recordOffset\": " + std::to_string(entry.recordOffset) +
                ", \"required\": " + (entry.IsRequired() ? "true" : "false") +
                ", \"flags\": " + std::to_string(entry.flags) + ", \"size\": " + std::to_string(entry.dataSize) +
                ", \"source\": " + JsonString(Cp1252ToUtf8(entry.sourceName)) +
                ", \"target\": " + JsonString(Cp1252ToUtf8(entry.targetName)) +
                ", \"sha256\": " + JsonString(EntryDigest(stream, entry)) + "}";
    }
    json += contents.entries.empty() ? "]\n" : "\n  ]\n";
    return json + "}\n";
}

// Below a patch entry's row: one line per alternative, each patch with the
// base it needs, then the whole copy when there is one.
std::string PatchAlternativeLines(const PackageEntry& entry) {
    std::string text;
    for (const PatchAlternative& patch : entry.patches) {
        text += "       patch from a base of " + std::to_string(patch.baseSize) + " bytes, SHA-256 " +
                HexDigest(patch.baseHash.data(), patch.baseHash.size()) + ": " + std::to_string(patch.dataLength) +
                " bytes stored\n";
    }
    if (entry.HasWholeCopy()) text += "       whole copy: " + std::to_string(entry.wholeLength) + " bytes stored\n";
    return text;
}

// The table of a dvx package's entries: kind and both sizes instead of the
// record offset and source name it has none of.
std::string DvxEntryTable(const PackageContents& contents) {
    std::string text = "\nIndex  Kind    Required  Flags        Size      Stored  Target\n";
    for (std::size_t i = 0; i < contents.entries.size(); ++i) {
        const PackageEntry& entry = contents.entries[i];
        text += PadLeft(std::to_string(i), 5) + "  " + PadRight(KindName(entry.kind), 6) + "  " +
                (entry.IsRequired() ? "yes     " : "no      ") + "  " + Hex2(entry.flags) +
                PadLeft(std::to_string(entry.dataSize), 12) + PadLeft(std::to_string(entry.storedSize), 12) + "  " +
                Cp1252ToUtf8(entry.targetName) + "\n" + PatchAlternativeLines(entry);
    }
    return text;
}

std::string AsTable(const PackageContents& contents, std::int64_t fileSize, const SignatureFinding& signature) {
    std::string text;
    if (contents.format == PackageFormat::kDvx) text += "Format:        dvx\n";
    text += "Title:         " + Cp1252ToUtf8(contents.title) + "\n";
    text += "Registry key:  " + Cp1252ToUtf8(contents.registryKey) + "\n";
    text += "Entries:       " + std::to_string(contents.entries.size());
    if (contents.entryCount < 0) text += " (the header says " + std::to_string(contents.entryCount) + ")";
    text += "\nFile size:     " + std::to_string(fileSize) + " bytes\n";
    text += "Signature:     " + signature.Describe() + "\n";
    if (contents.entries.empty()) return text;
    if (contents.format == PackageFormat::kDvx) return text + DvxEntryTable(contents);

    std::size_t sourceWidth = 6;
    for (const PackageEntry& entry : contents.entries) {
        sourceWidth = std::max(sourceWidth, Columns(Cp1252ToUtf8(entry.sourceName)));
    }
    text += "\nIndex      Offset  Required  Flags       Size  " + PadRight("Source", sourceWidth) + "  Target\n";
    for (std::size_t i = 0; i < contents.entries.size(); ++i) {
        const PackageEntry& entry = contents.entries[i];
        text += PadLeft(std::to_string(i), 5) + PadLeft(std::to_string(entry.recordOffset), 12) + "  " +
                (entry.IsRequired() ? "yes     " : "no      ") + "  " + Hex2(entry.flags) +
                PadLeft(std::to_string(entry.dataSize), 12) + "  " +
                PadRight(Cp1252ToUtf8(entry.sourceName), sourceWidth) + "  " + Cp1252ToUtf8(entry.targetName) + "\n";
    }
    return text;
}

}  // namespace

int RunInfo(const std::vector<std::string>& args) {
    CommandLine line({"help", "json"}, {"trust"}, {"trust"});
    std::string error;
    if (!line.Parse(args, error)) return ReportError("info", error + " (see dvk info --help)", kExitUsage);
    if (line.Has("help")) {
        PrintOut(kHelp);
        return kExitOk;
    }
    if (line.Operands().size() != 1) return ReportError("info", "give exactly one package (see dvk info --help)", kExitUsage);

    const std::string& file = line.Operands()[0];
    PackageStream stream;
    PackageContents contents;
    PackageCheckResult result;
    if (!InspectPackage(file, stream, contents, result, error)) return ReportError("info", error, kExitFailed);
    if (!result.IsSound()) {
        return ReportError("info", "'" + file + "' is damaged: " + DescribePackageCheck(result), kExitFailed);
    }
    std::vector<std::string> trusted;
    if (!ReadTrustedKeys(line.Values("trust"), trusted, error)) return ReportError("info", error, kExitFailed);
    const SignatureFinding signature = InspectSignature(stream, contents);
    PrintOut(line.Has("json") ? AsJson(file, contents, signature, stream)
                              : AsTable(contents, stream.Size(), signature));
    if (line.Has("trust") && !IsTrustedSigner(signature.state, signature.trailer, trusted)) {
        return ReportError("info", file + ": not signed by a trusted key", kExitFailed);
    }
    return kExitOk;
}
