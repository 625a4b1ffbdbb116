#pragma once

#include <map>
#include <mutex>
#include <ostream>
#include <string>

#include "cardwork/central/forwarder.h"
#include "cardwork/station/station_listener.h"
#include "tools/carvexctl/board_writer.h"

namespace carvexctl {

// What a station shows as it goes. On a terminal, a board: a line per slot (idle; the step of
// its work; pass; fail and why; done earlier), the run's counts and cards per hour, and what the
// station last said, redrawn in place. Elsewhere each change as a line of its own. With --json,
// one JSON object per event, a line each. Calls may come from several threads; none of them waits
// for the output's reader (BoardWriter).
class StationBoard : public cardwright::StationListener {
  public:
    enum class Kind { kRedrawn, kLines, kJson };

    // `columns` cuts the board's lines, so that none wraps and moves the others.
    StationBoard(std::ostream& out, Kind kind, size_t columns = 80);

    void SlotChanged(const cardwright::SlotView& slot) override;
    void Progress(const cardwright::SlotView& slot,
                  const cardwright::WorkProgress& progress) override;
    void CardEnded(const cardwright::SlotView& slot, const cardwright::CardRecord& record,
                   const cardwright::StationCounts& counts) override;
    void Notice(const std::string& text) override;
    // How the forwarding to the central database goes: a line of its own while records wait
    // for a reason, gone once none waits.
    void Central(const cardwright::ForwarderStatus& status);
    // The station has ended with these counts.
    void Stopped(const cardwright::StationCounts& counts);

    // "2 ok, 1 failed, 0 refused, 3 done earlier; 41.5 cards per hour".
    static std::string CountsText(const cardwright::StationCounts& counts);

    // Returns once everything shown so far is written.
    void Drain() { writer_.Drain(); }

  private:
    void Changed(const cardwright::SlotView& slot,
                 BoardWriter::Line line = BoardWriter::Line::kKept);
    void Redraw();

    std::mutex mutex_;
    Kind kind_;
    size_t columns_;
    std::map<std::string, cardwright::SlotView> slots_;  // by port, in the order of their names
    std::string counts_;
    std::string notice_;
    std::string central_;
    BoardWriter writer_;  // last: it writes what is left before the rest goes
};

// "idle", "waiting", "working", "pass", "fail", "done_earlier".
std::string_view SlotStateName(cardwright::SlotState state);

}  // namespace carvexctl
