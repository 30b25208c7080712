// A one-line progress bar on stderr, drawn only when stderr is a terminal
// and the work is large enough to be worth watching.
#pragma once

#include <cstdint>
#include <string>

class ProgressBar {
public:
    ProgressBar(const std::string& label, std::int64_t total);
    // Clears the line if anything was drawn.
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void Advance(std::int64_t done);

private:
    void Draw();

    std::string label_;
    std::int64_t total_;
    std::int64_t done_ = 0;
    int shownPercent_ = -1;
    bool enabled_;
};
