#include "engine/BufferedOutputFile.h"

#include <algorithm>
#include <cstring>

bool BufferedOutputFile::Write(const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0 && !failed_) {
        if (buffer_.empty()) return failed_ = true, false;  // written after Close
        std::size_t take = std::min(size, buffer_.size() - used_);
        std::memcpy(buffer_.data() + used_, bytes, take);
        used_ += take;
        bytes += take;
        size -= take;
        if (used_ == buffer_.size()) static_cast<void>(Flush());  // a failure stays in failed_, the loop's test
    }
    return !failed_;
}

bool BufferedOutputFile::Flush() {
    if (used_ > 0 && !failed_ && !file_->Write(buffer_.data(), used_)) failed_ = true;
    used_ = 0;
    return !failed_;
}

bool BufferedOutputFile::Close() {
    bool flushed = Flush() && file_->Sync();
    bool closed = file_->Close();
    std::vector<char>().swap(buffer_);  // a closed file holds no memory
    return flushed && closed;
}
