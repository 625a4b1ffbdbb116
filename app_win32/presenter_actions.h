#pragma once

#include "app_win32/user_actions.h"
#include "cardwork/presenter/window_presenter.h"

namespace cardwright::win32 {

// The window's user actions handed to the presenter.
class PresenterActions final : public UserActions {
  public:
    explicit PresenterActions(WindowPresenter& presenter) : presenter_(presenter) {}

    bool StartUp() override { return presenter_.StartUp(); }
    bool Read() override { return presenter_.Read(); }
    bool Write() override { return presenter_.Write(); }
    bool Import() override { return presenter_.Import(); }
    bool Export() override { return presenter_.Export(); }
    bool About() override { return presenter_.About(); }
    bool ChooseSolution(int index) override { return presenter_.ChooseSolution(index); }
    bool NewSolution() override { return presenter_.NewSolution(); }
    bool DeleteSolution() override { return presenter_.DeleteSolution(); }
    void SelectLedStatus(int status) override { presenter_.SelectLedStatus(status); }
    bool ModifyLedStep(int step) override { return presenter_.ModifyLedStep(step); }
    bool DeleteLedStep(int step) override { return presenter_.DeleteLedStep(step); }
    bool DeleteAllLedSteps() override { return presenter_.DeleteAllLedSteps(); }
    void ItemEdited(size_t item, const std::string& text, int entry, bool ticked) override {
        presenter_.ItemEdited(item, text, entry, ticked);
    }
    void TabShown(Tab tab) override { presenter_.TabShown(tab); }
    bool Close() override { return presenter_.Close(); }
    void Answer(QuestionId id, const cardwright::Answer& answer) override {
        presenter_.Answer(id, answer);
    }
    void Synchronised(uint64_t token) override { presenter_.Synchronised(token); }
    void SaveWindowState(const WindowState& state) override { presenter_.SaveWindowState(state); }

  private:
    WindowPresenter& presenter_;
};

}  // namespace cardwright::win32
