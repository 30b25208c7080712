// Where Apply reports its progress: each call replaces the whole shown line.
#pragma once

#include <string>

class StatusSink {
public:
    virtual ~StatusSink() = default;
    // Shows a code page 1252 text in place of the previous one; returns once
    // the text has been taken.
    virtual void SetStatusLine(const std::string& text) = 0;
};
