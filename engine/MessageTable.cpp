#include "engine/MessageStrings.h"

namespace {

struct MessageEntry {
    int id;
    const char* text;
};

#define MESSAGE_STRING(id, text) {id, text},
constexpr MessageEntry kMessages[] = {
#include "res/strings.def"
};
#undef MESSAGE_STRING

}  // namespace

std::string BuiltInMessageString(int id) {
    for (const MessageEntry& entry : kMessages) {
        if (entry.id == id) return entry.text;
    }
    return std::string();
}
