#pragma once

#include <functional>
#include <memory>
#include <string>

#include "cardwork/card/forwarding_card.h"

namespace cardwright {

// Asks whoever else may use the card (ModemManager, on Linux) to let go of it, and gives it back
// when the returned object goes; `say` gets the line the log should show about it.
using CardLender =
    std::function<std::shared_ptr<const void>(const std::function<void(const std::string&)>& say)>;

// The card a command works, borrowed at the command's first Open and given back when the command
// is over (GiveBack): the closes and reopens in between, the restart and the wait for the card
// included, keep it borrowed, so that nothing else takes its modem port meanwhile. Lines about
// borrowing go to `say`, each only when it differs from the one said last: a PC without
// ModemManager is said once, not at every command.
class LentCard : public ForwardingCard {
  public:
    LentCard(CardAccess& card, CardLender lender, std::function<void(const std::string&)> say)
        : ForwardingCard(card), lender_(std::move(lender)), say_(std::move(say)) {}

    bool Open() override;
    void GiveBack() {
        loan_.reset();
        asked_ = false;
    }

  private:
    CardLender lender_;
    std::function<void(const std::string&)> say_;
    std::string said_last_;
    std::shared_ptr<const void> loan_;
    bool asked_ = false;  // once per command, though the card is opened again and again
};

}  // namespace cardwright
