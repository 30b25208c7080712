#include "tests/tools/JsonValue.h"

#include <cctype>

namespace {

class Parser {
public:
    explicit Parser(const std::string& text) : text_(text) {}

    bool Document(JsonValue& value) {
        if (!Value(value)) return false;
        SkipSpace();
        return at_ == text_.size();
    }

private:
    void SkipSpace() {
        while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) ++at_;
    }

    bool Literal(const char* word) {
        std::string expected(word);
        if (text_.compare(at_, expected.size(), expected) != 0) return false;
        at_ += expected.size();
        return true;
    }

    bool String(std::string& out) {
        if (at_ >= text_.size() || text_[at_] != '"') return false;
        ++at_;
        while (at_ < text_.size()) {
            char c = text_[at_++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_ >= text_.size()) return false;
            char escape = text_[at_++];
            switch (escape) {
                case '"': out += '"'; break;
                case '\\': out += '\\'; break;
                case '/': out += '/'; break;
                case 'n': out += '\n'; break;
                case 't': out += '\t'; break;
                case 'r': out += '\r'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'u': {
                    if (at_ + 4 > text_.size()) return false;
                    unsigned code = static_cast<unsigned>(std::stoul(text_.substr(at_, 4), nullptr, 16));
                    at_ += 4;
                    if (code >= 0x80) return false;  // the tool escapes control characters only
                    out += static_cast<char>(code);
                    break;
                }
                default: return false;
            }
        }
        return false;
    }

    bool Value(JsonValue& value) {
        SkipSpace();
        if (at_ >= text_.size()) return false;
        char c = text_[at_];
        if (c == '{') {
            value.kind = JsonValue::Kind::kObject;
            ++at_;
            SkipSpace();
            if (at_ < text_.size() && text_[at_] == '}') return ++at_, true;
            for (;;) {
                SkipSpace();
                std::string name;
                if (!String(name)) return false;
                SkipSpace();
                if (at_ >= text_.size() || text_[at_++] != ':') return false;
                if (!Value(value.members[name])) return false;
                SkipSpace();
                if (at_ >= text_.size()) return false;
                if (text_[at_] == '}') return ++at_, true;
                if (text_[at_++] != ',') return false;
            }
        }
        if (c == '[') {
            value.kind = JsonValue::Kind::kArray;
            ++at_;
            SkipSpace();
            if (at_ < text_.size() && text_[at_] == ']') return ++at_, true;
            for (;;) {
                value.items.emplace_back();
                if (!Value(value.items.back())) return false;
                SkipSpace();
                if (at_ >= text_.size()) return false;
                if (text_[at_] == ']') return ++at_, true;
                if (text_[at_++] != ',') return false;
            }
        }
        if (c == '"') {
            value.kind = JsonValue::Kind::kString;
            return String(value.text);
        }
        if (Literal("true")) return value.kind = JsonValue::Kind::kBool, value.boolean = true, true;
        if (Literal("false")) return value.kind = JsonValue::Kind::kBool, value.boolean = false, true;
        if (Literal("null")) return value.kind = JsonValue::Kind::kNull, true;
        std::size_t start = at_;
        if (text_[at_] == '-') ++at_;
        while (at_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[at_]))) ++at_;
        if (at_ == start || (at_ == start + 1 && text_[start] == '-')) return false;
        value.kind = JsonValue::Kind::kNumber;
        value.number = std::stoll(text_.substr(start, at_ - start));
        return true;
    }

    const std::string& text_;
    std::size_t at_ = 0;
};

}  // namespace

const JsonValue& JsonValue::operator[](const std::string& name) const {
    static const JsonValue kNullValue;
    auto found = members.find(name);
    return found == members.end() ? kNullValue : found->second;
}

bool ParseJson(const std::string& text, JsonValue& value) {
    value = JsonValue();
    return Parser(text).Document(value);
}
