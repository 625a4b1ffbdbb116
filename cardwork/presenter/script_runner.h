#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace cardwright {

// How one line of a script ended.
struct LineResult {
    enum class End {
        kDone,
        kFailed,   // the command ran and failed: the script goes on, and ends with status 1
        kRefused,  // the line cannot be carried out: the script ends here, with status 1
    };
    End end = End::kDone;
    std::string why;

    static LineResult Done() { return {}; }
    static LineResult Failed(std::string why) { return {End::kFailed, std::move(why)}; }
    static LineResult Refused(std::string why) { return {End::kRefused, std::move(why)}; }
};

// What a script works on: the presenter's commands and state, on its worker thread.
class ScriptTarget {
  public:
    virtual ~ScriptTarget() = default;
    virtual LineResult ReadCommand() = 0;
    virtual LineResult WriteCommand() = 0;
    virtual LineResult ImportCommand(const std::string& file) = 0;
    virtual LineResult ExportCommand(const std::string& file) = 0;
    // The item's check box ticked and `text` in its value box.
    virtual LineResult SelectValue(const std::string& item, const std::string& text) = 0;
    // A new solution, as the New button makes it.
    virtual LineResult SaveSolution(const std::string& name) = 0;
    // The solution chooser's entry of that name, loaded.
    virtual LineResult SelectSolution(const std::string& name) = 0;
    // A step of an LED pattern changed as the LED step dialog changes it.
    virtual LineResult SetLedStep(int status, int step, const std::string& colour,
                                  const std::string& time) = 0;
    virtual LineResult WaitForCard(int seconds) = 0;
    virtual LineResult SelectTab(const std::string& caption) = 0;
    virtual LineResult Screenshot(const std::string& file) = 0;
    // The window's log, earlier runs included.
    virtual const std::vector<std::string>& LogLines() const = 0;
    // The window is closing: the script ends.
    virtual bool Closing() const = 0;
};

// Runs the lines of a script, one command a line; blank lines and lines starting with '#' are
// skipped. Each line is echoed on `out` ("script: LINE"); a command that fails or a line that
// cannot be carried out is named on `err` ("script: line N: why"). While it runs, it speaks for
// the user: messages go to `out`, and a yes/no question takes the answer the script gave last
// (`answer yes|no`), once, or is cancelled.
class ScriptRunner {
  public:
    ScriptRunner(std::vector<std::string> lines, std::ostream& out, std::ostream& err);

    // The exit status: 0 when every command went through.
    int Run(ScriptTarget& target);

    void Message(std::string_view text);
    bool YesNo(std::string_view question);

  private:
    LineResult RunLine(ScriptTarget& target, std::string_view verb, std::string_view rest);
    LineResult ExpectLog(const ScriptTarget& target, std::string_view text) const;

    std::vector<std::string> lines_;
    std::ostream& out_;
    std::ostream& err_;
    std::optional<bool> answer_;
    size_t log_mark_ = 0;  // the log's length when the last command began
};

}  // namespace cardwright
