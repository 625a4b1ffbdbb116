// The work of the commands, on the presenter's worker: the window's own and a script's.
#include <chrono>

#include "cardwork/card/card_reader.h"
#include "cardwork/card/card_writer.h"
#include "cardwork/card/setting_file_export.h"
#include "cardwork/card/setting_file_import.h"
#include "cardwork/model/model_clock.h"
#include "cardwork/model/utf8_path.h"
#include "cardwork/presenter/command_outcome.h"
#include "cardwork/presenter/config_folder.h"
#include "cardwork/presenter/presenter_core.h"
#include "cardwork/presenter/solutions.h"
#include "cardwork/presenter/view_rules.h"

namespace cardwright {

namespace {

constexpr std::chrono::milliseconds kCardRetry{500};

}  // namespace

void PresenterCore::StartUpSequence() {
    channel_.View().ShowCommonInfoList();
    BuildConfigPages();
    LoadSolutionList();
    LoadCurrentSolution();
}

void PresenterCore::ReadSequence() {
    state_.card_type.clear();
    RebuildConfigPages();
    LoadSolutionList();
    LoadCurrentSolution();
}

void PresenterCore::BuildConfigPages() {
    pages_.Build(*description_, log_, [this](const std::string& text) { Message(text); });
    Settle();
}

void PresenterCore::RebuildConfigPages() {
    pages_.Free();
    BuildConfigPages();
}

void PresenterCore::LoadSolutionList() {
    const SolutionList list = ReadSolutionList(*values_);
    solutions_ = list.names;
    selected_solution_ = -1;
    channel_.View().ShowSolutions(solutions_, -1);
    if (list.config_led) {
        state_.config_led = *list.config_led;
        pages_.ShowTab(Tab::kLed, pages_.TabAt(Tab::kLed).caption, state_.config_led);
    }
    ShowSolutionEntry(list.selected);
}

void PresenterCore::ShowSolutionEntry(int index) {
    selected_solution_ = index >= 0 && index < static_cast<int>(solutions_.size()) ? index : -1;
    channel_.View().SelectSolution(selected_solution_);
}

void PresenterCore::LoadCurrentSolution() {
    const std::string name = selected_solution_ < 0
                                 ? std::string()
                                 : solutions_[static_cast<size_t>(selected_solution_)];
    if (IsCardSolution(name)) {
        ReadFromCardAndReport();
        return;
    }
    if (!values_->SectionExists(name)) {
        ShowOutcome("Nothing shown: config_value.ini names no solution that exists", false);
        return;
    }
    ClearAllValues(state_, *this);
    LoadItemValues(state_, *values_, name, log_, BadValue::kSkipKey);
    LoadLedInfo(state_, *values_, name);
    ShowSource(SolutionShown(name));
    ShowOutcome(SolutionOutcome(name), true);
    Settle();
}

// The card's read with its closing line; the card solution is selected when it went through.
void PresenterCore::ReadFromCardAndReport() {
    CardReader reader(Seams());
    const WorkResult result = reader.ReadFromCardAndReport(state_, *description_);
    Settle();
    ShowSource(result.Ok() ? CardShown(state_.info, card_.PortName()) : std::string());
    ShowOutcome(CommandOutcome("Read", result, ReadDone(reader.Readings())), result.Ok());
    if (result.Ok()) {
        for (size_t i = 0; i < solutions_.size(); ++i) {
            if (IsCardSolution(solutions_[i])) {
                ShowSolutionEntry(static_cast<int>(i));
                break;
            }
        }
    }
}

void PresenterCore::WriteSequence() {
    const WorkResult result = CardWriter(Seams()).WriteToCard(state_);
    // The outcome and its reason are in the status bar before the message box opens.
    ShowOutcome(CommandOutcome("Write", result, "done"), result.Ok());
    if (result.Ok()) {
        Settle();
    }
    Message(result.Ok() ? "Write to datacard succeed..." : "Write to datacard failed...");
}

void PresenterCore::ExportSequence() {
    const OwnIniFiles own{folder_ / kDescriptionFile, folder_ / kValuesFile};
    SettingFileExport exporter(Seams());
    const WorkResult end = exporter.Export(state_, *description_, own);
    const std::filesystem::path written =
        exporter.Chosen() ? SettingFileName(*exporter.Chosen()) : std::filesystem::path();
    ShowOutcome(CommandOutcome("Export", end, "written to " + Utf8FromPath(written)), end.Ok(),
                written);
    // With a card the values shown were read again, unless the export stopped before.
    if (const auto& reread = exporter.Reread()) {
        ShowSource(reread->Ok() ? CardShown(state_.info, card_.PortName()) : std::string());
        Settle();
    }
    if (ReopensIniFiles(end)) {
        ReopenIniFiles();
    }
}

void PresenterCore::ImportSequence() {
    SettingFileImport importer(Seams());
    const WorkResult result = importer.Import(state_, *description_);
    const std::optional<std::filesystem::path>& chosen = importer.Chosen();
    const std::string file = chosen ? Utf8FromPath(*chosen) : std::string();
    ShowOutcome(
        CommandOutcome("Import", result, "done, " + file + " loaded (not yet written to the card)"),
        result.Ok(), chosen);
    // A file that was chosen changed the values shown, loaded or not.
    if (chosen) {
        ShowSource(result.Ok() ? SettingFileShown(*chosen) : std::string());
        Settle();
    }
    ReopenIniFiles();
}

// The configuration files are taken up afresh after an import or export, as at start-up; when
// one of them is gone, the program ends.
void PresenterCore::ReopenIniFiles() {
    const std::filesystem::path description = folder_ / kDescriptionFile;
    const std::filesystem::path values = folder_ / kValuesFile;
    if (!IsRegularFile(description) || !IsRegularFile(values)) {
        Message("Config file not exists...");
        channel_.View().CloseWindow();
        return;
    }
    description_.emplace(description);
    values_.emplace(values);
}

void PresenterCore::CreateSolution(const std::string& name, bool led) {
    if (values_->SectionExists(name)) {
        Message(std::string(kSolutionExistsMessage));
        ShowOutcome({}, false);
        return;
    }
    ClearAllValues(state_, *this);
    if (!values_->WriteString(name, kConfigLedKey, led ? "1" : "0") ||
        !values_->WriteString(kMainSection, kCurrentKey, name)) {
        log_.AddLog("The solution " + name + " could not be saved: " + values_->LastError());
        ShowOutcome({}, false);
        return;
    }
    LoadSolutionList();
    LoadCurrentSolution();
}

void PresenterCore::DeleteSelectedSolution() {
    const std::string name = selected_solution_ < 0
                                 ? std::string()
                                 : solutions_[static_cast<size_t>(selected_solution_)];
    if (!values_->SectionExists(name) || IsCardSolution(name)) {
        return;
    }
    if (!values_->EraseSection(name)) {
        log_.AddLog("The solution " + name + " could not be deleted: " + values_->LastError());
        ShowOutcome({}, false);
        return;
    }
    // As a choice of the chooser's first entry, which still lists the solution deleted.
    ShowSolutionEntry(solutions_.empty() ? -1 : 0);
    LoadCurrentSolution();
    LoadSolutionList();
    LoadCurrentSolution();
}

bool PresenterCore::ModifyStep(int step, const std::optional<LedStep>& chosen) {
    const std::optional<bool> may = led_page_.MayChange(step);
    if (!may) {
        return false;
    }
    if (!*may) {
        Message(std::string(kPreviousStepFirstMessage));
        return false;
    }
    LedStep picked;
    if (chosen) {
        picked = *chosen;
    } else {
        // The dialog starts from the step as the table holds it, so OK alone changes nothing.
        const LedStep preset = state_.led.Step(led_page_.Status(), step);
        const cardwright::Answer answer =
            channel_.Ask([&](QuestionId id) { channel_.View().AskLedStep(id, preset); });
        if (!answer.accepted) {
            return false;
        }
        picked = answer.step;
    }
    led_page_.Changed(state_.led, step, picked);
    channel_.View().ShowLedStep(step, led_page_.Rows()[static_cast<size_t>(step - 1)]);
    return true;
}

LineResult PresenterCore::ScriptCommand(const std::string& name,
                                        const std::function<void()>& body) {
    RunFramed(name, body);
    return command_ok_ ? LineResult::Done() : LineResult::Failed(outcome_.text);
}

LineResult PresenterCore::ReadCommand() {
    return ScriptCommand("Read", [this] { ReadSequence(); });
}

LineResult PresenterCore::WriteCommand() {
    return ScriptCommand("Write", [this] { WriteSequence(); });
}

LineResult PresenterCore::ImportCommand(const std::string& file) {
    script_file_ = PathFromUtf8(file);
    LineResult result = ScriptCommand("Import", [this] { ImportSequence(); });
    script_file_.reset();
    return result;
}

LineResult PresenterCore::ExportCommand(const std::string& file) {
    script_file_ = PathFromUtf8(file);
    LineResult result = ScriptCommand("Export", [this] { ExportSequence(); });
    script_file_.reset();
    return result;
}

LineResult PresenterCore::SelectValue(const std::string& item, const std::string& text) {
    const std::optional<size_t> index = state_.values.Find(item);
    if (!index || !pages_.HasRow(*index)) {
        return LineResult::Refused("no item " + item + " on the pages");
    }
    const TConfigItem& described = state_.items[*index];
    std::string shown = text;
    int entry = -1;
    if (!described.UserInput) {
        const std::vector<std::string> entries = SplitList(described.Range);
        const auto found = std::find_if(entries.begin(), entries.end(), [&](const auto& offered) {
            return EqualIgnoringCase(offered, text);
        });
        if (found == entries.end()) {
            return LineResult::Refused(item + " does not offer " + text);
        }
        shown = *found;
        entry = static_cast<int>(found - entries.begin());
    }
    state_.values.Take(*index, shown, entry, true);
    pages_.Reshow(*index);
    return LineResult::Done();
}

LineResult PresenterCore::SaveSolution(const std::string& name) {
    // As the New button with the name typed; the new solution configures the LED as the
    // current one does.
    return ScriptCommand("New", [&] { CreateSolution(TrimBlanks(name), state_.config_led); });
}

LineResult PresenterCore::SelectSolution(const std::string& name) {
    int index = -1;
    for (size_t i = 0; i < solutions_.size() && index < 0; ++i) {
        if (EqualIgnoringCase(solutions_[i], name)) {
            index = static_cast<int>(i);
        }
    }
    if (index < 0) {
        return LineResult::Refused("no solution " + name + " in the chooser");
    }
    return ScriptCommand("the solution's load", [&] {
        ShowSolutionEntry(index);
        LoadCurrentSolution();
    });
}

LineResult PresenterCore::SetLedStep(int status, int step, const std::string& colour,
                                     const std::string& time) {
    if (status < 1 || status > kLedStatuses || step < 1 || step > kLedSteps) {
        return LineResult::Refused("no LED status " + std::to_string(status) + " step " +
                                   std::to_string(step));
    }
    const std::optional<int> code = LedPage::ColourCode(colour);
    if (!code) {
        return LineResult::Refused("no LED colour " + colour);
    }
    // As a user selects the status first, then edits a step in its list.
    led_page_.Select(state_.led, status);
    channel_.View().ShowLedSteps(led_page_.Rows());
    const std::optional<int32_t> chosen_time =
        LedTimeFromText(time, state_.led.Step(status, step).time);
    if (!chosen_time) {
        Message(std::string(kBadLedTimeMessage));
        return LineResult::Failed(std::string(kBadLedTimeMessage));
    }
    if (!ModifyStep(step, LedStep{static_cast<uint8_t>(*code), *chosen_time})) {
        return LineResult::Failed(std::string(kPreviousStepFirstMessage));
    }
    return LineResult::Done();
}

LineResult PresenterCore::WaitForCard(int seconds) {
    // The card restarts after a Write and is gone for a while: it is tried until it answers.
    bool back = false;
    RunFramed("the wait for the card", [&] {
        const auto give_up = AppClock().Now() + std::chrono::seconds(seconds);
        while (!(back = CardPresent(card_)) && AppClock().Now() < give_up && !Closing()) {
            AppClock().SleepFor(kCardRetry);
        }
    });
    if (!back) {
        return LineResult::Refused("the card did not come back within " + std::to_string(seconds) +
                                   " s");
    }
    return LineResult::Done();
}

LineResult PresenterCore::SelectTab(const std::string& caption) {
    const std::optional<Tab> tab = pages_.ShownTab(caption);
    if (!tab) {
        return LineResult::Refused("no tab " + caption + " is shown");
    }
    {
        std::lock_guard lock(shared_mutex_);
        if (shown_tab_ == *tab) {
            return LineResult::Done();  // in front already, as the window told
        }
        shown_tab_ = *tab;
    }
    channel_.View().SelectTab(*tab);
    return LineResult::Done();
}

LineResult PresenterCore::Screenshot(const std::string& file) {
    const bool saved =
        channel_.Ask([&](QuestionId id) { channel_.View().TakeScreenshot(id, file); }).accepted;
    return saved ? LineResult::Done() : LineResult::Refused("cannot save " + file);
}

}  // namespace cardwright
