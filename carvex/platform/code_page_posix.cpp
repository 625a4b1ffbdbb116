#include <errno.h>
#include <iconv.h>

#include <array>
#include <cstdint>
#include <string>

#include "carvex/platform/code_page.h"

namespace carvex {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
constexpr std::string_view kAsciiProbe =
    "\t\r\n "
    "!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvw"
    "xyz{|}~";

class Converter {
  public:
    Converter(const std::string& to, const std::string& from) : handle_(OpenOrNull(to, from)) {}
    ~Converter() {
        if (Open()) {
            ::iconv_close(handle_);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool Open() const { return handle_ != nullptr; }

    enum class Outcome {
        kDone,
        kReplaced,  // all converted, but some character was replaced
        kStopped,   // at a byte that cannot be converted, whose place is left in `in`
    };

    // Converts `in` onto `out`, then ends the output in the initial shift state.
    Outcome Run(std::string_view& in, std::string& out) {
        // iconv takes a char** but never writes through it.
        char* source = const_cast<char*>(in.data());
        size_t left = in.size();
        Outcome outcome = Outcome::kDone;
        for (bool ending = false;;) {
            std::array<char, 1024> buffer{};
            char* target = buffer.data();
            size_t room = buffer.size();
            const size_t result = ending ? ::iconv(handle_, nullptr, nullptr, &target, &room)
                                         : ::iconv(handle_, &source, &left, &target, &room);
            out.append(buffer.data(), static_cast<size_t>(target - buffer.data()));
            if (result == static_cast<size_t>(-1)) {
                if (errno == E2BIG) {
                    continue;
                }
                in = std::string_view(source, left);
                return Outcome::kStopped;
            }
            // A count of irreversible conversions: something was replaced.
            if (result > 0) {
                outcome = Outcome::kReplaced;
            }
            if (ending) {
                break;
            }
            ending = true;  // without an error every byte has been taken
        }
        in = {};
        return outcome;
    }

    // Back to the initial shift state, dropping what a bad byte left half done.
    void Reset() { ::iconv(handle_, nullptr, nullptr, nullptr, nullptr); }

  private:
    // iconv would take an empty name for the locale's own code page.
    static iconv_t OpenOrNull(const std::string& to, const std::string& from) {
        if (to.empty() || from.empty()) {
            return nullptr;
        }
        iconv_t handle = ::iconv_open(to.c_str(), from.c_str());
        return reinterpret_cast<intptr_t>(handle) == -1 ? nullptr : handle;
    }

    iconv_t handle_;
};

bool IsAscii(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

// Unknown code page: ASCII is kept, every other byte is U+FFFD.
CodePage::Decoded AsciiOnly(std::string_view bytes) {
    CodePage::Decoded decoded;
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) < 0x80) {
            decoded.text += c;
        } else {
            decoded.text += kReplacement;
            decoded.exact = false;
        }
    }
    return decoded;
}

}  // namespace

CodePage::CodePage(std::string_view name) : name_(name) {}

bool CodePage::Known() const {
    if (!Converter("UTF-8", name_).Open()) {
        return false;
    }
    const auto bytes = FromUtf8(kAsciiProbe);
    if (!bytes || *bytes != kAsciiProbe) {
        return false;
    }
    const auto back = ToUtf8(*bytes);
    return back.exact && back.text == kAsciiProbe;
}

CodePage::Decoded CodePage::ToUtf8(std::string_view bytes) const {
    Converter converter("UTF-8", name_);
    if (!converter.Open()) {
        return AsciiOnly(bytes);
    }
    Decoded decoded;
    decoded.text.reserve(bytes.size() + bytes.size() / 2);
    while (!bytes.empty()) {
        const size_t lf = bytes.find('\n');
        const size_t length = lf == std::string_view::npos ? bytes.size() : lf + 1;
        std::string_view line = bytes.substr(0, length);
        bytes.remove_prefix(length);
        while (true) {
            const auto outcome = converter.Run(line, decoded.text);
            if (outcome != Converter::Outcome::kStopped || line.empty()) {
                decoded.exact = decoded.exact && outcome == Converter::Outcome::kDone;
                break;
            }
            decoded.exact = false;
            decoded.text += kReplacement;
            converter.Reset();
            line.remove_prefix(1);
        }
    }
    return decoded;
}

std::optional<std::string> CodePage::FromUtf8(std::string_view text) const {
    Converter converter(name_, "UTF-8");
    if (!converter.Open()) {
        return IsAscii(text) ? std::optional<std::string>(text) : std::nullopt;
    }
    std::string bytes;
    bytes.reserve(text.size());
    if (converter.Run(text, bytes) != Converter::Outcome::kDone) {
        return std::nullopt;
    }
    return bytes;
}

}  // namespace carvex
