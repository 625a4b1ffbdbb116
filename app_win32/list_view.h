#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace cardwright::win32 {

// A report-style list view with whole-row selection, as every list of the window is.
class ListView {
  public:
    struct Column {
        std::string caption;
        int width = 0;  // at 96 DPI
    };

    ListView(HWND parent, int id, const std::vector<Column>& columns, DWORD style, UINT dpi);

    HWND Handle() const { return list_; }
    int Rows() const;
    void SetRows(const std::vector<std::vector<std::string>>& rows);
    void SetText(int row, int column, const std::string& text);
    std::string Text(int row, int column) const;
    // The first selected row, -1: none.
    int FirstSelected() const;
    void Select(int row);
    void Rescale(UINT dpi);

  private:
    HWND list_;
    std::vector<Column> columns_;
};

}  // namespace cardwright::win32
