// window_check: the Win32 window's own parts under Wine, without the presenter: the calls carried
// from another thread, the items' boxes on a page, what the user's clicks hand on, the log past
// the edit control's default limit, the status bar's shortening, the tabs, a picture of the window,
// the dialogs and message boxes (dialog_checks.cpp), the window's state kept, the log's time
// stamps and the text conversions. Needs a display (Xvfb).
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app_win32/dpi.h"
#include "app_win32/locale_date_time.h"
#include "app_win32/main_window.h"
#include "app_win32/posted_view.h"
#include "app_win32/user_actions.h"
#include "app_win32/wide_text.h"
#include "tests/windows/dialog_checks.h"
#include "tests/windows/window_check_support.h"

namespace {

using namespace cardwright;
using namespace cardwright::win32;
using namespace cardwright::win32::checks;

PageRow Row(size_t item, std::string caption, std::vector<std::string> choices, bool editable,
            bool visible = true) {
    PageRow row;
    row.item = item;
    row.name = "ITEM_" + std::to_string(item);
    row.caption = std::move(caption);
    row.choices = std::move(choices);
    row.editable = editable;
    row.visible = visible;
    row.width = 100;
    return row;
}

// Calls made on another thread reach the window's thread in the order they were made; a view
// that is not carried over would show them on the caller's thread.
void CallsFromAnotherThread(MainWindow& window) {
    PostedView posted(window, window.Calls());
    constexpr int kLines = 500;
    std::thread caller([&] {
        for (int line = 0; line < kLines; ++line) {
            posted.AppendLog({"line " + std::to_string(line)});
        }
        posted.ShowTitle("Cardwright - after the lines");
        posted.Synchronise(7);
    });
    const bool arrived = PumpUntil([&] {
        wchar_t title[128] = {};
        GetWindowTextW(window.Handle(), title, 128);
        return std::wstring(title) == L"Cardwright - after the lines";
    });
    caller.join();
    Check(arrived, "calls made on another thread arrive on the window's thread");
    const std::string text = window.Log().Text();
    bool in_order = true;
    size_t from = 0;
    for (int line = 0; line < kLines && in_order; ++line) {
        const size_t at = text.find("line " + std::to_string(line) + "\r\n", from);
        in_order = at != std::string::npos ||
                   (line == kLines - 1 && text.ends_with("line " + std::to_string(line)));
        from = at == std::string::npos ? from : at;
    }
    Check(in_order, "the log shows the lines in the order they were sent");
}

void PageRows(MainWindow& window, RecordingActions& actions) {
    window.ShowTab(Tab::kPage1, "Network", true);
    window.AddPageRows(
        Tab::kPage1,
        {Row(0, "Mode: ", {"Automatic", "GSM only"}, false),
         Row(1, "Hidden: ", {"On"}, false, false), Row(2, "Timeout: ", {"10", "60"}, true),
         Row(3, "A caption far too long to fit before its box: ", {"On", "Off"}, false)});
    const UINT dpi = DpiOf(window.Handle());
    const RECT first_check = InParent(window.Rows().CheckBox(0));
    const RECT first_value = InParent(window.Rows().ValueBox(0));
    Check(first_check.left == Scaled(10, dpi) && first_check.top == Scaled(20, dpi),
          "the first check box is at the layout's first point");
    Check(first_value.left == Scaled(130, dpi) && first_value.top == Scaled(15, dpi) &&
              first_value.right - first_value.left == Scaled(100, dpi),
          "its value box is 120 pixels right, 5 higher, as wide as the item says");
    Check(first_check.right <= first_value.left, "the check box ends where the value box begins");
    Check(InParent(window.Rows().CheckBox(2)).top == Scaled(50, dpi),
          "a row that is not visible takes no place");
    Check(IsWindowVisible(window.Rows().CheckBox(1)) == FALSE, "an invisible row is not shown");
    HWND page = GetParent(window.Rows().CheckBox(0));
    const auto shown = window.Rows().CaptionShown(3);
    Check(shown && shown->ends_with(L"\u2026"), "a caption too long is cut with an ellipsis");
    Check(window.Rows().CaptionShown(0) == std::wstring(L"Mode: "), "a short caption is whole");

    // What the user does to the boxes is handed on.
    window.ShowItem(0, {"GSM only", 1, false});
    Check(IsWindowEnabled(window.Rows().ValueBox(0)) == FALSE,
          "an item not ticked has its value box disabled");
    SendMessageW(window.Rows().CheckBox(0), BM_CLICK, 0, 0);
    Check(!actions.edits.empty() && std::get<0>(actions.edits.back()) == 0 &&
              std::get<3>(actions.edits.back()) && std::get<1>(actions.edits.back()) == "GSM only",
          "ticking an item hands on its tick and its value");
    Check(IsWindowEnabled(window.Rows().ValueBox(0)) != FALSE, "ticking enables the value box");
    Check(GetNextDlgTabItem(page, window.Rows().CheckBox(0), FALSE) == window.Rows().ValueBox(0),
          "Tab goes from an item's check box to its value box");
    SendMessageW(window.Rows().ValueBox(0), CB_SETCURSEL, 0, 0);
    SendMessageW(page, WM_COMMAND, MAKEWPARAM(0, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(window.Rows().ValueBox(0)));
    Check(!actions.edits.empty() && std::get<1>(actions.edits.back()) == "Automatic" &&
              std::get<2>(actions.edits.back()) == 0,
          "an entry chosen is handed on with its text");
    window.ShowItem(2, {"45", -1, false});
    window.EnableCommands(false);
    window.EnableCommands(true);
    Check(IsWindowEnabled(window.Rows().ValueBox(2)) == FALSE,
          "a value box disabled for its tick stays so when the inputs come back");
    Check(window.Rows().StateOf(2)->text == "45", "an editable box shows the text it is given");
    window.RemoveItems({0, 1, 2, 3});
    Check(window.Rows().CheckBox(0) == nullptr && IsWindow(page) != FALSE,
          "removed items lose their boxes");
    window.AddPageRows(Tab::kPage1, {Row(4, "Again: ", {"On"}, false)});
    Check(InParent(window.Rows().CheckBox(4)).top == Scaled(20, dpi),
          "a page emptied starts its layout anew");
}

// The shortcuts do what their menu entries do, and nothing while the commands are disabled.
void Shortcuts(MainWindow& window, RecordingActions& actions) {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    const auto press = [&](bool control, WPARAM key) {
        keys[VK_CONTROL] = control ? 0x80 : 0;
        SetKeyboardState(keys);
        MSG message{window.Handle(), WM_KEYDOWN, key, 1, 0, {}};
        return TranslateAcceleratorW(window.Handle(), window.Accelerators(), &message) != 0;
    };
    // The one call a key press hands on, if it hands on exactly one.
    const auto handed_on = [&](bool control, WPARAM key) {
        const size_t before = actions.calls.size();
        const bool translated = press(control, key);
        return translated && actions.calls.size() == before + 1 ? actions.calls.back()
                                                                : std::string();
    };
    const std::pair<WPARAM, const char*> shortcuts[] = {
        {'R', "Read"}, {'W', "Write"}, {'O', "Import"}, {'S', "Export"}};
    bool all = true;
    for (const auto& [key, command] : shortcuts) {
        all = all && handed_on(true, key) == command;
    }
    all = all && handed_on(false, VK_F1) == "About";
    Check(all, "Ctrl+R, Ctrl+W, Ctrl+O, Ctrl+S and F1 hand on Read, Write, Import, Export, About");
    window.EnableCommands(false);
    const size_t before = actions.calls.size();
    press(true, 'W');
    window.EnableCommands(true);
    Check(actions.calls.size() == before, "a shortcut while a command runs hands nothing on");
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
}

void LogPastTheLimit(MainWindow& window) {
    std::vector<std::string> lines;
    for (int line = 0; line < 1500; ++line) {
        lines.push_back("a log line of forty characters, number " + std::to_string(line));
    }
    window.AppendLog(lines);
    const std::string text = window.Log().Text();
    Check(text.size() > 60000 && text.ends_with("number 1499"),
          "the log takes more than the edit control's 30,000 characters");
    HWND edit = window.Log().Handle();
    SendMessageW(edit, WM_VSCROLL, SB_TOP, 0);
    window.AppendLog({"while the user reads the top"});
    Check(SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0) == 0,
          "a user reading further up stays where he is");
    SendMessageW(edit, WM_VSCROLL, SB_BOTTOM, 0);
    window.AppendLog({"at the end"});
    const auto lines_in_log = SendMessageW(edit, EM_GETLINECOUNT, 0, 0);
    const auto first = SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0);
    Check(first > lines_in_log - 20, "a user at the end sees the new lines");
}

void StatusAndTabs(MainWindow& window, RecordingActions& actions) {
    const std::string folder(200, 'f');
    const std::string text = "Exported to C:\\" + folder + "\\settings.ini";
    window.ShowStatus({text, 12, text.size() - 12});
    const std::string shown = window.Status().StatusShown();
    Check(shown.size() < text.size() && shown.starts_with("Exported to C:") &&
              shown.ends_with("settings.ini") && shown.find("\xE2\x80\xA6") != std::string::npos,
          "a long path is shortened in its middle: " + shown);
    window.ShowStatus({"Read from datacard succeed...", 0, 0});
    Check(window.Status().StatusShown() == "Read from datacard succeed...",
          "a text that fits is shown whole");

    window.ShowTab(Tab::kPage2, "\u6570\u636E", true);
    window.ShowTab(Tab::kPage1, "Network", false);
    const auto& shown_tabs = window.Pages().Shown();
    Check(shown_tabs == std::vector<Tab>{Tab::kCommonInfo, Tab::kLed, Tab::kPage2},
          "the tab control holds the tabs shown, in their order");
    window.SelectTab(Tab::kPage2);
    Check(window.Pages().Selected() == Tab::kPage2 &&
              IsWindowVisible(window.Pages().Page(Tab::kPage2)) != FALSE &&
              IsWindowVisible(window.Pages().Page(Tab::kCommonInfo)) == FALSE,
          "the tab brought to the front shows its page alone");
    // The user's choice of a tab is handed on.
    TabCtrl_SetCurSel(window.Pages().TabControl(), 0);
    NMHDR header{window.Pages().TabControl(), 0, TCN_SELCHANGE};
    SendMessageW(window.Handle(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&header));
    Check(Has(actions.calls, "TabShown 0"), "the user's tab is handed on");
}

void Picture(MainWindow& window, RecordingActions& actions, const std::string& folder) {
    const std::string file = folder + "\\window-check.png";
    window.TakeScreenshot(41, file);
    std::ifstream png(std::filesystem::path(Wide(file)), std::ios::binary);
    unsigned char head[24] = {};
    png.read(reinterpret_cast<char*>(head), sizeof head);
    const auto big_endian = [&](int at) {
        return (head[at] << 24) | (head[at + 1] << 16) | (head[at + 2] << 8) | head[at + 3];
    };
    RECT rect{};
    GetWindowRect(window.Handle(), &rect);
    Check(!actions.answers.empty() && actions.answers.back().first == 41 &&
              actions.answers.back().second.accepted,
          "the picture is taken and the question answered");
    Check(png && head[1] == 'P' && head[2] == 'N' && head[3] == 'G' &&
              big_endian(16) == rect.right - rect.left && big_endian(20) == rect.bottom - rect.top,
          "the picture is a PNG of the whole window's size");
    window.TakeScreenshot(42, folder + "\\no-such-folder\\x.png");
    Check(!actions.answers.back().second.accepted, "a picture that cannot be saved is refused");
}

bool SameState(const WindowState& one, const WindowState& other) {
    return one.x == other.x && one.y == other.y && one.width == other.width &&
           one.height == other.height && one.maximized == other.maximized &&
           one.log_height == other.log_height;
}

int Height(HWND control) {
    const RECT rect = InParent(control);
    return rect.bottom - rect.top;
}

// The window opens where the last run left it, with its log as high, and hands on what the
// user made of it when it closes: the splitter dragged included.
void StateKept() {
    const UINT dpi = SystemDpi();
    const WindowState wanted{Scaled(40, dpi),  Scaled(30, dpi), Scaled(700, dpi),
                             Scaled(520, dpi), false,           Scaled(150, dpi)};
    RecordingActions actions;
    {
        MainWindow window;
        window.Attach(actions);
        window.Show(wanted);
        RECT client{};
        GetClientRect(window.Handle(), &client);
        Check(client.right == wanted.width && client.bottom == wanted.height,
              "the client area is the size the last run kept");
        Check(SameState(window.State(), wanted), "the window tells the state it was shown with");
        Check(Height(window.Log().Handle()) == wanted.log_height, "the log is as high as kept");

        // The splitter taken 2 pixels into it and dragged 30 pixels up.
        HWND bar = window.SplitterBar().Handle();
        const int grab = 2;
        const int moved = Scaled(30, dpi);
        SendMessageW(bar, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, grab));
        SendMessageW(bar, WM_MOUSEMOVE, MK_LBUTTON,
                     MAKELPARAM(10, static_cast<WORD>(static_cast<SHORT>(grab - moved))));
        SendMessageW(bar, WM_LBUTTONUP, 0, MAKELPARAM(10, grab - moved));
        Check(Height(window.Log().Handle()) == wanted.log_height + moved,
              "dragging the splitter up makes the log higher");
        SendMessageW(window.Handle(), WM_CLOSE, 0, 0);
        WindowState expected = wanted;
        expected.log_height += moved;
        Check(actions.saved && SameState(*actions.saved, expected),
              "closing hands on the window's place, size and log height");
    }
    WindowState maximized = wanted;
    maximized.maximized = true;
    actions.saved.reset();
    {
        MainWindow window;
        window.Attach(actions);
        window.Show(maximized);
        Check(IsZoomed(window.Handle()) != FALSE, "a window kept maximized opens maximized");
        SendMessageW(window.Handle(), WM_CLOSE, 0, 0);
        Check(actions.saved && SameState(*actions.saved, maximized),
              "and keeps the size it has when it is not maximized");
    }
    // Each closed window asked its thread to end; the checks go on.
    MSG quit{};
    while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE) {
    }
}

void TimeStamps() {
    const LocaleDateTime format;
    SYSTEMTIME local{};
    GetLocalTime(&local);
    const auto at = [&](WORD hour, WORD minute, WORD second) {
        SYSTEMTIME moment = local;
        moment.wHour = hour;
        moment.wMinute = minute;
        moment.wSecond = second;
        moment.wMilliseconds = 0;
        SYSTEMTIME universal{};
        TzSpecificLocalTimeToSystemTime(nullptr, &moment, &universal);
        FILETIME file{};
        SystemTimeToFileTime(&universal, &file);
        const int64_t ticks =
            (static_cast<int64_t>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
        return std::chrono::system_clock::time_point(
            std::chrono::duration_cast<std::chrono::system_clock::duration>(
                std::chrono::duration<int64_t, std::ratio<1, 10000000>>(ticks -
                                                                        116444736000000000LL)));
    };
    wchar_t date[64] = {};
    GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, 64, nullptr);
    const std::string midnight = format.LogTimestamp(at(0, 0, 0));
    const std::string afternoon = format.LogTimestamp(at(15, 4, 5));
    Check(midnight == Utf8(date), "at midnight the stamp is the date alone: " + midnight);
    Check(afternoon.starts_with(Utf8(date) + " ") && afternoon.find("04") != std::string::npos &&
              afternoon.find("05") != std::string::npos,
          "otherwise the date and the time to the second: " + afternoon);
}

void Texts() {
    const std::string chinese = "\xE8\x93\x9D\xE8\x89\xB2";  // blue
    Check(Wide(chinese) == L"\u84DD\u8272" && Utf8(Wide(chinese)) == chinese,
          "UTF-8 and UTF-16 convert both ways");
    Check(Wide(std::string("a\xFF"
                           "b")) == L"a\uFFFDb",
          "a byte that is not UTF-8 becomes U+FFFD");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::printf("usage: window_check PICTURE_FOLDER\n");
        return 2;
    }
    BecomeDpiAware();
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                        ICC_BAR_CLASSES | ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES |
                                            ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    {
        RecordingActions actions;
        MainWindow window;
        window.Attach(actions);
        window.Show(std::nullopt);
        CallsFromAnotherThread(window);
        PageRows(window, actions);
        Shortcuts(window, actions);
        LogPastTheLimit(window);
        StatusAndTabs(window, actions);
        Picture(window, actions, Utf8(argv[1]));
        DialogChecks(window, actions, Utf8(argv[1]));
        Check(PumpUntil([&] { return Has(actions.calls, "StartUp"); }),
              "the start-up sequence is asked for once the window shows");
        Check(Has(actions.calls, "Synchronised 7"), "a synchronisation is answered in its turn");
    }
    StateKept();
    TimeStamps();
    Texts();
    CoUninitialize();
    return g_out.Summary();
}
