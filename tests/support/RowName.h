// A table row's name for GoogleTest's parameterized tests (letters, digits
// and '_' only): its number, then the words of its description.
#pragma once

#include <cstddef>
#include <string>

inline std::string RowName(std::size_t index, const std::string& description) {
    std::string name = "Row" + std::to_string(index) + "_";
    for (char c : description) {
        if (name.size() >= 60) break;
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
            name += c;
        } else if (name.back() != '_') {
            name += '_';
        }
    }
    return name;
}
