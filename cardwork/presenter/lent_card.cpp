#include "cardwork/presenter/lent_card.h"

namespace cardwright {

bool LentCard::Open() {
    if (!asked_ && lender_) {
        asked_ = true;
        loan_ = lender_([this](const std::string& line) {
            if (line != said_last_) {
                said_last_ = line;
                say_(line);
            }
        });
    }
    return ForwardingCard::Open();
}

}  // namespace cardwright
