#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cardwright {

// An INI file read and written the way the configuration files have always been handled:
// section and key names match without regard to case, the first key (and the first section) of
// a name wins, a section counts as present only when it holds a key, and ';' starts a comment
// line. Every read sees the file as it is now; every write goes to a new file that replaces the
// old one, keeping every untouched line byte for byte.
class IniFile {
  public:
    static constexpr size_t kMaxValueLength = 2047;
    static constexpr size_t kKeyListBytes = 16384;

    explicit IniFile(std::filesystem::path path);

    const std::filesystem::path& Path() const { return path_; }

    // nullopt when the key is missing.
    std::optional<std::string> ReadString(std::string_view section, std::string_view key) const;
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view default_value) const;
    // Decimal or 0x-hexadecimal; the default for a missing or non-numeric value.
    int ReadInteger(std::string_view section, std::string_view key, int default_value) const;
    bool ReadBool(std::string_view section, std::string_view key, bool default_value) const;

    bool SectionExists(std::string_view section) const;
    // The key names of the section, in file order, as far as they fit the key list.
    std::vector<std::string> ReadSection(std::string_view section) const;
    // Every section header in file order, sections without keys included.
    std::vector<std::string> ReadSections() const;

    bool WriteString(std::string_view section, std::string_view key, std::string_view value);
    bool DeleteKey(std::string_view section, std::string_view key);
    bool EraseSection(std::string_view section);

  private:
    struct Line {
        std::string text;        // without its line break
        std::string terminator;  // "\r\n", "\n" or "" for a last line without one
    };
    struct Parsed;

    std::vector<Line> Load() const;
    bool Save(const std::vector<Line>& lines) const;

    std::filesystem::path path_;
};

// Folds only the letters a to z.
bool EqualIgnoringCase(std::string_view a, std::string_view b);

}  // namespace cardwright
