#pragma once

#include "cardwork/card/forwarding_card.h"

namespace cardwright {

// The card kept open from its first successful Open until Release: the closes and reopens of the
// sequences in between leave the port as it is. No other program can take the card between the
// steps of one command (the Read, the identity checks, the Write), and no step pays for another
// switch to DIAG. The card is asked the same things as with a close between the steps.
class HeldCard : public ForwardingCard {
  public:
    using ForwardingCard::ForwardingCard;
    ~HeldCard() override { Release(); }
    HeldCard(const HeldCard&) = delete;
    HeldCard& operator=(const HeldCard&) = delete;

    bool Open() override {
        if (!open_) {
            open_ = Inner().Open();
            if (!open_) {
                Inner().Close();  // as after any failed open: nothing is left behind
            }
        }
        return open_;
    }
    void Close() override {}

    // Closes the card now; the next Open opens it again.
    void Release() {
        if (open_) {
            open_ = false;
            Inner().Close();
        }
    }

  private:
    bool open_ = false;
};

}  // namespace cardwright
