#include "tools/dvk/KeyFiles.h"

#include <cstdio>

#include "package/UniqueStdioFile.h"

namespace {

// Through volatile, so that the stores are not dropped as dead.
void Wipe(void* data, std::size_t size) {
    volatile char* bytes = static_cast<char*>(data);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = 0;
}

class WipeOnExit {
public:
    explicit WipeOnExit(std::string& text) : text_(text) {}
    ~WipeOnExit() { WipeKeyText(text_); }
    WipeOnExit(const WipeOnExit&) = delete;
    WipeOnExit& operator=(const WipeOnExit&) = delete;

private:
    std::string& text_;
};

}  // namespace

void WipeKeyText(std::string& text) {
    Wipe(&text[0], text.size());
}

bool ReadKeyFileText(const std::string& keyFile, std::string& text, std::string& error) {
    const UniqueStdioFile file(std::fopen(keyFile.c_str(), "rb"));
    if (!file) {
        error = "'" + keyFile + "': cannot read the file";
        return false;
    }
    text.clear();
    char chunk[4096];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0;) text.append(chunk, got);
    Wipe(chunk, sizeof chunk);
    return true;
}

bool WriteKeyFiles(const std::string& keyFile, std::string& keyText, const std::string& publicFile,
                   const std::string& publicText, std::string& error) {
    const WipeOnExit wipe(keyText);
    for (const std::string* name : {&keyFile, &publicFile}) {
        if (KeyFileNameTaken(*name)) {
            error = "cannot create '" + *name + "' (it must not exist yet); nothing was written";
            return false;
        }
    }
    std::unique_ptr<NewKeyFile> key = CreateKeyFile(keyFile, true);
    if (!key) {
        error = "cannot create '" + keyFile + "' (it must not exist yet)";
        return false;
    }
    std::unique_ptr<NewKeyFile> pub = CreateKeyFile(publicFile, false);
    if (!pub) {
        key.reset();
        RemoveKeyFile(keyFile);  // made above, empty
        error = "cannot create '" + publicFile + "' (it must not exist yet); nothing was written";
        return false;
    }
    const bool keyWritten = key->Write(keyText);
    const bool publicWritten = keyWritten && pub->Write(publicText);
    if (!publicWritten) {
        key.reset();
        pub.reset();
        RemoveKeyFile(keyFile);
        RemoveKeyFile(publicFile);
        error = "cannot write '" + (keyWritten ? publicFile : keyFile) + "'";
        return false;
    }
    return true;
}
