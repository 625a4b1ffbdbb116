#include "tools/carvexctl/json_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace carvexctl {

namespace {

constexpr int kMaxDepth = 32;

void Indent(std::string& out, int level) {
    out.append(static_cast<size_t>(level) * 2, ' ');
}

void Append(std::string& out, const JsonValue& value, int level) {
    if (value.IsNull()) {
        out += "null";
    } else if (const bool* flag = value.Bool()) {
        out += *flag ? "true" : "false";
    } else if (const int64_t* number = value.Integer()) {
        out += std::to_string(*number);
    } else if (const double* fraction = value.Fraction()) {
        // The shortest text that reads back as the same number.
        char text[32];
        const auto [end, error] = std::to_chars(text, text + sizeof text, *fraction);
        out += error == std::errc() && std::isfinite(*fraction) ? std::string(text, end) : "null";
    } else if (const std::string* text = value.Text()) {
        out += JsonQuoted(*text);
    } else if (const auto* items = value.Items()) {
        if (items->empty()) {
            out += "[]";
            return;
        }
        out += "[\n";
        for (size_t i = 0; i < items->size(); ++i) {
            Indent(out, level + 1);
            Append(out, (*items)[i], level + 1);
            out += i + 1 < items->size() ? ",\n" : "\n";
        }
        Indent(out, level);
        out += "]";
    } else if (const auto* members = value.Members()) {
        if (members->empty()) {
            out += "{}";
            return;
        }
        out += "{\n";
        for (size_t i = 0; i < members->size(); ++i) {
            Indent(out, level + 1);
            out += JsonQuoted((*members)[i].first) + ": ";
            Append(out, (*members)[i].second, level + 1);
            out += i + 1 < members->size() ? ",\n" : "\n";
        }
        Indent(out, level);
        out += "}";
    }
}

void PutUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

class Parser {
  public:
    explicit Parser(std::string_view text) : text_(text) {}

    ParsedJson Parse() {
        ParsedJson parsed;
        JsonValue value;
        if (Value(value, 0)) {
            SkipBlanks();
            if (at_ == text_.size()) {
                parsed.value = std::move(value);
                return parsed;
            }
            error_ = "something follows the value";
        }
        parsed.error = error_ + " (at byte " + std::to_string(at_) + ")";
        return parsed;
    }

  private:
    bool Fail(std::string why) {
        error_ = std::move(why);
        return false;
    }

    void SkipBlanks() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' ||
                                      text_[at_] == '\n' || text_[at_] == '\r')) {
            ++at_;
        }
    }

    bool Take(std::string_view word) {
        if (text_.substr(at_, word.size()) != word) {
            return false;
        }
        at_ += word.size();
        return true;
    }

    bool Value(JsonValue& value, int depth) {
        if (depth > kMaxDepth) {
            return Fail("nested too deeply");
        }
        SkipBlanks();
        if (at_ >= text_.size()) {
            return Fail("the text ends where a value should be");
        }
        const char c = text_[at_];
        if (c == '{') {
            return ObjectValue(value, depth);
        }
        if (c == '[') {
            return ArrayValue(value, depth);
        }
        if (c == '"') {
            std::string text;
            if (!String(text)) {
                return false;
            }
            value = JsonValue(std::move(text));
            return true;
        }
        if (Take("null")) {
            value = JsonValue(nullptr);
            return true;
        }
        if (Take("true")) {
            value = JsonValue(true);
            return true;
        }
        if (Take("false")) {
            value = JsonValue(false);
            return true;
        }
        return Number(value);
    }

    bool Number(JsonValue& value) {
        const size_t start = at_;
        if (at_ < text_.size() && text_[at_] == '-') {
            ++at_;
        }
        const size_t digits = at_;
        while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') {
            ++at_;
        }
        if (at_ == digits) {
            return Fail("no value here");
        }
        if (text_[digits] == '0' && at_ - digits > 1) {
            return Fail("a number with a leading zero");
        }
        if (at_ < text_.size() && (text_[at_] == '.' || text_[at_] == 'e' || text_[at_] == 'E')) {
            return Fraction(value, start);
        }
        int64_t number = 0;
        const auto [end, error] = std::from_chars(text_.data() + start, text_.data() + at_, number);
        if (error != std::errc() || end != text_.data() + at_) {
            return Fail("a number out of range");
        }
        value = JsonValue(number);
        return true;
    }

    // The rest of a number with a fraction or an exponent, from its start.
    bool Fraction(JsonValue& value, size_t start) {
        if (text_[at_] == '.') {
            const size_t digits = ++at_;
            while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') {
                ++at_;
            }
            if (at_ == digits) {
                return Fail("a number without digits after its point");
            }
        }
        if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
            ++at_;
            if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) {
                ++at_;
            }
            const size_t digits = at_;
            while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') {
                ++at_;
            }
            if (at_ == digits) {
                return Fail("a number without digits in its exponent");
            }
        }
        double number = 0;
        const auto [end, error] = std::from_chars(text_.data() + start, text_.data() + at_, number);
        if (error != std::errc() || end != text_.data() + at_) {
            return Fail("a number out of range");
        }
        value = JsonValue(number);
        return true;
    }

    bool Hex4(uint32_t& code) {
        if (at_ + 4 > text_.size()) {
            return Fail("a cut \\u escape");
        }
        code = 0;
        for (size_t i = 0; i < 4; ++i) {
            const char h = text_[at_ + i];
            const int digit = h >= '0' && h <= '9'   ? h - '0'
                              : h >= 'a' && h <= 'f' ? h - 'a' + 10
                              : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                                     : -1;
            if (digit < 0) {
                return Fail("a \\u escape that is not hexadecimal");
            }
            code = code * 16 + static_cast<uint32_t>(digit);
        }
        at_ += 4;
        return true;
    }

    bool Escape(std::string& out) {
        if (at_ >= text_.size()) {
            return Fail("a text that is not closed");
        }
        const char c = text_[at_++];
        switch (c) {
            case '"':
            case '\\':
            case '/':
                out += c;
                return true;
            case 'b':
                out += '\b';
                return true;
            case 'f':
                out += '\f';
                return true;
            case 'n':
                out += '\n';
                return true;
            case 'r':
                out += '\r';
                return true;
            case 't':
                out += '\t';
                return true;
            case 'u':
                break;
            default:
                return Fail("an unknown escape");
        }
        uint32_t code = 0;
        if (!Hex4(code)) {
            return false;
        }
        if (code >= 0xD800 && code <= 0xDBFF) {
            uint32_t low = 0;
            if (!Take("\\u") || !Hex4(low) || low < 0xDC00 || low > 0xDFFF) {
                return Fail("a lone surrogate");
            }
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        } else if (code >= 0xDC00 && code <= 0xDFFF) {
            return Fail("a lone surrogate");
        }
        PutUtf8(out, code);
        return true;
    }

    bool String(std::string& out) {
        ++at_;  // the opening quote
        for (;;) {
            if (at_ >= text_.size()) {
                return Fail("a text that is not closed");
            }
            const char c = text_[at_];
            if (c == '"') {
                ++at_;
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                return Fail("a control character in a text");
            }
            if (c == '\\') {
                ++at_;
                if (!Escape(out)) {
                    return false;
                }
                continue;
            }
            out += c;
            ++at_;
        }
    }

    bool ArrayValue(JsonValue& value, int depth) {
        ++at_;
        JsonValue::Array items;
        SkipBlanks();
        if (Take("]")) {
            value = JsonValue(std::move(items));
            return true;
        }
        for (;;) {
            JsonValue item;
            if (!Value(item, depth + 1)) {
                return false;
            }
            items.push_back(std::move(item));
            SkipBlanks();
            if (Take("]")) {
                value = JsonValue(std::move(items));
                return true;
            }
            if (!Take(",")) {
                return Fail("an array item not followed by \",\" or \"]\"");
            }
        }
    }

    bool ObjectValue(JsonValue& value, int depth) {
        ++at_;
        JsonValue::Object members;
        SkipBlanks();
        if (Take("}")) {
            value = JsonValue(std::move(members));
            return true;
        }
        for (;;) {
            SkipBlanks();
            if (at_ >= text_.size() || text_[at_] != '"') {
                return Fail("an object member without a name");
            }
            std::string name;
            if (!String(name)) {
                return false;
            }
            SkipBlanks();
            if (!Take(":")) {
                return Fail("a member name not followed by \":\"");
            }
            JsonValue member;
            if (!Value(member, depth + 1)) {
                return false;
            }
            for (const auto& [known, ignored] : members) {
                if (known == name) {
                    return Fail("the member \"" + name + "\" twice");
                }
            }
            members.emplace_back(std::move(name), std::move(member));
            SkipBlanks();
            if (Take("}")) {
                value = JsonValue(std::move(members));
                return true;
            }
            if (!Take(",")) {
                return Fail("an object member not followed by \",\" or \"}\"");
            }
        }
    }

    std::string_view text_;
    size_t at_ = 0;
    std::string error_;
};

}  // namespace

const JsonValue* JsonValue::Find(std::string_view name) const {
    if (const Object* members = Members()) {
        for (const auto& [member_name, member] : *members) {
            if (member_name == name) {
                return &member;
            }
        }
    }
    return nullptr;
}

std::string JsonQuoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x",
                                  static_cast<unsigned>(static_cast<unsigned char>(c)));
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

std::string JsonText(const JsonValue& value, int indent) {
    std::string out;
    Append(out, value, indent);
    return out;
}

ParsedJson ParseJson(std::string_view text) {
    return Parser(text).Parse();
}

}  // namespace carvexctl
