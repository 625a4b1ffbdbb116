#pragma once

#include <QObject>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cardwork/model/config_item.h"
#include "cardwork/presenter/window_view.h"

class QComboBox;
class QWidget;

namespace cardwright {

class ItemCheckBox;

// The boxes of the configuration items on the window's pages: made from the presenter's rows,
// laid out for the height the page control had when a page's first row came, and every change
// the user makes reported (the check box ticked also enables the value box).
class ItemRows {
  public:
    using Edited =
        std::function<void(size_t item, const std::string& text, int entry, bool ticked)>;

    explicit ItemRows(Edited edited) : edited_(std::move(edited)) {}

    void Add(QWidget& page, const PageRow& row, int page_height);
    void Remove(size_t item);
    void Show(size_t item, const ItemState& state);
    void Hide(size_t item);

  private:
    struct Boxes {
        ItemCheckBox* label = nullptr;
        QComboBox* value = nullptr;
        QWidget* page = nullptr;
    };
    void Report(size_t item) const;

    Edited edited_;
    std::map<size_t, Boxes> boxes_;
    std::map<QWidget*, ItemLayout> layouts_;  // the pages that hold rows
    std::map<QWidget*, int> rows_on_page_;
    bool showing_ = false;  // a change the presenter made, not the user
};

}  // namespace cardwright
