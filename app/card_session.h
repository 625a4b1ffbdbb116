#pragma once

namespace cardwright {

class TMainFrm;

// The card opened for one command: InitCommPort when made, CloseCommPort on every way out
// (also after an open that failed), so no command leaves a connection behind.
class CardSession {
  public:
    explicit CardSession(TMainFrm& window);
    ~CardSession();
    CardSession(const CardSession&) = delete;
    CardSession& operator=(const CardSession&) = delete;

    bool Opened() const { return opened_; }
    // Closes now; the commands log the close themselves.
    void Close();

  private:
    TMainFrm& window_;
    bool opened_ = false;
    bool closed_ = false;
};

}  // namespace cardwright
