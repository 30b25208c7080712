#include "app/RunLog.h"

#include "package/CodePage1252.h"

bool RunLog::Open(const std::string& utf8Path) {
    if (file_ || utf8Path.empty()) return false;
    file_ = OpenLogFile(utf8Path);
    return file_ != nullptr;
}

bool RunLog::WriteLine(const std::string& text) {
    return WriteUtf8Line(Cp1252ToUtf8(text));
}

bool RunLog::WriteUtf8Line(const std::string& utf8) {
    if (!file_) return true;
    const std::tm now = clock_();
    char stamp[32];
    if (std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S ", &now) == 0) stamp[0] = '\0';

    std::string oneLine = utf8;
    for (char& c : oneLine) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    // CRLF on every system.
    return file_->Append(stamp + oneLine + "\r\n");
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
