// libFuzzer target for the INI reader and writer. Any bytes read without a fault; every key of
// every section, written through the writer into a fresh file, reads back the same; a write into
// the file itself changes the written key and nothing else, or (in a file that is not UTF-8,
// whose encoding may not hold the line or may be told otherwise afterwards) is refused and
// changes nothing. Run it with TMPDIR on a tmpfs: every write flushes its file.
#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "cardwork/model/ini_file.h"

namespace {

using cardwright::EqualIgnoringCase;
using cardwright::IniFile;
using Entries = std::vector<std::pair<std::string, std::string>>;

struct Section {
    std::string name;
    Entries entries;
};

class ScratchFolder {
  public:
    ScratchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "ini-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
};

void Check(bool holds) {
    if (!holds) {
        std::abort();
    }
}

bool Listed(const std::vector<Section>& sections, const std::string& name) {
    for (const auto& section : sections) {
        if (EqualIgnoringCase(section.name, name)) {
            return true;
        }
    }
    return false;
}

bool Listed(const Entries& entries, const std::string& key) {
    for (const auto& entry : entries) {
        if (EqualIgnoringCase(entry.first, key)) {
            return true;
        }
    }
    return false;
}

std::string Contents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool HasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

// What a reader of the file sees: the first section of each name with the first key of each name.
std::vector<Section> ReadAll(const IniFile& ini) {
    std::vector<Section> sections;
    for (const auto& name : ini.ReadSections()) {
        if (Listed(sections, name)) {
            continue;
        }
        Section section{name, {}};
        for (const auto& key : ini.ReadSection(name)) {
            if (Listed(section.entries, key)) {
                continue;
            }
            const auto value = ini.ReadString(name, key);
            Check(value.has_value() && value->size() <= IniFile::kMaxValueLength);
            ini.ReadInteger(name, key, 0);
            section.entries.emplace_back(key, *value);
        }
        Check(ini.SectionExists(name) == !section.entries.empty());
        sections.push_back(std::move(section));
    }
    return sections;
}

void CheckReadsBack(const IniFile& ini, const std::vector<Section>& expected) {
    for (const auto& section : expected) {
        for (const auto& [key, value] : section.entries) {
            Check(ini.ReadString(section.name, key) == value);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const ScratchFolder scratch;
    const auto input_path = scratch.Path() / "input.ini";
    const auto fresh_path = scratch.Path() / "fresh.ini";
    std::ofstream(input_path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    std::filesystem::remove(fresh_path);

    IniFile input(input_path);
    const auto sections = ReadAll(input);

    // Into a fresh file: refused only for a line break, which the reader can hand out inside a
    // line (a CR not followed by LF).
    IniFile fresh(fresh_path);
    std::vector<Section> written;
    for (const auto& section : sections) {
        if (section.entries.empty()) {
            continue;
        }
        bool breaks = HasLineBreak(section.name);
        for (const auto& [key, value] : section.entries) {
            breaks = breaks || HasLineBreak(key) || HasLineBreak(value);
        }
        const bool wrote = fresh.WriteStrings(section.name, section.entries);
        Check(wrote != breaks);
        if (wrote) {
            written.push_back(section);
        }
    }
    const IniFile reread(fresh_path);
    const auto back = ReadAll(reread);
    Check(back.size() == written.size());
    for (size_t i = 0; i < back.size(); ++i) {
        Check(back[i].name == written[i].name && back[i].entries == written[i].entries);
    }

    // Into the file itself: one key changes, one is added, every other key reads as before.
    if (written.empty()) {
        return 0;
    }
    const auto& target = written.front();
    const std::string added = "fuzz_added_key";
    if (Listed(target.entries, added)) {
        return 0;
    }
    const bool utf8 = input.TextEncoding() == cardwright::FileText::Encoding::kUtf8;
    const std::string before = Contents(input_path);
    if (!input.WriteString(target.name, target.entries.front().first, " changed ")) {
        Check(!utf8 && Contents(input_path) == before);
        return 0;
    }
    Check(input.WriteString(target.name, added, "new"));
    auto expected = sections;
    for (auto& section : expected) {
        if (EqualIgnoringCase(section.name, target.name)) {
            section.entries.front().second = " changed ";
            section.entries.emplace_back(added, "new");
        }
    }
    CheckReadsBack(input, expected);
    CheckReadsBack(IniFile(input_path), expected);
    return 0;
}
