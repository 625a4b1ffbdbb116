#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "cardwork/presenter/window_view.h"

namespace cardwright::win32 {

// What the window's user asks for, as the window hands it on (the presenter's commands, see
// WindowPresenter), on the window's thread.
class UserActions {
  public:
    virtual ~UserActions() = default;

    virtual bool StartUp() = 0;
    virtual bool Read() = 0;
    virtual bool Write() = 0;
    virtual bool Import() = 0;
    virtual bool Export() = 0;
    virtual bool About() = 0;
    virtual bool ChooseSolution(int index) = 0;
    virtual bool NewSolution() = 0;
    virtual bool DeleteSolution() = 0;
    virtual void SelectLedStatus(int status) = 0;
    virtual bool ModifyLedStep(int step) = 0;
    virtual bool DeleteLedStep(int step) = 0;
    virtual bool DeleteAllLedSteps() = 0;
    virtual void ItemEdited(size_t item, const std::string& text, int entry, bool ticked) = 0;
    virtual void TabShown(Tab tab) = 0;
    // True: the window may close now.
    virtual bool Close() = 0;
    virtual void Answer(QuestionId id, const cardwright::Answer& answer) = 0;
    virtual void Synchronised(uint64_t token) = 0;
    virtual void SaveWindowState(const WindowState& state) = 0;
};

}  // namespace cardwright::win32
