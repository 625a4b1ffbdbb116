// window_check's part on the window's questions: the LED step dialog, the new-solution dialog,
// the message boxes with their icons and buttons, the About box and the common file dialog, each
// worked from inside its own modal loop (a thread timer finds the dialog in front and works its
// controls as a user would) and its answer seen as the presenter would get it.
#include "tests/windows/dialog_checks.h"

#include <commctrl.h>

#include <functional>
#include <string>

#include "app_win32/wide_text.h"
#include "cardwork/presenter/view_rules.h"

namespace cardwright::win32::checks {

namespace {

// The dialog ids Windows gives a message box's text and a file dialog's name box.
constexpr int kMessageText = 0xFFFF;
constexpr int kMessageIcon = 0x440;
constexpr int kFileNameCombo = 0x47C;  // cmb13
constexpr int kFileNameEdit = 0x480;   // edt1
// The program's own dialogs' boxes (app_win32/program_dialogs.cpp).
constexpr int kColourBox = 1001;
constexpr int kTimeBox = 1002;
constexpr int kNameBox = 1003;
constexpr int kLedBox = 1004;
constexpr int kGiveUpTicks = 200;  // of 50 ms

// Works the dialog in front: true once it has done its part.
using Act = std::function<bool(HWND dialog)>;

struct Hand {
    Act act;
    int ticks = 0;
    bool done = false;
    bool gave_up = false;
};
Hand* g_hand = nullptr;

BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    if (std::wstring(name) == L"#32770" && IsWindowVisible(window) != FALSE &&
        IsWindowEnabled(window) != FALSE) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

// The dialog the user could work now: a box opened over a dialog disables that dialog.
HWND DialogInFront() {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

void CALLBACK Tick(HWND /*window*/, UINT /*message*/, UINT_PTR /*id*/, DWORD /*time*/) {
    if (g_hand == nullptr || g_hand->done) {
        return;
    }
    HWND dialog = DialogInFront();
    if (++g_hand->ticks > kGiveUpTicks) {
        // Never left open: the check fails and goes on.
        g_hand->gave_up = g_hand->done = true;
        if (dialog != nullptr) {
            PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        }
        return;
    }
    if (dialog != nullptr && g_hand->act(dialog)) {
        g_hand->done = true;
    }
}

// Calls `open`, which returns once its dialog is closed, while `act` works the dialog.
bool WithDialog(const std::function<void()>& open, Act act) {
    Hand hand{std::move(act)};
    g_hand = &hand;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, &Tick);
    open();
    KillTimer(nullptr, timer);
    g_hand = nullptr;
    return hand.done && !hand.gave_up;
}

// A click, posted: the dialog's own loop carries it out once the timer has returned.
void Press(HWND dialog, int button) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
}

std::wstring Text(HWND dialog, int id) {
    wchar_t text[512] = {};
    GetDlgItemTextW(dialog, id, text, 512);
    return text;
}

bool Answered(const RecordingActions& actions, QuestionId id) {
    return !actions.answers.empty() && actions.answers.back().first == id;
}

const cardwright::Answer& LastAnswer(const RecordingActions& actions) {
    return actions.answers.back().second;
}

void LedStepDialog(MainWindow& window, RecordingActions& actions) {
    bool preset_shown = false;
    bool refused = false;
    int stage = 0;
    const bool worked = WithDialog(
        [&] {
            window.AskLedStep(61, LedStep{3, 7});
        },
        [&](HWND dialog) {
            if (stage == 0) {
                preset_shown = SendDlgItemMessageW(dialog, kColourBox, CB_GETCURSEL, 0, 0) == 2 &&
                               Text(dialog, kTimeBox) == L"7";
                SetDlgItemTextW(dialog, kTimeBox, L"256");
                Press(dialog, IDOK);
                stage = 1;
            } else if (stage == 1 && GetDlgItem(dialog, kTimeBox) == nullptr) {
                // The box over the dialog: the time is refused.
                refused = Wide(kBadLedTimeMessage) == Text(dialog, kMessageText);
                Press(dialog, IDOK);
                stage = 2;
            } else if (stage == 2 && GetDlgItem(dialog, kTimeBox) != nullptr) {
                SendDlgItemMessageW(dialog, kColourBox, CB_SETCURSEL, 1, 0);
                SetDlgItemTextW(dialog, kTimeBox, L"12");
                Press(dialog, IDOK);
                return true;
            }
            return false;
        });
    Check(worked && preset_shown, "the LED step dialog shows the step it is asked about");
    Check(refused, "its OK refuses a time of more than one byte with a message, and stays open");
    Check(Answered(actions, 61) && LastAnswer(actions).accepted &&
              LastAnswer(actions).step.colour == 2 && LastAnswer(actions).step.time == 12,
          "its OK answers with the colour and the time chosen");
    const bool cancelled = WithDialog(
        [&] {
            window.AskLedStep(62, LedStep{0, -1});
        },
        [&](HWND dialog) {
            preset_shown = SendDlgItemMessageW(dialog, kColourBox, CB_GETCURSEL, 0, 0) == CB_ERR &&
                           Text(dialog, kTimeBox) == L"-1";
            Press(dialog, IDCANCEL);
            return true;
        });
    Check(cancelled && preset_shown && Answered(actions, 62) && !LastAnswer(actions).accepted,
          "a step past the pattern's end shows no colour; Cancel answers cancelled");
}

void NewSolutionDialog(MainWindow& window, RecordingActions& actions) {
    const bool typed =
        WithDialog([&] { window.AskNewSolution(63); },
                   [&](HWND dialog) {
                       SetDlgItemTextW(dialog, kNameBox, L"\u5DE5\u5382 Shop");
                       SendDlgItemMessageW(dialog, kLedBox, BM_SETCHECK, BST_CHECKED, 0);
                       Press(dialog, IDOK);
                       return true;
                   });
    Check(typed && Answered(actions, 63) && LastAnswer(actions).accepted &&
              LastAnswer(actions).text == "\xE5\xB7\xA5\xE5\x8E\x82 Shop" &&
              LastAnswer(actions).flag,
          "the new-solution dialog answers with the name as typed and its LED box");
    bool kept = false;
    const bool cancelled = WithDialog([&] { window.AskNewSolution(64); },
                                      [&](HWND dialog) {
                                          kept = Text(dialog, kNameBox) == L"\u5DE5\u5382 Shop" &&
                                                 SendDlgItemMessageW(dialog, kLedBox, BM_GETCHECK,
                                                                     0, 0) == BST_CHECKED;
                                          Press(dialog, IDCANCEL);
                                          return true;
                                      });
    Check(cancelled && kept && Answered(actions, 64) && !LastAnswer(actions).accepted,
          "it keeps its boxes between uses; Cancel answers cancelled");
}

void MessageBoxes(MainWindow& window, RecordingActions& actions) {
    // The icon of each kind, as Windows' own icons (shared handles) show it.
    const std::pair<MessageIcon, const wchar_t*> kinds[] = {
        {MessageIcon::kInformation, IDI_ASTERISK},
        {MessageIcon::kWarning, IDI_EXCLAMATION},
        {MessageIcon::kError, IDI_HAND},
    };
    bool shown = true;
    bool icons = true;
    QuestionId id = 71;
    for (const auto& [kind, icon] : kinds) {
        WithDialog([&] { window.ShowMessage(id, "Write to datacard failed...", kind); },
                   [&](HWND box) {
                       shown = shown && Text(box, kMessageText) == L"Write to datacard failed...";
                       icons = icons && reinterpret_cast<HICON>(SendDlgItemMessageW(
                                            box, kMessageIcon, STM_GETICON, 0, 0)) ==
                                            LoadIconW(nullptr, icon);
                       Press(box, IDOK);
                       return true;
                   });
        shown = shown && Answered(actions, id++);
    }
    Check(shown, "a message box shows its text and answers when closed");
    Check(icons, "an information, a warning and an error show their own icons");
    bool no_is_default = false;
    const std::string question = "Export anyway?";
    WithDialog([&] { window.AskYesNo(66, question); },
               [&](HWND box) {
                   const auto style = [&](int button) {
                       return GetWindowLongW(GetDlgItem(box, button), GWL_STYLE) & BS_TYPEMASK;
                   };
                   no_is_default = GetDlgItem(box, IDYES) != nullptr &&
                                   style(IDNO) == BS_DEFPUSHBUTTON &&
                                   style(IDYES) == BS_PUSHBUTTON &&
                                   Text(box, kMessageText) == L"Export anyway?";
                   Press(box, IDNO);
                   return true;
               });
    Check(no_is_default && Answered(actions, 66) && !LastAnswer(actions).accepted,
          "a question has Yes and No, No the default; No answers not accepted");
    WithDialog([&] { window.AskYesNo(67, question); },
               [&](HWND box) {
                   Press(box, IDYES);
                   return true;
               });
    Check(Answered(actions, 67) && LastAnswer(actions).accepted, "Yes answers accepted");
}

void AboutBox(MainWindow& window, RecordingActions& actions) {
    bool lines = false;
    WithDialog(
        [&] {
            window.ShowAbout(68, {"Product Name: Cardwright", "Version: V9R9B9"});
        },
        [&](HWND about) {
            std::wstring texts;
            for (HWND child = GetWindow(about, GW_CHILD); child != nullptr;
                 child = GetWindow(child, GW_HWNDNEXT)) {
                wchar_t text[128] = {};
                GetWindowTextW(child, text, 128);
                texts += text;
                texts += L'\n';
            }
            lines = texts.find(L"Product Name: Cardwright\n") != std::wstring::npos &&
                    texts.find(L"Version: V9R9B9\n") != std::wstring::npos;
            Press(about, IDOK);
            return true;
        });
    Check(lines && Answered(actions, 68), "the About box shows the product and its version");
}

void FileDialog(MainWindow& window, RecordingActions& actions, const std::string& folder) {
    const std::wstring chosen = Wide(folder) + L"\\\u5BFC\u51FA.ini";
    const bool worked = WithDialog(
        [&] {
            window.AskFileName(69, {true, "Ini Files|*.ini"});
        },
        [&](HWND dialog) {
            const int box =
                GetDlgItem(dialog, kFileNameCombo) != nullptr ? kFileNameCombo : kFileNameEdit;
            if (GetDlgItem(dialog, box) == nullptr) {
                return false;  // not the dialog's own window yet
            }
            SetDlgItemTextW(dialog, box, chosen.c_str());
            Press(dialog, IDOK);
            return true;
        });
    Check(worked && Answered(actions, 69) && LastAnswer(actions).accepted &&
              LastAnswer(actions).text == Utf8(chosen),
          "the save dialog answers with the file named in it (a Chinese name): " +
              (actions.answers.empty() ? std::string() : LastAnswer(actions).text));
    WithDialog(
        [&] {
            window.AskFileName(70, {false, "Ini Files|*.ini"});
        },
        [&](HWND dialog) {
            Press(dialog, IDCANCEL);
            return true;
        });
    Check(Answered(actions, 70) && !LastAnswer(actions).accepted,
          "the open dialog cancelled answers not accepted");
}

}  // namespace

void DialogChecks(MainWindow& window, RecordingActions& actions, const std::string& folder) {
    LedStepDialog(window, actions);
    NewSolutionDialog(window, actions);
    MessageBoxes(window, actions);
    AboutBox(window, actions);
    FileDialog(window, actions, folder);
}

}  // namespace cardwright::win32::checks
