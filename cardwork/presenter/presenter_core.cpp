#include "cardwork/presenter/presenter_core.h"

#include <system_error>

#include "cardwork/model/legacy_code_page.h"
#include "cardwork/model/program_settings.h"
#include "cardwork/model/utf8_path.h"
#include "cardwork/presenter/config_folder.h"
#include "cardwork/presenter/solutions.h"
#include "cardwork/presenter/window_state_file.h"

namespace cardwright {

namespace {

constexpr const char* kBusyStatus = "Busy: the running command must end first";
constexpr const char* kConfigMissingMessage = "Config file not exists...";

// The status bar's text with the file's path marked where it occurs.
StatusText WithPath(const std::string& text, const std::optional<std::filesystem::path>& file) {
    StatusText status{text, 0, 0};
    if (file && !file->empty()) {
        const std::string path = Utf8FromPath(*file);
        if (const size_t at = text.find(path); at != std::string::npos) {
            status.path_start = at;
            status.path_length = path.size();
        }
    }
    return status;
}

}  // namespace

PresenterCore::PresenterCore(WindowView& view, CardAccess& card, const DateTimeFormat& date_time,
                             std::filesystem::path config_folder, CardLender lender)
    : card_(card, std::move(lender), [this](const std::string& line) { log_.AddLog(line); }),
      folder_(std::move(config_folder)),
      channel_(view),
      pages_(state_, channel_),
      log_(folder_ / kLogFile, date_time, channel_,
           [this](const std::string& text) { Message(text); }),
      thread_([this] { channel_.View().CloseWindow(); }) {}

PresenterCore::~PresenterCore() {
    // Nothing the worker does from here on waits for the window.
    channel_.Close();
}

WindowPresenter::Opened PresenterCore::Open() {
    WindowPresenter::Opened opened;
    const std::filesystem::path description = folder_ / kDescriptionFile;
    const std::filesystem::path values = folder_ / kValuesFile;
    // A folder of either name is no configuration file.
    if (!IsRegularFile(description) || !IsRegularFile(values)) {
        opened.messages.emplace_back(kConfigMissingMessage);
        return opened;
    }
    // Before any INI file is opened: the settings name the code page of files that are not UTF-8.
    ProgramSettings settings = ReadProgramSettings(folder_ / kProgramSettingsFile);
    opened.messages = std::move(settings.problems);
    SetLegacyCodePage(settings.legacy_code_page);
    description_.emplace(description);
    values_.emplace(values);
    opened.ok = true;
    return opened;
}

bool PresenterCore::Submit(std::string name, std::function<void()> body) {
    const bool taken = thread_.TrySubmit([this, name, body = std::move(body)] {
        RunFramed(name, body);
        RunPendingScript();
    });
    if (taken) {
        std::lock_guard lock(shared_mutex_);
        running_name_ = std::move(name);
        return true;
    }
    channel_.View().ShowStatus({kBusyStatus});
    return false;
}

bool PresenterCore::SubmitQuiet(std::function<void()> body) {
    return thread_.TrySubmit([this, body = std::move(body)] {
        Guarded(body);
        card_.GiveBack();
        ReshowRefusedEdits();
        RunPendingScript();
    });
}

void PresenterCore::RunFramed(const std::string& name, const std::function<void()>& body) {
    {
        std::lock_guard lock(shared_mutex_);
        running_name_ = name;
    }
    outcome_ = {};
    command_ok_ = true;
    channel_.View().EnableCommands(false);
    TakeEdits();
    Guarded(body);
    card_.GiveBack();
    // The step last shown goes; what the command came to stays until the next one.
    ShowStatus(outcome_);
    ReshowRefusedEdits();
    if (!channel_.Closed()) {
        channel_.View().EnableCommands(true);
    }
}

void PresenterCore::Guarded(const std::function<void()>& body) {
    try {
        body();
    } catch (const std::exception& failure) {
        // Nothing a command meets (not even memory running out) may end the program with the
        // user's work unsaved: the command ends, and says why.
        const std::string text = std::string("The command was broken off: ") + failure.what();
        log_.AddLog(text);
        ShowOutcome(text, false);
        Message(text);
    }
}

void PresenterCore::TakeEdits() {
    std::map<size_t, Edit> edits;
    {
        std::lock_guard lock(shared_mutex_);
        edits.swap(edits_);
    }
    for (auto& [item, edit] : edits) {
        if (item < state_.values.size() && pages_.HasRow(item)) {
            state_.values.Take(item, std::move(edit.text), edit.entry, edit.ticked);
        }
    }
}

void PresenterCore::ReshowRefusedEdits() {
    std::vector<size_t> refused;
    bool solution_refused = false;
    {
        std::lock_guard lock(shared_mutex_);
        refused.swap(refused_edits_);
        solution_refused = std::exchange(solution_refused_, false);
    }
    for (const size_t item : refused) {
        pages_.Reshow(item);
    }
    if (solution_refused) {
        channel_.View().SelectSolution(selected_solution_);
    }
}

void PresenterCore::ItemEdited(size_t item, const std::string& text, int entry, bool ticked) {
    std::lock_guard lock(shared_mutex_);
    // An edit while a command runs would be taken over what the command shows: the box gets
    // the item's value back instead.
    if (thread_.Busy()) {
        refused_edits_.push_back(item);
        return;
    }
    edits_[item] = {text, entry, ticked};
}

void PresenterCore::TabShown(Tab tab) {
    std::lock_guard lock(shared_mutex_);
    shown_tab_ = tab;
}

bool PresenterCore::StartUp() {
    return thread_.TrySubmit([this] {
        RunFramed("the start-up", [this] { StartUpSequence(); });
        {
            std::lock_guard lock(shared_mutex_);
            started_up_ = true;
        }
        RunPendingScript();
    });
}

bool PresenterCore::Read() {
    return Submit("Read", [this] { ReadSequence(); });
}

bool PresenterCore::Write() {
    return Submit("Write", [this] { WriteSequence(); });
}

bool PresenterCore::Import() {
    return Submit("Import", [this] { ImportSequence(); });
}

bool PresenterCore::Export() {
    return Submit("Export", [this] { ExportSequence(); });
}

bool PresenterCore::About() {
    return SubmitQuiet([this] {
        channel_.Ask([this](QuestionId id) {
            channel_.View().ShowAbout(id, {"Product Name: Cardwright", "Version: V100R001B204"});
        });
    });
}

bool PresenterCore::ChooseSolution(int index) {
    const bool taken = Submit("the solution's load", [this, index] {
        ShowSolutionEntry(index);
        LoadCurrentSolution();
    });
    if (!taken) {
        // The chooser shows the user's choice, which was not loaded: it gets the solution shown
        // back once the command under way has ended.
        std::lock_guard lock(shared_mutex_);
        solution_refused_ = true;
    }
    return taken;
}

bool PresenterCore::NewSolution() {
    return Submit("New", [this] {
        const cardwright::Answer answer =
            script_ != nullptr
                ? cardwright::Answer{}
                : channel_.Ask([this](QuestionId id) { channel_.View().AskNewSolution(id); });
        const std::string name = answer.accepted ? TrimBlanks(answer.text) : std::string();
        if (!name.empty()) {
            CreateSolution(name, answer.flag);
        }
    });
}

bool PresenterCore::DeleteSolution() {
    return Submit("Delete", [this] { DeleteSelectedSolution(); });
}

void PresenterCore::SelectLedStatus(int status) {
    SubmitQuiet([this, status] {
        led_page_.Select(state_.led, status);
        channel_.View().ShowLedSteps(led_page_.Rows());
    });
}

bool PresenterCore::ModifyLedStep(int step) {
    return SubmitQuiet([this, step] { ModifyStep(step, std::nullopt); });
}

bool PresenterCore::DeleteLedStep(int step) {
    return SubmitQuiet([this, step] {
        if (led_page_.MayChange(step)) {
            led_page_.Deleted(state_.led, step);
            channel_.View().ShowLedStep(step, led_page_.Rows()[static_cast<size_t>(step - 1)]);
        }
    });
}

bool PresenterCore::DeleteAllLedSteps() {
    return SubmitQuiet([this] {
        if (led_page_.AllDeleted(state_.led)) {
            channel_.View().ShowLedSteps(led_page_.Rows());
        }
    });
}

bool PresenterCore::Close() {
    const bool now = thread_.CloseWhenIdle();
    if (!now) {
        ShowStatus({ClosingNote(RunningName())});
    }
    // Whatever waits for the window is answered as cancelled from now on.
    channel_.Close();
    return now;
}

std::string PresenterCore::RunningName() {
    std::lock_guard lock(shared_mutex_);
    return running_name_;
}

std::string PresenterCore::ClosingNote(const std::string& name) {
    return "The window closes once " + name + " has ended";
}

void PresenterCore::RunScript(std::vector<std::string> lines, std::ostream& out,
                              std::ostream& err) {
    {
        std::lock_guard lock(shared_mutex_);
        pending_script_ = std::make_unique<ScriptRunner>(std::move(lines), out, err);
        if (!started_up_) {
            return;  // the start-up's end starts it
        }
    }
    // While another job runs, its end starts the script.
    thread_.TrySubmit([this] { RunPendingScript(); });
}

void PresenterCore::RunPendingScript() {
    std::unique_ptr<ScriptRunner> script;
    {
        std::lock_guard lock(shared_mutex_);
        if (!started_up_) {
            return;
        }
        script = std::move(pending_script_);
    }
    if (!script) {
        return;
    }
    script_ = script.get();
    const int status = script->Run(*this);
    script_ = nullptr;
    channel_.View().ScriptFinished(status);
}

std::optional<WindowState> PresenterCore::SavedWindowState() const {
    return ReadWindowState(folder_ / kWindowStateFile);
}

void PresenterCore::SaveWindowState(const WindowState& state) const {
    WriteWindowState(folder_ / kWindowStateFile, state);
}

void PresenterCore::ShowOutcome(const std::string& text, bool ok,
                                const std::optional<std::filesystem::path>& file) {
    outcome_ = WithPath(text, file);
    command_ok_ = ok;
    ShowStatus(outcome_);
}

void PresenterCore::ShowSource(const std::string& text) {
    channel_.View().ShowSource(text);
    channel_.View().ShowTitle(text.empty() ? "Cardwright" : "Cardwright - " + text);
}

void PresenterCore::ShowStatus(const StatusText& status) {
    channel_.View().ShowStatus(status);
}

void PresenterCore::Message(const std::string& text) {
    if (script_ != nullptr) {
        script_->Message(text);
        return;
    }
    channel_.Ask(
        [&](QuestionId id) { channel_.View().ShowMessage(id, text, MessageIcon::kInformation); });
}

bool PresenterCore::YesNo(const std::string& question) {
    if (script_ != nullptr) {
        return script_->YesNo(question);
    }
    return channel_.Ask([&](QuestionId id) { channel_.View().AskYesNo(id, question); }).accepted;
}

std::optional<std::filesystem::path> PresenterCore::FileName(bool save) {
    if (script_ != nullptr) {
        return std::exchange(script_file_, std::nullopt);
    }
    const cardwright::Answer answer = channel_.Ask([&](QuestionId id) {
        channel_.View().AskFileName(id, {save, "Ini Files|*.ini"});
    });
    if (!answer.accepted || answer.text.empty()) {
        return std::nullopt;
    }
    return PathFromUtf8(answer.text);
}

PresenterCore::ScreenValues PresenterCore::OnScreen() const {
    ScreenValues screen;
    for (size_t index = 0; index < state_.values.size(); ++index) {
        const ItemValue& value = state_.values[index];
        screen.items.emplace_back(value.text, value.ticked);
    }
    for (int status = 1; status <= kLedStatuses; ++status) {
        screen.led.push_back(state_.led.Line(status));
    }
    return screen;
}

void PresenterCore::CommonInfoShown(CommonInfoRow row) {
    channel_.View().ShowCommonInfo(row, state_.info[row]);
}

void PresenterCore::LedStepsCleared() {
    led_page_.Clear();
    if (!led_page_.Rows().empty()) {
        channel_.View().ShowLedSteps(led_page_.Rows());
    }
}

void PresenterCore::RebuildPages(CardWorkState& /*state*/, const IniFile& /*description*/) {
    RebuildConfigPages();
}

bool PresenterCore::ConfirmReread() {
    return OnScreen() == settled_ || YesNo(std::string(kExportRereadQuestion));
}

void PresenterCore::Report(const WorkProgress& progress) {
    std::string text = ProgressText(progress);
    if (channel_.Closed()) {
        text = ClosingNote(RunningName()) + ": " + text;
    }
    ShowStatus({text});
}

}  // namespace cardwright
