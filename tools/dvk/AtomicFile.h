// A file written under a temporary name beside its final name and renamed
// only when complete, so that a failed write never leaves a half file.
//
// The temporary name is "<final>.part-" and 16 random hex digits, and the
// file is created only where no file, folder or link has that name
// (O_EXCL|O_NOFOLLOW, CREATE_NEW): nobody who may write to the folder can
// guess the name ahead and plant a link there that sends the bytes elsewhere.
#pragma once

#include <filesystem>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>

class AtomicFile {
public:
    explicit AtomicFile(const std::filesystem::path& finalPath);
    // Removes the temporary file unless Commit succeeded.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file; false (with a reason) when it cannot.
    [[nodiscard]] bool Create(std::string& error);
    std::ostream& Stream() { return out_; }
    // Where the bytes go until Commit.
    const std::filesystem::path& TempPath() const { return tempPath_; }
    // Closes the temporary file and renames it to the final name, replacing
    // any file of that name (a link there is replaced, not followed); false
    // (with a reason) when anything failed.
    [[nodiscard]] bool Commit(std::string& error);

private:
    std::filesystem::path finalPath_;
    std::filesystem::path tempPath_;
    std::unique_ptr<std::streambuf> buffer_;  // over the descriptor of the created file
    std::ostream out_{nullptr};
    bool committed_ = false;
};
