// The signing key's files, written and read the same way by both builds.
// A new key's two files: neither name may be taken (by a file, a folder or
// a link) before either is written; each is then made new, never through a
// link, the private one readable by its owner alone from its creation. A
// failure removes what was made: both files are there, or neither.
#pragma once

#include <memory>
#include <string>

// A file made new by the build's own calls (SigningKeyCng.cpp,
// SigningKeyOpenSsl.cpp), closed when it goes.
class NewKeyFile {
public:
    virtual ~NewKeyFile() = default;
    // Writes every byte of text; false when it could not.
    [[nodiscard]] virtual bool Write(const std::string& text) = 0;
};

// Whether anything has the name: a file, a folder, a link (even one to nowhere).
[[nodiscard]] bool KeyFileNameTaken(const std::string& name);
// A new file at name, never an existing one nor a link's target; ownerOnly:
// only the current user may open it. Null when it cannot be made.
[[nodiscard]] std::unique_ptr<NewKeyFile> CreateKeyFile(const std::string& name, bool ownerOnly);
// Deletes a file CreateKeyFile made.
void RemoveKeyFile(const std::string& name);

// Writes keyText (the private key) to keyFile and publicText to publicFile;
// keyText is wiped whatever happens. False, with the reason in error, when
// the files are not both written (and then neither is left).
[[nodiscard]] bool WriteKeyFiles(const std::string& keyFile, std::string& keyText, const std::string& publicFile,
                                 const std::string& publicText, std::string& error);

// The whole text of a private key file; false, with the reason in error,
// when it cannot be opened. The caller wipes text (WipeKeyText).
[[nodiscard]] bool ReadKeyFileText(const std::string& keyFile, std::string& text, std::string& error);
// Overwrites the bytes of a private key's text where they lie.
void WipeKeyText(std::string& text);
