#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "cardwork/card/common_info.h"
#include "cardwork/model/ini_file.h"

namespace cardwright {

struct CardWorkState;

// What a window does while card work runs: it shows what changed besides the item values (those
// tell their own listener), and it tells and asks the user where a sequence stops for that. Each
// hook does nothing by default, which is what a program without a window needs.
class CardWorkView {
  public:
    virtual ~CardWorkView() = default;

    // A card of the newer generation, or none: the described tabs go.
    virtual void DescribedPagesHidden() {}
    virtual void CommonInfoShown(CommonInfoRow /*row*/) {}
    // The LED step list shows "--" in every row.
    virtual void LedStepsCleared() {}
    // The items and their controls are made anew from the description (an import without a
    // card); by default the items and their values.
    virtual void RebuildPages(CardWorkState& state, const IniFile& description);

    // A message the user confirms ("Datacard is different,please read again.").
    virtual void ShowMessage(std::string_view /*text*/) {}
    // The setting file to import, or to export to; nullopt when the user cancels.
    virtual std::optional<std::filesystem::path> AskOpenFileName() { return std::nullopt; }
    virtual std::optional<std::filesystem::path> AskSaveFileName() { return std::nullopt; }
    // An export with a card reads it again, which replaces the values shown: whether to go on.
    // A view that holds changes not yet written to the card asks; by default, yes.
    virtual bool ConfirmReread() { return true; }
    // A Write has done its card work; its outcome is reported next.
    virtual void WriteEnding() {}
};

}  // namespace cardwright
