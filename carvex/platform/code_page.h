#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace carvex {

// The code page that a Windows program not built for Unicode reads and writes its files in (the
// ANSI code page), converted to and from UTF-8. On Windows it is always the system's ANSI code
// page, as such a program running there has it; elsewhere it is the code page iconv knows by the
// name given.
//
// Holds no handle: every conversion opens what it needs and closes it again.
class CodePage {
  public:
    static constexpr std::string_view kDefaultName = "CP936";

    // On Windows the name is not used.
    explicit CodePage(std::string_view name = kDefaultName);

    // The name given; on Windows "CP" and the system's number ("CP936").
    const std::string& Name() const { return name_; }

    // Whether texts can be converted through it: it converts both ways and keeps ASCII as ASCII
    // (the INI files' structure is ASCII). A code page that is not known converts only ASCII.
    bool Known() const;

    struct Decoded {
        std::string text;   // UTF-8
        bool exact = true;  // false: some bytes were no text of the code page
    };
    // The bytes as UTF-8. A byte that starts no character of the code page becomes U+FFFD and
    // the conversion goes on with the next byte. Each line (up to and with its LF) is converted
    // on its own, so the text has an LF for each LF of the bytes, and a bad byte spoils no more
    // than its own line.
    Decoded ToUtf8(std::string_view bytes) const;

    // The code page's bytes for a UTF-8 text; nullopt when the text holds a character that the
    // code page does not have (or is not UTF-8). Nothing is ever written as a substitute or a
    // look-alike character.
    std::optional<std::string> FromUtf8(std::string_view text) const;

  private:
    std::string name_;
};

}  // namespace carvex
