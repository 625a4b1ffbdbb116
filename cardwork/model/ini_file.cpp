#include "cardwork/model/ini_file.h"

#include <algorithm>
#include <charconv>
#include <unordered_map>

#include "cardwork/model/utf8_path.h"
#include "carvex/platform/ascii_case.h"
#include "carvex/platform/text_trim.h"
#include "carvex/platform/utf8_text.h"
#include "carvex/platform/whole_file.h"

namespace cardwright {

namespace {

constexpr std::string_view kIniBlanks = " \t";
constexpr std::string_view kLineBreak = "\r\n";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string_view TrimIni(std::string_view s) {
    return carvex::TrimmedOf(s, kIniBlanks);
}

using carvex::AsciiUpper;

enum class Kind { kOther, kComment, kSection, kKey };

struct Classified {
    Kind kind = Kind::kOther;
    std::string_view name;   // section or key name
    std::string_view value;  // key value, trimmed, outer quotes kept
};

Classified Classify(std::string_view text) {
    const std::string_view line = TrimIni(text);
    if (line.empty()) {
        return {};
    }
    if (line.front() == ';') {
        return {Kind::kComment, {}, {}};
    }
    if (line.front() == '[') {
        const size_t close = line.find(']');
        return {Kind::kSection,
                TrimIni(line.substr(1, close == std::string_view::npos ? close : close - 1)),
                {}};
    }
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos || TrimIni(line.substr(0, equals)).empty()) {
        return {};
    }
    return {Kind::kKey, TrimIni(line.substr(0, equals)), TrimIni(line.substr(equals + 1))};
}

bool IsQuote(char c) {
    return c == '"' || c == '\'';
}

bool IsQuotedValue(std::string_view value) {
    return value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front();
}

// Bytes in the UTF-8 character that this byte starts; 0 for a byte that starts none.
size_t SequenceLength(char c) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte & 0xE0) == 0xC0) {
        return 2;
    }
    if ((byte & 0xF0) == 0xE0) {
        return 3;
    }
    if ((byte & 0xF8) == 0xF0) {
        return 4;
    }
    return 0;
}

// The first limit bytes, less a UTF-8 character that would not fit whole.
std::string_view CutAt(std::string_view text, size_t limit) {
    if (text.size() <= limit) {
        return text;
    }
    size_t lead = limit;
    while (lead > 0 && limit - lead < 4 && carvex::IsUtf8Continuation(text[lead])) {
        --lead;
    }
    if (lead < limit && SequenceLength(text[lead]) > limit - lead) {
        return text.substr(0, lead);
    }
    return text.substr(0, limit);
}

std::string ValueOf(std::string_view raw) {
    if (IsQuotedValue(raw)) {
        raw = raw.substr(1, raw.size() - 2);
    }
    return std::string(CutAt(raw, IniFile::kMaxValueLength));
}

// A value the reader would change (blanks around it, matching outer quotes) goes in quotes.
std::string Encoded(std::string_view value) {
    const bool quote =
        !value.empty() &&
        (kIniBlanks.find(value.front()) != std::string_view::npos ||
         kIniBlanks.find(value.back()) != std::string_view::npos || IsQuotedValue(value));
    return quote ? "\"" + std::string(value) + "\"" : std::string(value);
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of(kLineBreak) != std::string_view::npos;
}

bool HasBlanksAround(std::string_view text) {
    return !text.empty() && TrimIni(text).size() != text.size();
}

// Why a section name or key cannot be written, or nothing.
std::optional<std::string> SectionNameFault(std::string_view section) {
    if (HasLineBreak(section)) {
        return "the section name holds a line break";
    }
    if (section.find(']') != std::string_view::npos) {
        return "the section name [" + std::string(section) + "] holds ']'";
    }
    if (HasBlanksAround(section)) {
        return "the section name [" + std::string(section) + "] has blanks around it";
    }
    return std::nullopt;
}

std::optional<std::string> KeyFault(std::string_view key) {
    if (HasLineBreak(key)) {
        return "the key name holds a line break";
    }
    if (key.empty()) {
        return std::string("the key name is empty");
    }
    const std::string quoted = "the key name \"" + std::string(key) + "\"";
    if (key.find('=') != std::string_view::npos) {
        return quoted + " holds '='";
    }
    if (key.front() == '[' || key.front() == ';') {
        return quoted + " starts with '" + key.front() + "'";
    }
    if (HasBlanksAround(key)) {
        return quoted + " has blanks around it";
    }
    return std::nullopt;
}

// Why an entry cannot be written, or nothing.
std::optional<std::string> EntryFault(std::string_view key, std::string_view value) {
    if (auto fault = KeyFault(key)) {
        return fault;
    }
    if (HasLineBreak(value)) {
        return "the value of key \"" + std::string(key) + "\" holds a line break";
    }
    return std::nullopt;
}

struct FoldedHash {
    size_t operator()(std::string_view text) const {
        uint64_t hash = 14695981039346656037ULL;
        for (const char c : text) {
            hash = (hash ^ static_cast<unsigned char>(AsciiUpper(c))) * 1099511628211ULL;
        }
        return static_cast<size_t>(hash);
    }
};

struct FoldedEqual {
    bool operator()(std::string_view a, std::string_view b) const {
        return EqualIgnoringCase(a, b);
    }
};

struct KeyRef {
    size_t section;
    std::string_view name;
};

struct KeyRefHash {
    size_t operator()(const KeyRef& ref) const {
        return FoldedHash()(ref.name) ^ (ref.section * 0x9E3779B97F4A7C15ULL);
    }
};

struct KeyRefEqual {
    bool operator()(const KeyRef& a, const KeyRef& b) const {
        return a.section == b.section && EqualIgnoringCase(a.name, b.name);
    }
};

}  // namespace

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    return carvex::EqualIgnoringAsciiCase(a, b);
}

std::vector<IniEntry> MergedEntries(std::span<const IniEntry> entries) {
    std::vector<IniEntry> merged;
    std::unordered_map<std::string_view, size_t, FoldedHash, FoldedEqual> index;
    for (const auto& [key, value] : entries) {
        if (const auto [at, fresh] = index.try_emplace(key, merged.size()); fresh) {
            merged.emplace_back(key, value);
        } else {
            merged[at->second].second = value;
        }
    }
    return merged;
}

// One parse of the file: every section and key with its place in the text, and indexes from
// names to the first section and the first key of each name. The names and values are views
// into the text, so the snapshot is never copied or moved.
struct IniFile::Snapshot {
    struct Key {
        std::string_view name;
        std::string_view raw_value;  // trimmed, outer quotes kept
        size_t begin;                // the line's first byte
        size_t text_end;             // where the line's break starts
        size_t end;                  // one past the line's break
    };
    struct Section {
        std::string_view name;
        size_t begin;       // the header line's first byte
        size_t header_end;  // one past the header line's break
        size_t end;         // where the next header starts, or the file's end
        size_t first_key;   // keys [first_key, key_end) of keys
        size_t key_end;
    };

    Snapshot(FileText text, carvex::FileStamp file_stamp, bool could_read)
        : stamp(file_stamp), readable(could_read), file(std::move(text)), content(file.Text()) {
        Parse();
    }
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

    const Section* FindSection(std::string_view name) const {
        const auto found = section_index.find(name);
        return found == section_index.end() ? nullptr : &sections[found->second];
    }

    const Key* FindKey(const Section& section, std::string_view name) const {
        const auto found = key_index.find(KeyRef{Index(section), name});
        return found == key_index.end() ? nullptr : &keys[found->second];
    }

    size_t Index(const Section& section) const {
        return static_cast<size_t>(&section - sections.data());
    }

    // One past the last key of the section that fits the key list.
    size_t ListedKeys(const Section& section) const;

    carvex::FileStamp stamp;
    bool readable;  // false: the file is there but could not be read, so look again next time
    const FileText file;
    const std::string& content;  // the file's text
    std::vector<Key> keys;
    std::vector<Section> sections;
    std::unordered_map<std::string_view, size_t, FoldedHash, FoldedEqual> section_index;
    std::unordered_map<KeyRef, size_t, KeyRefHash, KeyRefEqual> key_index;

  private:
    void Parse() {
        const std::string_view text = content;
        size_t at = text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
        while (at < text.size()) {
            const size_t lf = text.find('\n', at);
            const size_t end = lf == std::string_view::npos ? text.size() : lf + 1;
            size_t text_end = lf == std::string_view::npos ? text.size() : lf;
            if (text_end > at && lf != std::string_view::npos && text[text_end - 1] == '\r') {
                --text_end;
            }
            const auto line = Classify(text.substr(at, text_end - at));
            if (line.kind == Kind::kSection) {
                if (!sections.empty()) {
                    sections.back().end = at;
                }
                sections.push_back({line.name, at, end, text.size(), keys.size(), keys.size()});
                section_index.try_emplace(line.name, sections.size() - 1);
            } else if (line.kind == Kind::kKey && !sections.empty()) {
                keys.push_back({line.name, line.value, at, text_end, end});
                sections.back().key_end = keys.size();
                key_index.try_emplace(KeyRef{sections.size() - 1, line.name}, keys.size() - 1);
            }
            at = end;
        }
    }
};

// One change of the file's bytes: [begin, end) becomes text.
struct IniFile::Edit {
    size_t begin;
    size_t end;
    std::string text;
};

IniFile::IniFile(std::filesystem::path path, carvex::CodePage legacy_code_page)
    : path_(std::move(path)), code_page_(std::move(legacy_code_page)) {}
IniFile::~IniFile() = default;
IniFile::IniFile(IniFile&&) noexcept = default;
IniFile& IniFile::operator=(IniFile&&) noexcept = default;

bool IniFile::Exists() const {
    return carvex::StampOf(path_).kind == carvex::FileStamp::Kind::kFile;
}

const IniFile::Snapshot& IniFile::Current() const {
    if (snapshot_ && snapshot_->readable && snapshot_->stamp == carvex::StampOf(path_)) {
        return *snapshot_;
    }
    auto file = carvex::ReadWholeFile(path_, kMaxFileBytes);
    if (file.error) {
        last_error_ = "Cannot read " + Utf8FromPath(path_) + ": " + file.error.message();
        file.content.clear();
    }
    snapshot_ = std::make_unique<const Snapshot>(FileText(std::move(file.content), code_page_),
                                                 file.stamp, !file.error);
    return *snapshot_;
}

std::optional<carvex::WriterLock> IniFile::LockForWriting() {
    std::string error;
    auto lock = carvex::WriterLock::Take(path_, kLockWait, error);
    if (!lock) {
        Refuse(std::move(error));
    }
    return lock;
}

const IniFile::Snapshot* IniFile::ForWriting() {
    auto file = carvex::ReadWholeFile(path_, kMaxFileBytes);
    if (file.error) {
        Refuse("the file cannot be read (" + file.error.message() + ") and is left as it is");
        return nullptr;
    }
    using FileKind = carvex::FileStamp::Kind;
    if (file.stamp.kind == FileKind::kFolder) {
        Refuse("it is a folder");
        return nullptr;
    }
    if (file.stamp.kind == FileKind::kOther) {
        Refuse("it is not a regular file");
        return nullptr;
    }
    if (!snapshot_ || !snapshot_->readable || snapshot_->file.Bytes() != file.content ||
        snapshot_->stamp != file.stamp) {
        snapshot_ = std::make_unique<const Snapshot>(FileText(std::move(file.content), code_page_),
                                                     file.stamp, true);
    }
    return snapshot_.get();
}

bool IniFile::Refuse(std::string reason) {
    last_error_ = "Cannot write " + Utf8FromPath(path_) + ": " + std::move(reason);
    return false;
}

// The edits are made in the text; in the bytes each one replaces the bytes of what it replaces,
// and the rest stays byte for byte.
bool IniFile::Apply(const Snapshot& base, const std::vector<Edit>& edits) {
    const std::string& bytes = base.file.Bytes();
    std::string next_bytes;
    std::string next_text;
    next_bytes.reserve(bytes.size() + 256);
    next_text.reserve(base.content.size() + 256);
    size_t at_byte = 0;
    size_t at_text = 0;
    for (const auto& edit : edits) {
        std::string why;
        const auto encoded = base.file.Encode(edit.text, why);
        if (!encoded) {
            return Refuse(std::move(why) + "; the file is left as it is");
        }
        const size_t begin = base.file.ByteOffset(edit.begin);
        next_bytes.append(bytes, at_byte, begin - at_byte);
        next_bytes += *encoded;
        at_byte = base.file.ByteOffset(edit.end);
        next_text.append(base.content, at_text, edit.begin - at_text);
        next_text += edit.text;
        at_text = edit.end;
    }
    next_bytes.append(bytes, at_byte);
    next_text.append(base.content, at_text);
    return Replace(std::move(next_bytes), next_text);
}

bool IniFile::Replace(std::string bytes, std::string_view text) {
    // Which encoding a file is in is told from its bytes alone, so a change can make the whole
    // file read otherwise: CP936 text whose only bytes that are no UTF-8 go, or bytes that are no
    // UTF-8 written into a UTF-8 file.
    FileText written(std::move(bytes), code_page_);
    if (written.Text() != text) {
        return Refuse(written.TextEncoding() == FileText::Encoding::kUtf8
                          ? "with this change the file would be taken for UTF-8 and its other "
                            "lines would read otherwise; it is left as it is"
                          : "what would be written is not UTF-8 text, and the file would read "
                            "otherwise; it is left as it is");
    }
    auto replaced = carvex::ReplaceWholeFile(path_, written.Bytes());
    if (!replaced.stamp) {
        return Refuse(std::move(replaced.error));
    }
    snapshot_ = std::make_unique<const Snapshot>(std::move(written), *replaced.stamp, true);
    return true;
}

FileText::Encoding IniFile::TextEncoding() const {
    return Current().file.TextEncoding();
}

std::optional<std::string> IniFile::ReadString(std::string_view section,
                                               std::string_view key) const {
    const auto& snapshot = Current();
    const auto* found = snapshot.FindSection(section);
    if (found == nullptr) {
        return std::nullopt;
    }
    const auto* entry = snapshot.FindKey(*found, key);
    if (entry == nullptr) {
        return std::nullopt;
    }
    return ValueOf(entry->raw_value);
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
    std::string_view digits = TrimIni(*text);
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
    const auto& snapshot = Current();
    const auto* found = snapshot.FindSection(section);
    // Present when the key list holds at least its first name (and the list's closing zero).
    return found != nullptr && found->first_key < found->key_end &&
           snapshot.keys[found->first_key].name.size() + 2 <= kKeyListBytes;
}

size_t IniFile::Snapshot::ListedKeys(const Section& section) const {
    KeyListBytes list;
    size_t end = section.first_key;
    while (end < section.key_end && list.Take(keys[end].name)) {
        ++end;
    }
    return end;
}

bool KeyListBytes::Take(std::string_view name) {
    if (used_ + name.size() + 1 > IniFile::kKeyListBytes) {
        return false;
    }
    used_ += name.size() + 1;
    return true;
}

std::vector<std::string> IniFile::ReadSection(std::string_view section) const {
    const auto& snapshot = Current();
    std::vector<std::string> names;
    const auto* found = snapshot.FindSection(section);
    if (found == nullptr) {
        return names;
    }
    const size_t end = snapshot.ListedKeys(*found);
    for (size_t i = found->first_key; i < end; ++i) {
        names.emplace_back(snapshot.keys[i].name);
    }
    return names;
}

std::vector<IniEntry> IniFile::ReadEntries(std::string_view section) const {
    const auto& snapshot = Current();
    std::vector<IniEntry> entries;
    const auto* found = snapshot.FindSection(section);
    if (found == nullptr) {
        return entries;
    }
    const size_t end = snapshot.ListedKeys(*found);
    for (size_t i = found->first_key; i < end; ++i) {
        const auto name = snapshot.keys[i].name;
        entries.emplace_back(name, ValueOf(snapshot.FindKey(*found, name)->raw_value));
    }
    return entries;
}

std::vector<std::string> IniFile::ReadSections() const {
    const auto& snapshot = Current();
    std::vector<std::string> names;
    names.reserve(snapshot.sections.size());
    for (const auto& section : snapshot.sections) {
        names.emplace_back(section.name);
    }
    return names;
}

std::optional<std::string> IniFile::AsFileBytes(std::string_view text) const {
    std::string why;
    return Current().file.Encode(text, why);
}

bool IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    return WriteStrings(section, {{std::string(key), std::string(value)}});
}

bool IniFile::WriteStrings(std::string_view section,
                           const std::vector<std::pair<std::string, std::string>>& entries) {
    if (auto fault = SectionNameFault(section)) {
        return Refuse(std::move(*fault));
    }
    for (const auto& [key, value] : entries) {
        if (auto fault = EntryFault(key, value)) {
            return Refuse(std::move(*fault));
        }
    }
    const auto lock = LockForWriting();
    const Snapshot* base = lock ? ForWriting() : nullptr;
    if (base == nullptr) {
        return false;
    }
    if (entries.empty()) {
        return true;
    }
    const Snapshot::Section* found = base->FindSection(section);

    // A later entry of the same name replaces the earlier one, as separate writes would.
    const std::vector<IniEntry> merged = MergedEntries(entries);
    std::unordered_map<const Snapshot::Key*, std::string_view> replaced;
    std::vector<std::pair<std::string_view, std::string_view>> added;
    for (const auto& [key, value] : merged) {
        if (const Snapshot::Key* existing = found ? base->FindKey(*found, key) : nullptr) {
            replaced[existing] = value;
        } else {
            added.emplace_back(key, value);
        }
    }

    std::vector<Edit> edits;
    // A last line without a break gets one before anything follows it.
    if (!base->content.empty() && base->content.back() != '\n') {
        edits.push_back({base->content.size(), base->content.size(), std::string(kLineBreak)});
    }
    for (const auto& [key, value] : replaced) {
        edits.push_back({key->begin, key->text_end, std::string(key->name) + "=" + Encoded(value)});
    }
    std::string lines;
    for (const auto& [key, value] : added) {
        lines += std::string(key) + "=" + Encoded(value) + std::string(kLineBreak);
    }
    if (found == nullptr) {
        lines = "[" + std::string(section) + "]" + std::string(kLineBreak) + lines;
        edits.push_back({base->content.size(), base->content.size(), std::move(lines)});
    } else if (!lines.empty()) {
        const size_t insert_at = found->key_end > found->first_key
                                     ? base->keys[found->key_end - 1].end
                                     : found->header_end;
        edits.push_back({insert_at, insert_at, std::move(lines)});
    }
    std::stable_sort(edits.begin(), edits.end(),
                     [](const Edit& a, const Edit& b) { return a.begin < b.begin; });
    return Apply(*base, edits);
}

bool IniFile::WriteWhole(std::span<const IniSection> sections) {
    std::vector<IniSection> merged;
    for (const auto& section : sections) {
        if (auto fault = SectionNameFault(section.name)) {
            return Refuse(std::move(*fault));
        }
        for (const auto& [key, value] : section.entries) {
            if (auto fault = EntryFault(key, value)) {
                return Refuse(std::move(*fault));
            }
        }
        auto same = std::find_if(merged.begin(), merged.end(), [&](const IniSection& earlier) {
            return EqualIgnoringCase(earlier.name, section.name);
        });
        if (same == merged.end()) {
            same = merged.insert(merged.end(), {section.name, {}});
        }
        same->entries.insert(same->entries.end(), section.entries.begin(), section.entries.end());
    }
    std::string text;
    for (const auto& section : merged) {
        const auto entries = MergedEntries(section.entries);
        if (entries.empty()) {
            continue;
        }
        text += "[" + section.name + "]" + std::string(kLineBreak);
        for (const auto& [key, value] : entries) {
            text += key + "=" + Encoded(value) + std::string(kLineBreak);
        }
    }
    // Nothing of the file is kept, so there is nothing another writer's change could be lost
    // from: no lock (and no side file beside an exported file).
    if (ForWriting() == nullptr) {
        return false;
    }
    return Replace(text, text);
}

bool IniFile::DeleteKey(std::string_view section, std::string_view key) {
    const auto lock = LockForWriting();
    const Snapshot* base = lock ? ForWriting() : nullptr;
    if (base == nullptr) {
        return false;
    }
    const auto* found = base->FindSection(section);
    const auto* entry = found ? base->FindKey(*found, key) : nullptr;
    if (entry == nullptr) {
        return true;
    }
    return Apply(*base, {{entry->begin, entry->end, {}}});
}

bool IniFile::EraseSection(std::string_view section) {
    const auto lock = LockForWriting();
    const Snapshot* base = lock ? ForWriting() : nullptr;
    if (base == nullptr) {
        return false;
    }
    const auto* found = base->FindSection(section);
    if (found == nullptr) {
        return true;
    }
    return Apply(*base, {{found->begin, found->end, {}}});
}

}  // namespace cardwright
