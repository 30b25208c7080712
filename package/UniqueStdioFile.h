// The one owner of a stdio file, for every layer and the tools: it closes
// the file when it goes.
#pragma once

#include <cstdio>
#include <memory>

struct StdioFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueStdioFile = std::unique_ptr<std::FILE, StdioFileCloser>;

// Closes the file at once. False when none was open or the close failed: for
// a file written to, the data still buffered may then be lost.
inline bool CloseStdioFile(UniqueStdioFile& file) {
    return file != nullptr && std::fclose(file.release()) == 0;
}
