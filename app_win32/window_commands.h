#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "app_win32/owned.h"

namespace cardwright::win32 {

// The main menu (MainMenu1): "Edit" with Read, Write, Import... and Export..., "Help" with
// About; access keys and their shortcuts (Ctrl+R, Ctrl+W, Ctrl+O, Ctrl+S, F1).
HMENU MakeMainMenu();
OwnedAccelerators MakeAccelerators();
// The menus' entries, enabled or not.
void EnableMenuCommands(HMENU menu, bool enabled);

// ToolBar1: the flat buttons with captions under their images, Read, Write, Import and Export,
// and the hidden solution controls (New, Save, the delete button and the solution chooser).
class ToolBar {
  public:
    ToolBar(HWND parent, int id, int chooser_id, HFONT font, UINT dpi);
    ToolBar(const ToolBar&) = delete;
    ToolBar& operator=(const ToolBar&) = delete;

    HWND Handle() const { return bar_; }
    // ComboBox1.
    HWND SolutionChooser() const { return chooser_; }
    void Enable(bool enabled);
    void Rescale(UINT dpi);
    int Height(UINT dpi) const;

    void ShowSolutions(const std::vector<std::string>& names, int selected);
    void SelectSolution(int index);
    int SelectedSolution() const;

  private:
    void LoadImages(UINT dpi);

    HWND bar_;
    HWND chooser_;
    OwnedImageList images_;
};

}  // namespace cardwright::win32
