#include "cardwork/presenter/window_presenter.h"

#include "cardwork/presenter/presenter_core.h"

namespace cardwright {

WindowPresenter::WindowPresenter(WindowView& view, CardAccess& card,
                                 const DateTimeFormat& date_time,
                                 std::filesystem::path config_folder, CardLender lender)
    : core_(std::make_unique<PresenterCore>(view, card, date_time, std::move(config_folder),
                                            std::move(lender))) {}

WindowPresenter::~WindowPresenter() = default;

WindowPresenter::Opened WindowPresenter::Open() {
    return core_->Open();
}

bool WindowPresenter::StartUp() {
    return core_->StartUp();
}

bool WindowPresenter::Read() {
    return core_->Read();
}

bool WindowPresenter::Write() {
    return core_->Write();
}

bool WindowPresenter::Import() {
    return core_->Import();
}

bool WindowPresenter::Export() {
    return core_->Export();
}

bool WindowPresenter::About() {
    return core_->About();
}

bool WindowPresenter::ChooseSolution(int index) {
    return core_->ChooseSolution(index);
}

bool WindowPresenter::NewSolution() {
    return core_->NewSolution();
}

bool WindowPresenter::DeleteSolution() {
    return core_->DeleteSolution();
}

void WindowPresenter::SelectLedStatus(int status) {
    core_->SelectLedStatus(status);
}

bool WindowPresenter::ModifyLedStep(int step) {
    return core_->ModifyLedStep(step);
}

bool WindowPresenter::DeleteLedStep(int step) {
    return core_->DeleteLedStep(step);
}

bool WindowPresenter::DeleteAllLedSteps() {
    return core_->DeleteAllLedSteps();
}

void WindowPresenter::ItemEdited(size_t item, const std::string& text, int entry, bool ticked) {
    core_->ItemEdited(item, text, entry, ticked);
}

void WindowPresenter::TabShown(Tab tab) {
    core_->TabShown(tab);
}

bool WindowPresenter::Close() {
    return core_->Close();
}

void WindowPresenter::Answer(QuestionId id, const cardwright::Answer& answer) {
    core_->Answer(id, answer);
}

void WindowPresenter::Synchronised(uint64_t token) {
    core_->Synchronised(token);
}

void WindowPresenter::RunScript(std::vector<std::string> lines, std::ostream& out,
                                std::ostream& err) {
    core_->RunScript(std::move(lines), out, err);
}

std::optional<WindowState> WindowPresenter::SavedWindowState() const {
    return core_->SavedWindowState();
}

void WindowPresenter::SaveWindowState(const WindowState& state) const {
    core_->SaveWindowState(state);
}

bool WindowPresenter::CommandRunning() const {
    return core_->CommandRunning();
}

}  // namespace cardwright
