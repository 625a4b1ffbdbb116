#include "app_win32/window_commands.h"

#include <commctrl.h>

#include <array>

#include "app_win32/control_ids.h"
#include "app_win32/dpi.h"
#include "app_win32/wide_text.h"

namespace cardwright::win32 {

namespace {

constexpr int kBarHeight = 40;
constexpr int kButtonWidth = 73;
constexpr int kButtonHeight = 36;
constexpr int kImageSize = 16;
constexpr int kChooserWidth = 120;
constexpr int kChooserDropHeight = 200;

struct Button {
    int command;
    const wchar_t* caption;
    int image;  // in the bar's image list
    bool visible;
};

// The images, drawn for the bar: an arrow down (from the card), up (to the card), an open and a
// save symbol, a new page, a disk and a cross for the hidden buttons.
enum Image { kDown, kUp, kOpen, kSave, kNew, kDisk, kCross, kImages };

constexpr std::array<Button, 7> kButtons{{
    {kReadCommand, L"Read", kDown, true},
    {kWriteCommand, L"     Write     ", kUp, true},
    {kImportCommand, L"Import", kOpen, true},
    {kExportCommand, L"Export", kSave, true},
    {kNewCommand, L"New", kNew, false},
    {kSaveCommand, L"Save", kDisk, false},
    {kDeleteCommand, L"---------\u5220\u9664-----", kCross, false},
}};

// One image of `size` pixels, drawn in the button text's colour.
void DrawImage(HDC dc, int image, int left, int size) {
    const auto at = [&](int x, int y) { return POINT{left + x * size / 16, y * size / 16}; };
    HBRUSH brush = GetSysColorBrush(COLOR_BTNTEXT);
    const Selected selected_brush(dc, brush);
    const Selected selected_pen(dc, GetStockObject(NULL_PEN));
    switch (image) {
        case kDown: {
            const POINT shape[] = {at(6, 1),  at(10, 1), at(10, 8), at(14, 8),
                                   at(8, 15), at(2, 8),  at(6, 8)};
            Polygon(dc, shape, static_cast<int>(std::size(shape)));
            break;
        }
        case kUp: {
            const POINT shape[] = {at(6, 15), at(10, 15), at(10, 8), at(14, 8),
                                   at(8, 1),  at(2, 8),   at(6, 8)};
            Polygon(dc, shape, static_cast<int>(std::size(shape)));
            break;
        }
        case kOpen: {
            const POINT shape[] = {at(1, 3), at(6, 3), at(7, 5), at(14, 5), at(14, 14), at(1, 14)};
            Polygon(dc, shape, static_cast<int>(std::size(shape)));
            break;
        }
        case kSave:
        case kDisk: {
            const POINT shape[] = {at(1, 1), at(13, 1), at(15, 3), at(15, 15), at(1, 15)};
            Polygon(dc, shape, static_cast<int>(std::size(shape)));
            const RECT label{at(4, 2).x, at(4, 2).y, at(12, 6).x, at(12, 6).y};
            FillRect(dc, &label, GetSysColorBrush(COLOR_BTNFACE));
            break;
        }
        case kNew: {
            const POINT shape[] = {at(3, 1), at(10, 1), at(13, 4), at(13, 15), at(3, 15)};
            Polygon(dc, shape, static_cast<int>(std::size(shape)));
            break;
        }
        default: {
            const POINT one[] = {at(2, 4), at(4, 2), at(14, 12), at(12, 14)};
            const POINT other[] = {at(12, 2), at(14, 4), at(4, 14), at(2, 12)};
            Polygon(dc, one, 4);
            Polygon(dc, other, 4);
            break;
        }
    }
}

}  // namespace

HMENU MakeMainMenu() {
    HMENU bar = CreateMenu();
    HMENU edit = CreatePopupMenu();
    AppendMenuW(edit, MF_STRING, kReadCommand, L"&Read\tCtrl+R");
    AppendMenuW(edit, MF_STRING, kWriteCommand, L"&Write\tCtrl+W");
    AppendMenuW(edit, MF_STRING, kImportCommand, L"&Import...\tCtrl+O");
    AppendMenuW(edit, MF_STRING, kExportCommand, L"&Export...\tCtrl+S");
    HMENU help = CreatePopupMenu();
    AppendMenuW(help, MF_STRING, kAboutCommand, L"&About\tF1");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(edit), L"&Edit");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), L"&Help");
    return bar;
}

OwnedAccelerators MakeAccelerators() {
    std::array<ACCEL, 5> keys{{
        {FCONTROL | FVIRTKEY, 'R', kReadCommand},
        {FCONTROL | FVIRTKEY, 'W', kWriteCommand},
        {FCONTROL | FVIRTKEY, 'O', kImportCommand},
        {FCONTROL | FVIRTKEY, 'S', kExportCommand},
        {FVIRTKEY, VK_F1, kAboutCommand},
    }};
    return OwnedAccelerators(CreateAcceleratorTableW(keys.data(), static_cast<int>(keys.size())));
}

void EnableMenuCommands(HMENU menu, bool enabled) {
    const UINT state = MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED);
    for (int command :
         {kReadCommand, kWriteCommand, kImportCommand, kExportCommand, kAboutCommand}) {
        EnableMenuItem(menu, static_cast<UINT>(command), state);
    }
}

ToolBar::ToolBar(HWND parent, int id, int chooser_id, HFONT font, UINT dpi)
    : bar_(CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                           WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_NORESIZE |
                               CCS_NODIVIDER | CCS_NOPARENTALIGN,
                           0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           GetModuleHandleW(nullptr), nullptr)),
      chooser_(CreateWindowExW(0, WC_COMBOBOXW, L"",
                               WS_CHILD | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST, 0, 0, 0, 0,
                               bar_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(chooser_id)),
                               GetModuleHandleW(nullptr), nullptr)) {
    SendMessageW(bar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageW(bar_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    SendMessageW(chooser_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    // Until the first load of the list: "data card".
    SendMessageW(chooser_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"\u6570\u636E\u5361"));
    SendMessageW(chooser_, CB_SETCURSEL, 0, 0);
    LoadImages(dpi);
    std::array<TBBUTTON, kButtons.size()> buttons{};
    for (size_t at = 0; at < kButtons.size(); ++at) {
        buttons[at].iBitmap = kButtons[at].image;
        buttons[at].idCommand = kButtons[at].command;
        buttons[at].fsState =
            static_cast<BYTE>(TBSTATE_ENABLED | (kButtons[at].visible ? 0 : TBSTATE_HIDDEN));
        buttons[at].fsStyle = BTNS_BUTTON;
        buttons[at].iString = reinterpret_cast<INT_PTR>(kButtons[at].caption);
    }
    SendMessageW(bar_, TB_ADDBUTTONSW, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
    Rescale(dpi);
}

void ToolBar::LoadImages(UINT dpi) {
    const int size = Scaled(kImageSize, dpi);
    images_.Reset(ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, kImages, 0));
    HDC screen = GetDC(nullptr);
    const OwnedMemoryDc dc(CreateCompatibleDC(screen));
    const OwnedBitmap strip(CreateCompatibleBitmap(screen, size * kImages, size));
    ReleaseDC(nullptr, screen);
    {
        const Selected selected(dc.Get(), strip.Get());
        // Magenta is the mask: what is left of it is transparent.
        const RECT all{0, 0, size * kImages, size};
        HBRUSH mask = CreateSolidBrush(RGB(255, 0, 255));
        FillRect(dc.Get(), &all, mask);
        DeleteObject(mask);
        for (int image = 0; image < kImages; ++image) {
            DrawImage(dc.Get(), image, image * size, size);
        }
    }
    ImageList_AddMasked(images_.Get(), strip.Get(), RGB(255, 0, 255));
    SendMessageW(bar_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images_.Get()));
}

void ToolBar::Rescale(UINT dpi) {
    LoadImages(dpi);
    const int size = Scaled(kImageSize, dpi);
    SendMessageW(bar_, TB_SETBITMAPSIZE, 0, MAKELPARAM(size, size));
    SendMessageW(bar_, TB_SETBUTTONSIZE, 0,
                 MAKELPARAM(Scaled(kButtonWidth, dpi), Scaled(kButtonHeight, dpi)));
    SendMessageW(bar_, TB_SETBUTTONWIDTH, 0,
                 MAKELPARAM(Scaled(kButtonWidth, dpi), Scaled(kButtonWidth, dpi)));
    SendMessageW(bar_, TB_AUTOSIZE, 0, 0);
    RECT last{};
    SendMessageW(bar_, TB_GETITEMRECT, kButtons.size() - 1, reinterpret_cast<LPARAM>(&last));
    MoveWindow(chooser_, last.right, Scaled(8, dpi), Scaled(kChooserWidth, dpi),
               Scaled(kChooserDropHeight, dpi), TRUE);
}

int ToolBar::Height(UINT dpi) const {
    return Scaled(kBarHeight, dpi);
}

void ToolBar::Enable(bool enabled) {
    for (const Button& button : kButtons) {
        SendMessageW(bar_, TB_ENABLEBUTTON, button.command, MAKELPARAM(enabled ? TRUE : FALSE, 0));
    }
    EnableWindow(chooser_, enabled ? TRUE : FALSE);
}

void ToolBar::ShowSolutions(const std::vector<std::string>& names, int selected) {
    SendMessageW(chooser_, CB_RESETCONTENT, 0, 0);
    for (const std::string& name : names) {
        const std::wstring wide = Wide(name);
        SendMessageW(chooser_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    }
    SelectSolution(selected);
}

void ToolBar::SelectSolution(int index) {
    SendMessageW(chooser_, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int ToolBar::SelectedSolution() const {
    return static_cast<int>(SendMessageW(chooser_, CB_GETCURSEL, 0, 0));
}

}  // namespace cardwright::win32
