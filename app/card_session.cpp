#include "app/card_session.h"

#include "app/carvex_api.h"
#include "app/main_unit.h"

namespace cardwright {

CardSession::CardSession(TMainFrm& window) : window_(window) {
    opened_ = window_.CallLibrary([] { return InitCommPort(); }) != 0;
}

CardSession::~CardSession() {
    Close();
}

void CardSession::Close() {
    if (!closed_) {
        closed_ = true;
        window_.CallLibrary([] { return CloseCommPort(); });
    }
}

}  // namespace cardwright
