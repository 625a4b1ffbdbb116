#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace carvexctl {

// A JSON value as carvexctl writes and reads its files (snapshots, reports): null, true and
// false, numbers (integers as such; with a fraction or an exponent, such as the seconds of a
// report, as doubles), texts, arrays and objects whose members keep the order they were written
// in.
class JsonValue {
  public:
    using Array = std::vector<JsonValue>;
    using Member = std::pair<std::string, JsonValue>;
    using Object = std::vector<Member>;

    JsonValue() = default;
    JsonValue(std::nullptr_t) {}
    JsonValue(bool value) : value_(value) {}
    JsonValue(int64_t value) : value_(value) {}
    JsonValue(int value) : value_(int64_t{value}) {}
    JsonValue(size_t value) : value_(static_cast<int64_t>(value)) {}
    JsonValue(double value) : value_(value) {}
    JsonValue(std::string value) : value_(std::move(value)) {}
    JsonValue(const char* value) : value_(std::string(value)) {}
    JsonValue(Array value) : value_(std::move(value)) {}
    JsonValue(Object value) : value_(std::move(value)) {}

    bool IsNull() const { return std::holds_alternative<std::monostate>(value_); }
    const bool* Bool() const { return std::get_if<bool>(&value_); }
    const int64_t* Integer() const { return std::get_if<int64_t>(&value_); }
    const double* Fraction() const { return std::get_if<double>(&value_); }
    const std::string* Text() const { return std::get_if<std::string>(&value_); }
    const Array* Items() const { return std::get_if<Array>(&value_); }
    const Object* Members() const { return std::get_if<Object>(&value_); }
    // The member of that name of an object; nullptr when there is none or this is no object.
    const JsonValue* Find(std::string_view name) const;

  private:
    std::variant<std::monostate, bool, int64_t, double, std::string, Array, Object> value_;
};

// The value as text: objects and arrays one member or item a line, indented by two blanks a
// level; a text's quotes, backslashes and control characters escaped. `indent` is the level
// the value starts at.
std::string JsonText(const JsonValue& value, int indent = 0);
// A text in quotes, escaped as JsonText escapes it.
std::string JsonQuoted(std::string_view text);

struct ParsedJson {
    std::optional<JsonValue> value;
    std::string error;  // where and why the text is no JSON value of the kinds above
};

// Reads one value, with nothing but white space after it. Nesting deeper than 32 levels and an
// integer out of the 64-bit range are refused. The bytes of a text are taken as they are (what
// carvexctl writes is printable UTF-8).
ParsedJson ParseJson(std::string_view text);

}  // namespace carvexctl
