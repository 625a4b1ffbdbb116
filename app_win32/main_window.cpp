#include "app_win32/main_window.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>

#include "app_win32/control_ids.h"
#include "app_win32/dpi.h"
#include "app_win32/wide_text.h"
#include "app_win32/window_class.h"

namespace cardwright::win32 {

namespace {

constexpr const wchar_t* kWindowClass = L"CardwrightMainWindow";
// The presenter's calls are waiting in the queue.
constexpr UINT kCallsWaiting = WM_APP + 1;
constexpr UINT_PTR kStartUpTimer = 1;
constexpr UINT kStartUpDelayMs = 500;
constexpr DWORD kFrameStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
// The window, frame included, and its fixed parts, at 96 DPI.
constexpr SIZE kWindowSize{635, 458};
constexpr int kLogHeight = 94;
constexpr int kSplitterHeight = 5;
// What the splitter leaves at least to the pages and to the log.
constexpr int kSmallestPages = 80;
constexpr int kSmallestLog = 20;
constexpr int kDescColumn = 150;
constexpr int kValueColumn = 300;

OwnedFont MessageFont(UINT dpi) {
    const LOGFONTW font = MessageLogFont(dpi);
    return OwnedFont(CreateFontIndirectW(&font));
}

}  // namespace

HWND MainWindow::CreateFrame(MainWindow* self) {
    static const ATOM registered =
        RegisterWindowClass(kWindowClass, &MainWindow::Procedure, COLOR_BTNFACE, IDC_ARROW,
                            LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1)));
    (void)registered;
    return CreateWindowExW(0, kWindowClass, L"Cardwright", kFrameStyle, CW_USEDEFAULT,
                           CW_USEDEFAULT, kWindowSize.cx, kWindowSize.cy, nullptr, MakeMainMenu(),
                           GetModuleHandleW(nullptr), self);
}

MainWindow::MainWindow()
    : window_(CreateFrame(this)),
      calls_([this] { PostMessageW(window_, kCallsWaiting, 0, 0); }),
      dpi_(DpiOf(window_)),
      font_(MessageFont(dpi_)),
      accelerators_(MakeAccelerators()),
      tool_bar_(std::make_unique<ToolBar>(window_, kToolBar, kSolutionChooser, font_.Get(), dpi_)),
      pages_(window_, kPageControl, font_.Get()),
      common_info_(pages_.Page(Tab::kCommonInfo), kCommonInfoList,
                   {{"Desc", kDescColumn}, {"Value", kValueColumn}},
                   LVS_SINGLESEL | LVS_NOSORTHEADER, dpi_),
      rows_(pages_, window_),
      log_(window_, kLog, font_.Get()),
      splitter_(window_, kSplitter, [this](int top) { MoveSplitter(top); }),
      status_(window_, kStatusBar),
      log_height_(kLogHeight) {
    led_ = std::make_unique<LedLists>(pages_.Page(Tab::kLed), font_.Get(), dpi_);
    SendMessageW(status_.Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), FALSE);
    SendMessageW(common_info_.Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), FALSE);
    ListView_SetExtendedListViewStyle(
        common_info_.Handle(), LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER);
    std::vector<std::vector<std::string>> info;
    for (std::string_view caption : kCommonInfoCaptions) {
        info.push_back({std::string(caption), std::string(kNoCommonInfo)});
    }
    common_info_.SetRows(info);
    // The list appears with the start-up sequence.
    ShowWindow(common_info_.Handle(), SW_HIDE);
    ready_ = true;
}

MainWindow::~MainWindow() {
    calls_.Close();
    if (IsWindow(window_) != FALSE) {
        DestroyWindow(window_);
    }
}

void MainWindow::Attach(UserActions& presenter) {
    presenter_ = &presenter;
}

void MainWindow::Show(const std::optional<WindowState>& state) {
    const SIZE first{Scaled(kWindowSize.cx, dpi_), Scaled(kWindowSize.cy, dpi_)};
    int show = SW_SHOWNORMAL;
    if (state && state->width > 0 && state->height > 0) {
        const SIZE outer =
            WindowSizeForClient({state->width, state->height}, kFrameStyle, 0, true, dpi_);
        RECT rect{state->x, state->y, 0, 0};
        rect.right = rect.left + outer.cx;
        rect.bottom = rect.top + outer.cy;
        // A place on a monitor that is no longer there is not taken.
        if (MonitorFromRect(&rect, MONITOR_DEFAULTTONULL) != nullptr) {
            SetWindowPos(window_, nullptr, rect.left, rect.top, outer.cx, outer.cy,
                         SWP_NOZORDER | SWP_NOACTIVATE);
        } else {
            SetWindowPos(window_, nullptr, 0, 0, outer.cx, outer.cy,
                         SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
        }
        if (state->log_height > 0) {
            log_height_ =
                MulDiv(state->log_height, static_cast<int>(kBaseDpi), static_cast<int>(dpi_));
        }
        show = state->maximized ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
    } else {
        SetWindowPos(window_, nullptr, 0, 0, first.cx, first.cy,
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
    }
    Layout();
    ShowWindow(window_, show);
    UpdateWindow(window_);
    // FormShow: "Common Info" in front.
    pages_.Select(Tab::kCommonInfo);
    SetTimer(window_, kStartUpTimer, kStartUpDelayMs, nullptr);
}

WindowState MainWindow::State() const {
    WindowState state;
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    GetWindowPlacement(window_, &placement);
    const RECT outer = placement.rcNormalPosition;
    const SIZE frame_size = WindowSizeForClient({0, 0}, kFrameStyle, 0, true, dpi_);
    state.width = outer.right - outer.left - frame_size.cx;
    state.height = outer.bottom - outer.top - frame_size.cy;
    state.x = outer.left;
    state.y = outer.top;
    state.maximized = placement.showCmd == SW_SHOWMAXIMIZED || IsZoomed(window_) != FALSE;
    state.log_height = Scaled(log_height_, dpi_);
    return state;
}

int MainWindow::Run() {
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (IsWindow(window_) != FALSE) {
            if (TranslateAcceleratorW(window_, accelerators_.Get(), &message) != 0) {
                continue;
            }
            // Tab and the arrow keys move between the controls of the page in front.
            if (IsDialogMessageW(window_, &message) != FALSE) {
                continue;
            }
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return message.message == WM_QUIT ? static_cast<int>(message.wParam) : exit_status_;
}

LRESULT CALLBACK MainWindow::Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(l);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr || !self->ready_ || self->window_ != window) {
        return DefWindowProcW(window, message, w, l);
    }
    return self->Handle(message, w, l);
}

LRESULT MainWindow::Handle(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
        case kCallsWaiting:
            calls_.RunWaiting();
            return 0;
        case WM_TIMER:
            // Timer1: the start-up sequence, tried again at the next tick while a command runs.
            if (w == kStartUpTimer && presenter_ != nullptr && presenter_->StartUp()) {
                KillTimer(window_, kStartUpTimer);
                started_ = true;
            }
            return 0;
        case WM_SIZE:
            Layout();
            return 0;
        case WM_GETMINMAXINFO: {
            auto* limits = reinterpret_cast<MINMAXINFO*>(l);
            limits->ptMinTrackSize = {Scaled(300, dpi_), Scaled(250, dpi_)};
            return 0;
        }
        case WM_COMMAND:
            Command(LOWORD(w), HIWORD(w), reinterpret_cast<HWND>(l));
            return 0;
        case WM_NOTIFY:
            return Notify(*reinterpret_cast<const NMHDR*>(l));
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            // The pages and the log are drawn on the window colour, as the tab's body is.
            SetBkColor(reinterpret_cast<HDC>(w), GetSysColor(COLOR_WINDOW));
            SetTextColor(reinterpret_cast<HDC>(w), GetSysColor(COLOR_WINDOWTEXT));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
        case WM_DPICHANGED:
            Rescale(HIWORD(w), l);
            return 0;
        case WM_CLOSE:
            Close();
            return 0;
        case WM_DESTROY:
            calls_.Close();
            KillTimer(window_, kStartUpTimer);
            PostQuitMessage(exit_status_);
            return 0;
        default:
            return DefWindowProcW(window_, message, w, l);
    }
}

void MainWindow::Layout() {
    RECT client{};
    GetClientRect(window_, &client);
    const int width = client.right;
    const int bar = tool_bar_->Height(dpi_);
    MoveWindow(tool_bar_->Handle(), 0, 0, width, bar, TRUE);
    status_.Layout(dpi_);
    const int status_top = client.bottom - status_.Height();
    const int splitter = Scaled(kSplitterHeight, dpi_);
    const int room = std::max(0, status_top - bar - splitter);
    const int log =
        std::clamp(Scaled(log_height_, dpi_), std::min(room, Scaled(kSmallestLog, dpi_)),
                   std::max(0, room - Scaled(kSmallestPages, dpi_)));
    const int log_top = status_top - log;
    MoveWindow(log_.Handle(), 0, log_top, width, log, TRUE);
    MoveWindow(splitter_.Handle(), 0, log_top - splitter, width, splitter, TRUE);
    pages_.Layout({0, bar, width, log_top - splitter});
    RECT page{};
    GetClientRect(pages_.Page(Tab::kCommonInfo), &page);
    MoveWindow(common_info_.Handle(), 0, 0, page.right, page.bottom, TRUE);
    led_->Layout(dpi_);
}

void MainWindow::MoveSplitter(int top) {
    RECT client{};
    GetClientRect(window_, &client);
    const int log = client.bottom - status_.Height() - top - Scaled(kSplitterHeight, dpi_);
    log_height_ =
        std::max(kSmallestLog, MulDiv(log, static_cast<int>(kBaseDpi), static_cast<int>(dpi_)));
    Layout();
}

void MainWindow::Command(int id, int code, HWND control) {
    if (presenter_ == nullptr) {
        return;
    }
    if (const auto edit = rows_.Command(control, code)) {
        presenter_->ItemEdited(edit->item, edit->state.text, edit->state.entry, edit->state.ticked);
        return;
    }
    if (id == kSolutionChooser) {
        if (code == CBN_SELCHANGE) {
            presenter_->ChooseSolution(tool_bar_->SelectedSolution());
        }
        return;
    }
    // A shortcut while the commands are disabled does what the disabled button would.
    if (!commands_enabled_ && control == nullptr) {
        return;
    }
    switch (id) {
        case kReadCommand:
            presenter_->Read();
            break;
        case kWriteCommand:
            presenter_->Write();
            break;
        case kImportCommand:
            presenter_->Import();
            break;
        case kExportCommand:
            presenter_->Export();
            break;
        case kNewCommand:
            presenter_->NewSolution();
            break;
        case kDeleteCommand:
            presenter_->DeleteSolution();
            break;
        case kAboutCommand:
            presenter_->About();
            break;
        default:
            if (const auto request = led_->Command(id)) {
                LedRequest(*request);
            }
            break;
    }
}

LRESULT MainWindow::Notify(const NMHDR& header) {
    if (header.hwndFrom == pages_.TabControl() && header.code == TCN_SELCHANGE) {
        if (const auto tab = pages_.FollowSelection(); tab && presenter_ != nullptr) {
            presenter_->TabShown(*tab);
        }
        return 0;
    }
    if (const auto request = led_->Notify(header)) {
        LedRequest(*request);
    }
    return 0;
}

void MainWindow::LedRequest(const LedLists::Request& request) {
    if (presenter_ == nullptr) {
        return;
    }
    switch (request.kind) {
        case LedLists::Request::Kind::kSelectStatus:
            presenter_->SelectLedStatus(request.number);
            break;
        case LedLists::Request::Kind::kModify:
            presenter_->ModifyLedStep(request.number);
            break;
        case LedLists::Request::Kind::kDelete:
            presenter_->DeleteLedStep(request.number);
            break;
        case LedLists::Request::Kind::kDeleteAll:
            presenter_->DeleteAllLedSteps();
            break;
    }
}

// The user closes the window: at once, or at the end of the command under way.
void MainWindow::Close() {
    if (presenter_ != nullptr && !presenter_->Close()) {
        return;
    }
    CloseWindow();
}

void MainWindow::Rescale(UINT dpi, LPARAM suggested) {
    dpi_ = dpi;
    OwnedFont font = MessageFont(dpi_);
    for (HWND control : {tool_bar_->Handle(), tool_bar_->SolutionChooser(), pages_.TabControl(),
                         common_info_.Handle(), log_.Handle(), status_.Handle(),
                         led_->Statuses().Handle(), led_->Steps().Handle()}) {
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()), TRUE);
    }
    font_ = std::move(font);
    tool_bar_->Rescale(dpi_);
    common_info_.Rescale(dpi_);
    rows_.Rescale(dpi_);
    TakeSuggestedRect(window_, suggested);
    Layout();
}

}  // namespace cardwright::win32
