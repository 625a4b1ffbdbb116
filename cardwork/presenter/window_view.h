#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cardwork/card/common_info.h"
#include "cardwork/model/led_table.h"

namespace cardwright {

// The tabs of the main window's page control, in their order: "Common Info", "Led Setting", then
// one for each of the first five pages of CONFIG_PAGE.
enum class Tab : int { kCommonInfo = 0, kLed, kPage1, kPage2, kPage3, kPage4, kPage5 };
inline constexpr int kTabCount = 7;
inline constexpr int kDescribedTabs = 5;

// The tab of a described page, counted from 0.
constexpr Tab DescribedTab(int slot) {
    return static_cast<Tab>(static_cast<int>(Tab::kPage1) + slot);
}

// One configuration item on a page: its "LABEL_" check box and its value box.
//
// A page's rows are laid out in the order given, by ItemLayout (cardwork/model/config_item.h)
// for the height of the page control: the check box at the layout's point, 140 pixels wide, the
// value box `width` pixels wide on top of the check box's far end, 120 pixels right of the point
// and 5 higher. A row that is not visible takes no place. The check box ticked enables the value
// box; the view does that itself and reports the change (WindowPresenter::ItemEdited).
struct PageRow {
    size_t item = 0;      // the item's number: later calls name its boxes by it
    std::string name;     // the item's Name: the value box's control name; "LABEL_" + name the
                          // check box's
    std::string caption;  // the check box's text, DISPLAY and ": "
    std::vector<std::string> choices;  // the value box's entries (RANGE)
    bool editable = false;             // USER_INPUT: any text may be typed into the box
    bool visible = true;               // VISIBLE
    int width = 0;                     // ITEM_WIDTH, of the value box
};

// What an item's two boxes show.
struct ItemState {
    std::string text;     // the value box's text (for a pick-only box, the entry's)
    int entry = -1;       // in a pick-only box, the entry selected; -1: none
    bool ticked = false;  // the check box; the value box is enabled exactly when it is ticked
};

// A row of the LED page's step list: the colour and the time, or "--" in both past a pattern's
// end.
struct LedStepRow {
    std::string colour;
    std::string time;
};

// The status bar's text: the step a command is at, or what the last command came to. The part
// [path_start, path_start + path_length) is a file's path, which is shortened in its middle
// (FitStatusText, cardwork/presenter/view_rules.h) when the whole text does not fit; the whole
// text is the status bar's tool tip.
struct StatusText {
    std::string text;
    size_t path_start = 0;
    size_t path_length = 0;
};

// The icon a message box shows.
enum class MessageIcon { kInformation, kWarning, kError };

// A file dialog: to choose a file to open, or a name to save to. `filter` in the form
// "Ini Files|*.ini" (a description and its patterns, pairs joined by "|").
struct FileQuestion {
    bool save = false;
    std::string filter;
};

// The About box's lines.
struct AboutText {
    std::string product;  // "Product Name: Cardwright"
    std::string version;  // "Version: V100R001B204"
};

// Names one question (a message box, a dialog) until it is answered.
using QuestionId = uint64_t;

// How the user answered a question: WindowPresenter::Answer.
struct Answer {
    // Closed with OK or Yes, a file chosen, the picture saved; false: cancelled, No, closed.
    bool accepted = false;
    std::string text;   // the file's path; the new solution's name as typed (Edit1)
    bool flag = false;  // the new solution configures the LED (CheckBox1)
    LedStep step;  // the LED step the dialog holds (the time as WindowPresenter's rule took it)
};

// The window's size and place, kept between runs: in pixels, the window's client area.
struct WindowState {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool maximized = false;
    int log_height = 0;  // the log's part of the splitter
};

// What a window implements so that WindowPresenter can show its state and ask its user: the
// toolkit-free counterpart of the card work's CardWorkView, whose hooks it takes over for the
// window (the presenter implements CardWorkView and turns its calls into these).
//
// Thread rule, for every member: the presenter calls them from its worker thread or from the
// thread that calls into the presenter, never two at once. The view carries each call to its
// user-interface thread and carries them out there in the order they were made (Qt: queued
// invocations; Win32: posted messages), and returns at once without waiting for it. Texts are
// UTF-8.
//
// Questions (the members taking a QuestionId) are answered on the user-interface thread with
// WindowPresenter::Answer(id, ...) once the user has closed the box or dialog; meanwhile the
// presenter's worker waits. A question the window closes over is answered by the presenter
// itself (cancelled): the view then only closes its box.
class WindowView {
  public:
    virtual ~WindowView() = default;

    // The tabs and pages. A window starts with "Common Info" and "Led Setting" shown and the
    // five described tabs hidden, without captions.
    // A tab's caption and whether it is shown ("Common Info" and "Led Setting" keep theirs).
    virtual void ShowTab(Tab tab, const std::string& caption, bool visible) = 0;
    // Brings a tab to the front. The view reports the tab the user brings to the front with
    // WindowPresenter::TabShown.
    virtual void SelectTab(Tab tab) = 0;
    // Adds rows after those the page holds. A page's rows come in batches.
    virtual void AddPageRows(Tab tab, const std::vector<PageRow>& rows) = 0;
    // The boxes of these items go from their pages.
    virtual void RemoveItems(const std::vector<size_t>& items) = 0;
    virtual void ShowItem(size_t item, const ItemState& state) = 0;
    // Both boxes of the item are hidden (the card type leaves it out).
    virtual void HideItem(size_t item) = 0;

    // "Common Info": the list appears (it is hidden until the start-up sequence), and a row's
    // "Value" column.
    virtual void ShowCommonInfoList() = 0;
    virtual void ShowCommonInfo(CommonInfoRow row, const std::string& value) = 0;

    // The LED page. The status list (ListView2) holds the eight captions of LedStatusCaptions();
    // the view reports its selection with WindowPresenter::SelectLedStatus.
    // The step list (ListView1) holds exactly these rows: kLedSteps rows for a selected status,
    // none without one.
    virtual void ShowLedSteps(const std::vector<LedStepRow>& rows) = 0;
    // One row of the step list (counted from 1) shows another text.
    virtual void ShowLedStep(int step, const LedStepRow& row) = 0;

    // The solution chooser (ComboBox1): its entries, and which is selected (-1: none). The
    // view reports the user's choice with WindowPresenter::ChooseSolution.
    virtual void ShowSolutions(const std::vector<std::string>& names, int selected) = 0;
    virtual void SelectSolution(int index) = 0;

    // Lines added at the end of the log (Memo1). The log's view follows the newest line unless
    // the user has scrolled up to read.
    virtual void AppendLog(const std::vector<std::string>& lines) = 0;
    virtual void ShowStatus(const StatusText& status) = 0;
    // Where the values shown come from ("Card LW-X4201 on COM12, IMEI ..."), in the status bar's
    // panel beside the status; empty: nothing.
    virtual void ShowSource(const std::string& source) = 0;
    // The window's caption.
    virtual void ShowTitle(const std::string& title) = 0;
    // The commands (tool buttons and menu entries) and every input (value boxes, check boxes,
    // the solution chooser, the two LED lists) can be used, or not while a command runs. An
    // input keeps its own state underneath: a value box disabled because its item is not ticked
    // stays so when the inputs are enabled again.
    virtual void EnableCommands(bool enabled) = 0;

    // Questions, answered with WindowPresenter::Answer. A message box with an OK button.
    virtual void ShowMessage(QuestionId id, const std::string& text, MessageIcon icon) = 0;
    // A question with the buttons Yes and No (No the default); accepted: Yes.
    virtual void AskYesNo(QuestionId id, const std::string& question) = 0;
    // Accepted with the file's path in `text`.
    virtual void AskFileName(QuestionId id, const FileQuestion& question) = 0;
    // The LED step dialog (TLedSettingFrm), showing `preset`: its colour entry (none outside 1
    // to 8) and its time. Its OK takes the time only by LedTimeFromText
    // (cardwork/presenter/view_rules.h) and otherwise shows kBadLedTimeMessage and stays open.
    // Accepted with the step chosen.
    virtual void AskLedStep(QuestionId id, const LedStep& preset) = 0;
    // The new-solution dialog (TNewSoluationFrm); accepted (its confirm button) with the name
    // as typed and the state of its LED check box. Its boxes keep what they held between uses.
    virtual void AskNewSolution(QuestionId id) = 0;
    // The About box, answered when it closes.
    virtual void ShowAbout(QuestionId id, const AboutText& about) = 0;
    // Saves a picture of the window into `file` (its type by its extension); accepted when the
    // picture was saved.
    virtual void TakeScreenshot(QuestionId id, const std::string& file) = 0;

    // Answered with WindowPresenter::Synchronised(token) once every call made before this one
    // has been carried out: the presenter's worker waits for the window to catch up before it
    // sends more of a long piece of work.
    virtual void Synchronise(uint64_t token) = 0;

    // The window comes to the front (a Write has ended; its message box follows).
    virtual void BringToFront() = 0;
    // The window closes: a close the presenter put off until the end of a command, or the
    // configuration files are gone.
    virtual void CloseWindow() = 0;
    // A script (WindowPresenter::RunScript) is over: the program ends with this exit status.
    virtual void ScriptFinished(int exit_status) = 0;
};

}  // namespace cardwright
