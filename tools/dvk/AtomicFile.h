// A file written under a temporary name beside its final name and renamed
// only when complete, so that a failed write never leaves a half file.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

class AtomicFile {
public:
    explicit AtomicFile(const std::filesystem::path& finalPath);
    // Removes the temporary file unless Commit succeeded.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file; false (with a reason) when it cannot.
    bool Create(std::string& error);
    std::ostream& Stream() { return out_; }
    // Where the bytes go until Commit.
    const std::filesystem::path& TempPath() const { return tempPath_; }
    // Closes the temporary file and renames it to the final name, replacing
    // any file of that name; false (with a reason) when anything failed.
    bool Commit(std::string& error);

private:
    std::filesystem::path finalPath_;
    std::filesystem::path tempPath_;
    std::ofstream out_;
    bool created_ = false;
    bool committed_ = false;
};
