#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cardwork/card/card_access.h"
#include "cardwork/presenter/date_time_format.h"
#include "cardwork/presenter/lent_card.h"
#include "cardwork/presenter/window_view.h"

namespace cardwright {

class PresenterCore;

// Everything the configurator's main window knows and does except drawing: the pages and items
// built from Config_Info.ini with what each shows, "Common Info", the solutions, the LED table,
// the log, the status bar, the title, which commands can be used; and the commands themselves.
// A window builds its controls, forwards its user's actions here and implements WindowView.
//
// One worker thread of the presenter's own runs every command, one at a time, and every call of
// the card. A command asked for while another runs is refused: the member returns false and the
// status bar says so. While a command runs, the window's commands and inputs are disabled.
//
// Thread rule: every member is called on the window's user-interface thread (the thread that made
// the presenter); none of them waits for a command.
class WindowPresenter {
  public:
    // `config_folder` holds the two INI files, the log and the window's state (ConfigFolder).
    // `card` is used on the worker thread only; the view, the card and the date-time format
    // outlive the presenter.
    // `lender` borrows the card for each command that opens it (ModemManagerLender in the
    // programs); none: the card is worked as it is.
    WindowPresenter(WindowView& view, CardAccess& card, const DateTimeFormat& date_time,
                    std::filesystem::path config_folder, CardLender lender = {});
    // Ends the worker thread. A command under way is not cut short (a card is never left half
    // written): a question it waits for is answered as cancelled, and the work goes to its end.
    ~WindowPresenter();
    WindowPresenter(const WindowPresenter&) = delete;
    WindowPresenter& operator=(const WindowPresenter&) = delete;

    // FormCreate: reads cardwright.conf and opens Config_Info.ini and config_value.ini, before
    // the window is shown. `messages` are for the user, each in a message box, before anything
    // else; when `ok` is false ("Config file not exists...") the program is to end.
    struct Opened {
        bool ok = false;
        std::vector<std::string> messages;
    };
    Opened Open();

    // The start-up sequence (Timer1's tick): the pages built, the solutions loaded, the card
    // read for the DEFAULT solution. False while another command runs: the window tries again
    // at its timer's next tick.
    bool StartUp();
    bool Read();
    bool Write();
    bool Import();
    bool Export();
    bool About();

    // The solutions: the chooser's entry the user chose, the New and Delete buttons.
    bool ChooseSolution(int index);
    bool NewSolution();
    bool DeleteSolution();

    // The LED page: the status selected in the status list (0: none), and the editing
    // commands on the step list's first selected row (counted from 1; 0: none selected).
    void SelectLedStatus(int status);
    bool ModifyLedStep(int step);
    bool DeleteLedStep(int step);
    bool DeleteAllLedSteps();

    // What the user did to an item's boxes: its value box's text and entry, its check box.
    // Taken by the next command.
    void ItemEdited(size_t item, const std::string& text, int entry, bool ticked);
    // The tab the user brought to the front.
    void TabShown(Tab tab);

    // The user closes the window. True: it may close now. False: a command runs; the window
    // stays until the command's end (the status bar says so), then WindowView::CloseWindow
    // closes it. A question open meanwhile is answered as cancelled.
    bool Close();

    // The user's answer to a question of the view's; an answer to a question no longer asked is
    // ignored.
    void Answer(QuestionId id, const cardwright::Answer& answer);
    // The view has carried out every call before WindowView::Synchronise(token).
    void Synchronised(uint64_t token);

    // Runs a script once the start-up sequence is over: one command a line (the verbs of the
    // man page: select, read, write, import, export, solution save|select, led, answer,
    // expect-log, wait-for-card, tab, screenshot, quit). Message boxes go to `out` instead, and
    // each question takes the script's answer or is cancelled. A command that fails names its
    // line on `err` and the script goes on; a line that cannot be carried out ends it. At the
    // end WindowView::ScriptFinished gets 0 when every command succeeded, else 1. The streams
    // outlive the script.
    void RunScript(std::vector<std::string> lines, std::ostream& out, std::ostream& err);

    // The window's state of the last run, and the state to keep for the next (window-state.ini
    // in the configuration folder).
    std::optional<WindowState> SavedWindowState() const;
    void SaveWindowState(const WindowState& state) const;

    bool CommandRunning() const;

  private:
    std::unique_ptr<PresenterCore> core_;
};

}  // namespace cardwright
