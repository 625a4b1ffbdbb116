#pragma once

#include "cardwork/card/card_access.h"
#include "cardwork/card/card_work_view.h"
#include "cardwork/card/log_sink.h"
#include "cardwork/card/progress_sink.h"

namespace cardwright {

// What a sequence object works through: one card, one log, one progress and one view of its own.
// Nothing else is shared, so objects on different cards can run at the same time.
struct CardWorkSeams {
    CardAccess& card;
    LogSink& log;
    ProgressSink& progress;
    CardWorkView& view;
};

// The card opened for part of a sequence: opened when made, closed on every way out (also after
// an open that failed), so that no sequence leaves a connection behind.
class CardSession {
  public:
    explicit CardSession(CardAccess& card) : card_(card), opened_(card.Open()) {}
    ~CardSession() { Close(); }
    CardSession(const CardSession&) = delete;
    CardSession& operator=(const CardSession&) = delete;

    bool Opened() const { return opened_; }
    // Closes now; the sequences log the close themselves.
    void Close() {
        if (!closed_) {
            closed_ = true;
            card_.Close();
        }
    }

  private:
    CardAccess& card_;
    bool opened_;
    bool closed_ = false;
};

// Whether a card can be opened now (it is closed again at once).
inline bool CardPresent(CardAccess& card) {
    return CardSession(card).Opened();
}

}  // namespace cardwright
