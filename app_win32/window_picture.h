#pragma once

#include <windows.h>

#include <string>

namespace cardwright::win32 {

// Saves a picture of the window, frame and all, as it shows on the screen, into a PNG file
// through Windows' imaging component. No window manager is needed where Windows (or Wine) draws
// the frame itself. False when the picture could not be taken or saved.
bool SaveWindowPicture(HWND window, const std::wstring& file);

}  // namespace cardwright::win32
