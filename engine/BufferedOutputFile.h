// Gathers small writes into large ones before they reach the file: the engine
// writes 4096-byte blocks, and one system call per block would cost more than
// the copying itself.
#pragma once

#include <memory>
#include <vector>

#include "engine/TargetFileSystem.h"

class BufferedOutputFile : public OutputFile {
public:
    static constexpr std::size_t kBufferSize = 1 << 20;

    explicit BufferedOutputFile(std::unique_ptr<OutputFile> file) : file_(std::move(file)), buffer_(kBufferSize) {}

    [[nodiscard]] bool Write(const void* data, std::size_t size) override;
    [[nodiscard]] bool Sync() override { return Flush() && file_->Sync(); }
    // Writes what is buffered, puts the file on disk (a staged file must be
    // whole before it replaces its target, even across a power cut), closes
    // it and gives the buffer back.
    [[nodiscard]] bool Close() override;

private:
    [[nodiscard]] bool Flush();

    std::unique_ptr<OutputFile> file_;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
    bool failed_ = false;
};
