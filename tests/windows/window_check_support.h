#pragma once

// What the parts of window_check share: the check output, a message pump with a deadline, and a
// stand-in for the presenter that notes what the window hands on.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app_win32/user_actions.h"
#include "tests/windows/check_output.h"

namespace cardwright::win32::checks {

using namespace std::chrono_literals;

inline CheckOutput g_out;

inline void Check(bool ok, const std::string& what) {
    g_out.Check(ok, what);
}

// Handles the window's messages until `done` or the deadline.
inline bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG message{};
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != FALSE) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return true;
}

// What the window handed on to its presenter.
class RecordingActions final : public UserActions {
  public:
    std::vector<std::string> calls;
    std::vector<std::pair<QuestionId, cardwright::Answer>> answers;
    std::vector<std::tuple<size_t, std::string, int, bool>> edits;

    bool StartUp() override { return Note("StartUp"); }
    bool Read() override { return Note("Read"); }
    bool Write() override { return Note("Write"); }
    bool Import() override { return Note("Import"); }
    bool Export() override { return Note("Export"); }
    bool About() override { return Note("About"); }
    bool ChooseSolution(int index) override {
        return Note("ChooseSolution " + std::to_string(index));
    }
    bool NewSolution() override { return Note("NewSolution"); }
    bool DeleteSolution() override { return Note("DeleteSolution"); }
    void SelectLedStatus(int status) override { Note("SelectLedStatus " + std::to_string(status)); }
    bool ModifyLedStep(int step) override { return Note("ModifyLedStep " + std::to_string(step)); }
    bool DeleteLedStep(int step) override { return Note("DeleteLedStep " + std::to_string(step)); }
    bool DeleteAllLedSteps() override { return Note("DeleteAllLedSteps"); }
    void ItemEdited(size_t item, const std::string& text, int entry, bool ticked) override {
        edits.emplace_back(item, text, entry, ticked);
    }
    void TabShown(Tab tab) override { Note("TabShown " + std::to_string(static_cast<int>(tab))); }
    bool Close() override { return Note("Close"); }
    void Answer(QuestionId id, const cardwright::Answer& answer) override {
        answers.emplace_back(id, answer);
    }
    void Synchronised(uint64_t token) override { Note("Synchronised " + std::to_string(token)); }
    void SaveWindowState(const WindowState& state) override {
        Note("SaveWindowState");
        saved = state;
    }

    std::optional<WindowState> saved;

  private:
    bool Note(std::string call) {
        calls.push_back(std::move(call));
        return true;
    }
};

inline bool Has(const std::vector<std::string>& calls, const std::string& call) {
    return std::find(calls.begin(), calls.end(), call) != calls.end();
}

inline RECT InParent(HWND control) {
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

}  // namespace cardwright::win32::checks
