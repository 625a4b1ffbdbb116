#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace cardwright {

// What carvexctl and the programs beside it write for scripts and read back (snapshots, reports,
// a command's output, a stream of events) is JSON of one kind:
// - member names in snake_case ("card_type", "nv_items_written"); an object's members keep the
//   order they were put in, so a file reads the same every time it is written;
// - a command's output is one document on standard output and nothing else there, ending with
//   a line break (PrintJsonDocument); an event stream is one object per line (PrintJsonLine);
// - texts are UTF-8: a byte that is not part of valid UTF-8 (a file name in another encoding, a
//   card's text) is written, and read, as U+FFFD, since JSON cannot carry it.
using Json = nlohmann::ordered_json;

// The value as a document: objects and arrays one member or item a line, indented by two blanks
// a level; no line break after the last line.
std::string JsonText(const Json& value);
// The value on one line of its own, line break included.
std::string JsonLine(const Json& value);

// The text with every byte that is not part of valid UTF-8 replaced by U+FFFD.
std::string ValidUtf8(std::string_view text);

// A text that may be missing: null when empty.
Json TextOrNull(const std::string& text);

// One document, then a line break; one event, on a line of its own, seen at once.
void PrintJsonDocument(std::ostream& out, const Json& value);
void PrintJsonLine(std::ostream& out, const Json& value);

inline constexpr int kJsonMaxDepth = 32;

struct ParsedJson {
    std::optional<Json> value;
    std::string error;  // where and why the text is no JSON value
};

// Reads one value, with nothing but white space after it. Refused besides what is no JSON: arrays
// and objects nested deeper than kJsonMaxDepth, and an object that names a member twice (which of
// the two counts would be a guess).
ParsedJson ParseJson(std::string_view text);

}  // namespace cardwright
