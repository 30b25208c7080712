#include "tools/dvk/KeyFileWriter.h"

namespace {

// Overwrites the private key's text where it lies; volatile, so that the
// writes are not dropped as stores to a string about to go.
class WipeOnExit {
public:
    explicit WipeOnExit(std::string& text) : text_(text) {}
    ~WipeOnExit() {
        volatile char* bytes = &text_[0];
        for (std::size_t i = 0; i < text_.size(); ++i) bytes[i] = 0;
    }
    WipeOnExit(const WipeOnExit&) = delete;
    WipeOnExit& operator=(const WipeOnExit&) = delete;

private:
    std::string& text_;
};

}  // namespace

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
