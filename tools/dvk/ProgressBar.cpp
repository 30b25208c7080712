#include "tools/dvk/ProgressBar.h"

#include <cstdio>

#include "tools/dvk/SystemText.h"

namespace {

// Below this, packing is over before a bar could be read.
constexpr std::int64_t kWorthShowing = 8 * 1024 * 1024;
constexpr int kWidth = 30;

}  // namespace

ProgressBar::ProgressBar(const std::string& label, std::int64_t total)
    : label_(label), total_(total), enabled_(total >= kWorthShowing && IsTerminal(stderr)) {}

ProgressBar::~ProgressBar() {
    if (enabled_ && shownPercent_ >= 0) {
        WriteText(stderr, "\r" + std::string(label_.size() + kWidth + 10, ' ') + "\r");
        std::fflush(stderr);
    }
}

void ProgressBar::Advance(std::int64_t done) {
    done_ += done;
    if (enabled_) Draw();
}

void ProgressBar::Draw() {
    int percent = total_ > 0 ? static_cast<int>(done_ * 100 / total_) : 100;
    if (percent == shownPercent_) return;
    shownPercent_ = percent;
    int filled = percent * kWidth / 100;
    std::string line = "\r" + label_ + " [" + std::string(static_cast<std::size_t>(filled), '#') +
                       std::string(static_cast<std::size_t>(kWidth - filled), ' ') + "] " + std::to_string(percent) +
                       "%";
    WriteText(stderr, line);
    std::fflush(stderr);
}
