#include "cardwork/model/program_settings.h"

#include "cardwork/model/utf8_path.h"
#include "carvex/platform/text_trim.h"
#include "carvex/platform/whole_file.h"

namespace cardwright {

namespace {

// A settings file holds a few lines.
constexpr uint64_t kMaxSettingsBytes = uint64_t{64} * 1024;
constexpr std::string_view kSettingsBlanks = " \t\r";

}  // namespace

ProgramSettings ReadProgramSettings(const std::filesystem::path& file) {
    ProgramSettings settings;
    const auto whole = carvex::ReadWholeFile(file, kMaxSettingsBytes);
    const std::string name = Utf8FromPath(file.filename());
    if (whole.error) {
        settings.problems.push_back(Utf8FromPath(file) +
                                    " cannot be read: " + whole.error.message());
        return settings;
    }
    std::string_view text = whole.content;
    for (int number = 1; !text.empty(); ++number) {
        const size_t lf = text.find('\n');
        std::string_view line = text.substr(0, lf);
        text.remove_prefix(lf == std::string_view::npos ? text.size() : lf + 1);
        line = carvex::TrimmedOf(line.substr(0, line.find('#')), kSettingsBlanks);
        if (line.empty()) {
            continue;
        }
        const auto report = [&](std::string_view what) {
            std::string problem = name;
            problem.append(", line ").append(std::to_string(number)).append(": ").append(what);
            settings.problems.push_back(std::move(problem));
        };
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            report("expected \"key = value\"");
            continue;
        }
        const std::string_view key = carvex::TrimmedOf(line.substr(0, equals), kSettingsBlanks);
        const std::string_view value = carvex::TrimmedOf(line.substr(equals + 1), kSettingsBlanks);
        if (key != "legacy_codepage") {
            report("unknown setting \"" + std::string(key) + "\"");
            continue;
        }
        carvex::CodePage code_page(value);
        if (value.empty() || !code_page.Known()) {
            report("no code page \"" + std::string(value) +
                   "\" is known; files that are not UTF-8 are read in " +
                   settings.legacy_code_page.Name());
            continue;
        }
        settings.legacy_code_page = std::move(code_page);
    }
    return settings;
}

}  // namespace cardwright
