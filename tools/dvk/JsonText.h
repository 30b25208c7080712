// JSON string literals for dvk info --json.
#pragma once

#include <string>

// The UTF-8 text as a quoted JSON string, with quotes, backslashes and
// control characters escaped.
std::string JsonString(const std::string& utf8);
