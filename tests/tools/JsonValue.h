// A small JSON reader for checking dvk info --json: objects, arrays,
// strings, integers, true, false and null.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct JsonValue {
    enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };
    Kind kind = Kind::kNull;
    bool boolean = false;
    std::int64_t number = 0;
    std::string text;
    std::vector<JsonValue> items;
    std::map<std::string, JsonValue> members;

    // The member of that name; a null value when there is none.
    const JsonValue& operator[](const std::string& name) const;
};

// Parses a whole document; false on any syntax error or trailing text.
bool ParseJson(const std::string& text, JsonValue& value);
