#pragma once

namespace cardwright::win32 {

// The main window's commands and controls. Menu entries, tool buttons and accelerators share a
// command's id.
enum ControlId : int {
    kReadCommand = 100,
    kWriteCommand,
    kImportCommand,
    kExportCommand,
    kNewCommand,
    kSaveCommand,
    kDeleteCommand,
    kAboutCommand,
    kLedModifyCommand,
    kLedDeleteCommand,
    kLedDeleteAllCommand,
    kToolBar = 200,
    kSolutionChooser,
    kPageControl,
    kLog,
    kSplitter,
    kStatusBar,
    kCommonInfoList,
    kStatusList,
    kStepList,
    // An item's check box is kFirstItemControl + 2 * item, its value box the next id.
    kFirstItemControl = 1000,
};

// The highest item that still gets ids of its own: a control id is 16 bits in WM_COMMAND.
inline constexpr int kLastItemWithIds = (0xFFFF - kFirstItemControl) / 2 - 1;

}  // namespace cardwright::win32
