#include "app/model/ini_file.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>

namespace cardwright {

namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kLineBreak = "\r\n";

std::string_view Trim(std::string_view s) {
    const size_t first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

char Fold(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

enum class Kind { kOther, kComment, kSection, kKey };

struct Classified {
    Kind kind = Kind::kOther;
    std::string_view name;   // section or key name
    std::string_view value;  // key value, trimmed, outer quotes kept
};

Classified Classify(std::string_view text) {
    const std::string_view line = Trim(text);
    if (line.empty()) {
        return {};
    }
    if (line.front() == ';') {
        return {Kind::kComment, {}, {}};
    }
    if (line.front() == '[') {
        const size_t close = line.find(']');
        return {Kind::kSection,
                Trim(line.substr(1, close == std::string_view::npos ? close : close - 1)),
                {}};
    }
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos || Trim(line.substr(0, equals)).empty()) {
        return {};
    }
    return {Kind::kKey, Trim(line.substr(0, equals)), Trim(line.substr(equals + 1))};
}

std::string Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value.substr(0, IniFile::kMaxValueLength));
}

// Line indices of one section: its header, and its lines up to the next header.
struct SectionSpan {
    size_t header;
    size_t end;  // one past the section's last line
};

}  // namespace

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Fold(x) == Fold(y); });
}

struct IniFile::Parsed {
    // The first section of the given name.
    static std::optional<SectionSpan> Find(const std::vector<Line>& lines,
                                           std::string_view section) {
        for (size_t i = 0; i < lines.size(); ++i) {
            const auto c = Classify(lines[i].text);
            if (c.kind == Kind::kSection && EqualIgnoringCase(c.name, section)) {
                size_t end = i + 1;
                while (end < lines.size() && Classify(lines[end].text).kind != Kind::kSection) {
                    ++end;
                }
                return SectionSpan{i, end};
            }
        }
        return std::nullopt;
    }

    static std::optional<size_t> FindKey(const std::vector<Line>& lines, const SectionSpan& span,
                                         std::string_view key) {
        for (size_t i = span.header + 1; i < span.end; ++i) {
            const auto c = Classify(lines[i].text);
            if (c.kind == Kind::kKey && EqualIgnoringCase(c.name, key)) {
                return i;
            }
        }
        return std::nullopt;
    }
};

IniFile::IniFile(std::filesystem::path path) : path_(std::move(path)) {}

std::vector<IniFile::Line> IniFile::Load() const {
    std::vector<Line> lines;
    std::error_code error;
    if (!std::filesystem::is_regular_file(path_, error)) {
        return lines;  // a missing file reads as empty
    }
    std::ifstream in(path_, std::ios::binary);
    std::string text;
    try {
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::ios_base::failure&) {
        return lines;
    }
    size_t at = 0;
    while (at < text.size()) {
        const size_t lf = text.find('\n', at);
        if (lf == std::string::npos) {
            lines.push_back({text.substr(at), ""});
            break;
        }
        const bool crlf = lf > at && text[lf - 1] == '\r';
        lines.push_back({text.substr(at, lf - at - (crlf ? 1 : 0)), crlf ? "\r\n" : "\n"});
        at = lf + 1;
    }
    return lines;
}

bool IniFile::Save(const std::vector<Line>& lines) const {
    std::string text;
    for (const auto& line : lines) {
        text += line.text;
        text += line.terminator;
    }
    // A new file beside the old one, then renamed over it: a failed write leaves the old file.
    const std::filesystem::path temporary = path_.string() + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            return false;
        }
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.flush();
        if (!out) {
            out.close();
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, path_, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        return false;
    }
    return true;
}

std::optional<std::string> IniFile::ReadString(std::string_view section,
                                               std::string_view key) const {
    const auto lines = Load();
    const auto span = Parsed::Find(lines, section);
    if (!span) {
        return std::nullopt;
    }
    const auto at = Parsed::FindKey(lines, *span, key);
    if (!at) {
        return std::nullopt;
    }
    return Unquote(Classify(lines[*at].text).value);
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view default_value) const {
    return ReadString(section, key).value_or(std::string(default_value));
}

int IniFile::ReadInteger(std::string_view section, std::string_view key, int default_value) const {
    const auto text = ReadString(section, key);
    if (!text) {
        return default_value;
    }
    std::string_view digits = Trim(*text);
    bool negative = false;
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits.remove_prefix(2);
        base = 16;
    }
    long long value = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (end == digits.data() || error != std::errc()) {
        return default_value;
    }
    return static_cast<int>(negative ? -value : value);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool default_value) const {
    return ReadInteger(section, key, default_value ? 1 : 0) != 0;
}

bool IniFile::SectionExists(std::string_view section) const {
    return !ReadSection(section).empty();
}

std::vector<std::string> IniFile::ReadSection(std::string_view section) const {
    const auto lines = Load();
    std::vector<std::string> keys;
    const auto span = Parsed::Find(lines, section);
    if (!span) {
        return keys;
    }
    // Names are listed as zero-terminated strings with a closing zero, within the list's bytes.
    size_t used = 1;
    for (size_t i = span->header + 1; i < span->end; ++i) {
        const auto c = Classify(lines[i].text);
        if (c.kind != Kind::kKey) {
            continue;
        }
        if (used + c.name.size() + 1 > kKeyListBytes) {
            break;
        }
        used += c.name.size() + 1;
        keys.emplace_back(c.name);
    }
    return keys;
}

std::vector<std::string> IniFile::ReadSections() const {
    std::vector<std::string> names;
    for (const auto& line : Load()) {
        const auto c = Classify(line.text);
        if (c.kind == Kind::kSection) {
            names.emplace_back(c.name);
        }
    }
    return names;
}

bool IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    auto lines = Load();
    // A last line without a break gets one before anything follows it.
    if (!lines.empty() && lines.back().terminator.empty()) {
        lines.back().terminator = kLineBreak;
    }
    const std::string key_line = std::string(key) + "=" + std::string(value);
    const auto span = Parsed::Find(lines, section);
    if (!span) {
        lines.push_back({"[" + std::string(section) + "]", std::string(kLineBreak)});
        lines.push_back({key_line, std::string(kLineBreak)});
        return Save(lines);
    }
    if (const auto at = Parsed::FindKey(lines, *span, key)) {
        const std::string name(Classify(lines[*at].text).name);
        lines[*at].text = name + "=" + std::string(value);
        return Save(lines);
    }
    size_t insert_at = span->header + 1;
    for (size_t i = span->header + 1; i < span->end; ++i) {
        if (Classify(lines[i].text).kind == Kind::kKey) {
            insert_at = i + 1;
        }
    }
    lines.insert(lines.begin() + static_cast<long>(insert_at), {key_line, std::string(kLineBreak)});
    return Save(lines);
}

bool IniFile::DeleteKey(std::string_view section, std::string_view key) {
    auto lines = Load();
    const auto span = Parsed::Find(lines, section);
    if (!span) {
        return true;
    }
    const auto at = Parsed::FindKey(lines, *span, key);
    if (!at) {
        return true;
    }
    lines.erase(lines.begin() + static_cast<long>(*at));
    return Save(lines);
}

bool IniFile::EraseSection(std::string_view section) {
    auto lines = Load();
    const auto span = Parsed::Find(lines, section);
    if (!span) {
        return true;
    }
    lines.erase(lines.begin() + static_cast<long>(span->header),
                lines.begin() + static_cast<long>(span->end));
    return Save(lines);
}

}  // namespace cardwright
