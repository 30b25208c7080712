#include "app/RunLog.h"

#include "package/CodePage1252.h"

RunLog::~RunLog() {
    if (file_) std::fclose(file_);
}

bool RunLog::Open(const std::string& path) {
    if (file_ || path.empty()) return false;
    // Binary: the line ends are written as they are, CRLF on every system.
    file_ = std::fopen(path.c_str(), "ab");
    return file_ != nullptr;
}

bool RunLog::WriteLine(const std::string& text) {
    if (!file_) return true;
    const std::tm now = clock_();
    char stamp[32];
    if (std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S ", &now) == 0) stamp[0] = '\0';

    std::string oneLine = text;
    for (char& c : oneLine) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    const std::string line = stamp + Cp1252ToUtf8(oneLine) + "\r\n";
    const bool written = std::fwrite(line.data(), 1, line.size(), file_) == line.size();
    return std::fflush(file_) == 0 && written;
}

std::tm RunLog::LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return local;
}
