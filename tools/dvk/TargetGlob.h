// A pattern over target names, for dvk pack --required.
//
// Both '\' and '/' separate folders, in the pattern and in the name. '*'
// matches any run of characters within one folder level, '**' any run across
// levels, '?' one character other than a separator. Letters match in either
// case, as Windows file names do. Pattern and names are cp1252.
#pragma once

#include <string>

class TargetGlob {
public:
    explicit TargetGlob(const std::string& pattern);

    bool Matches(const std::string& targetName) const;
    // The form in which two target names that Windows takes for the same file
    // are equal: separators as '\', letters in lower case.
    static std::string Fold(const std::string& targetName);
    const std::string& Pattern() const { return pattern_; }

private:
    std::string pattern_;     // as given
    std::string normalized_;  // separators as '\', letters folded
};
