#include "cardwork/presenter/script_runner.h"

#include <charconv>

#include "cardwork/presenter/solutions.h"

namespace cardwright {

namespace {

// The first word of `text` and what follows it, without the blanks between.
std::pair<std::string_view, std::string_view> FirstWord(std::string_view text) {
    const size_t end = text.find_first_of(" \t");
    if (end == std::string_view::npos) {
        return {text, {}};
    }
    std::string_view rest = text.substr(end);
    rest.remove_prefix(std::min(rest.size(), rest.find_first_not_of(" \t")));
    return {text.substr(0, end), rest};
}

std::optional<int> Number(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

ScriptRunner::ScriptRunner(std::vector<std::string> lines, std::ostream& out, std::ostream& err)
    : lines_(std::move(lines)), out_(out), err_(err) {}

int ScriptRunner::Run(ScriptTarget& target) {
    int status = 0;
    for (size_t number = 1; number <= lines_.size(); ++number) {
        const std::string line = TrimBlanks(lines_[number - 1]);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        if (target.Closing()) {
            err_ << "script: line " << number << ": not carried out, the window was closed\n";
            return 1;
        }
        out_ << "script: " << line << '\n' << std::flush;
        const auto [verb, rest] = FirstWord(line);
        if (verb == "quit") {
            return status;
        }
        if (verb != "expect-log" && verb != "answer") {
            log_mark_ = target.LogLines().size();
        }
        const LineResult result = RunLine(target, verb, rest);
        if (result.end == LineResult::End::kDone) {
            continue;
        }
        err_ << "script: line " << number << ": " << result.why << '\n' << std::flush;
        status = 1;
        if (result.end == LineResult::End::kRefused) {
            return status;
        }
    }
    return status;
}

LineResult ScriptRunner::RunLine(ScriptTarget& target, std::string_view verb,
                                 std::string_view rest) {
    const std::string argument(rest);
    if (verb == "read" && rest.empty()) {
        return target.ReadCommand();
    }
    if (verb == "write" && rest.empty()) {
        return target.WriteCommand();
    }
    if (verb == "import" && !rest.empty()) {
        return target.ImportCommand(argument);
    }
    if (verb == "export" && !rest.empty()) {
        return target.ExportCommand(argument);
    }
    if (verb == "select") {
        const auto [item, text] = FirstWord(rest);
        if (!item.empty()) {
            return target.SelectValue(std::string(item), std::string(text));
        }
    }
    if (verb == "solution") {
        const auto [what, name] = FirstWord(rest);
        if (what == "save" && !name.empty()) {
            return target.SaveSolution(std::string(name));
        }
        if (what == "select" && !name.empty()) {
            return target.SelectSolution(std::string(name));
        }
    }
    if (verb == "led") {
        const auto [status, after_status] = FirstWord(rest);
        const auto [step, after_step] = FirstWord(after_status);
        const auto [colour, time] = FirstWord(after_step);
        const auto status_number = Number(status);
        const auto step_number = Number(step);
        if (status_number && step_number && !colour.empty() && !time.empty() &&
            time.find_first_of(" \t") == std::string_view::npos) {
            return target.SetLedStep(*status_number, *step_number, std::string(colour),
                                     std::string(time));
        }
    }
    if (verb == "answer" && (rest == "yes" || rest == "no")) {
        answer_ = rest == "yes";
        return LineResult::Done();
    }
    if (verb == "expect-log" && !rest.empty()) {
        return ExpectLog(target, rest);
    }
    if (verb == "wait-for-card") {
        if (const auto seconds = Number(rest); seconds && *seconds >= 0) {
            return target.WaitForCard(*seconds);
        }
    }
    if (verb == "tab" && !rest.empty()) {
        return target.SelectTab(argument);
    }
    if (verb == "screenshot" && !rest.empty()) {
        return target.Screenshot(argument);
    }
    return LineResult::Refused("unknown command " + std::string(verb) +
                               (rest.empty() ? "" : " " + argument));
}

LineResult ScriptRunner::ExpectLog(const ScriptTarget& target, std::string_view text) const {
    const std::vector<std::string>& lines = target.LogLines();
    for (size_t at = std::min(log_mark_, lines.size()); at < lines.size(); ++at) {
        if (lines[at].find(text) != std::string::npos) {
            return LineResult::Done();
        }
    }
    return LineResult::Failed("the log has no line with \"" + std::string(text) +
                              "\" since the last command");
}

void ScriptRunner::Message(std::string_view text) {
    out_ << "message: " << text << '\n' << std::flush;
}

bool ScriptRunner::YesNo(std::string_view question) {
    const bool yes = answer_.value_or(false);
    answer_.reset();
    out_ << "question: " << question << (yes ? " Yes" : " No") << '\n' << std::flush;
    return yes;
}

}  // namespace cardwright
