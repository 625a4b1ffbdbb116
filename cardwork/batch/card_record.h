#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cardwork/card/progress_sink.h"
#include "cardwork/card/work_result.h"
#include "cardwork/model/item_value.h"
#include "cardwork/model/nv_compose.h"

namespace cardwright {

// What a run is, the same for every card it works: who runs it, where, and what it writes.
struct RunFacts {
    std::string tool_version;  // "carvexctl 1.1"
    std::string station;       // the machine or line position; empty when not told
    std::string operator_name;
    std::string work_order;
    // The file written onto the cards as it was named (a setting file; for a restore, the
    // snapshot), its seal as its [CRC] section holds it (empty for a snapshot) and the SHA-256 of
    // its bytes as they were checked; the description's SHA-256 (empty without one).
    std::string settings_file;
    std::string settings_crc;
    std::string settings_sha256;
    std::string description_sha256;
};

// One NV item the work sends: what the card held before (nullopt: it did not hold it) and what
// it was (or, in a dry run, would be) given. `captions` are the DISPLAY texts of the items of the
// description that the NV item holds.
struct ItemChange {
    int32_t item = 0;
    std::vector<std::string> captions;
    std::optional<NvData> before;
    NvData after{};

    bool Differs() const { return !before || *before != after; }
};

// The port setting the work sends, and the card's before it (nullopt: it gave none).
struct PortSettingChange {
    std::optional<DeviceState> before;
    DeviceState after{};

    bool Differs() const;
};

// One attempt at one card: everything a record of it needs, filled in as the work goes on.
struct CardRecord {
    std::string uuid;  // made when the attempt begins
    RunFacts run;
    std::string port;  // "COM12"
    // As the card told them, printable; empty where the card could not be asked.
    std::string imei;
    std::string firmware;
    std::string card_type;  // the model the card names (AT+CGMM), which the file must be for
    std::chrono::system_clock::time_point started{};
    std::chrono::system_clock::time_point ended{};
    double seconds = 0;
    WorkResult result;
    // The items the file left to their defaults (DISPLAY texts); nullopt when the card did not
    // get as far as the write.
    std::optional<std::vector<std::string>> left_to_defaults;
    size_t nv_written = 0;
    // The NV items whose bytes read back otherwise than written, and "port setting".
    std::vector<std::string> mismatches;
    uint64_t retries = 0;  // NV requests the library asked again
    std::string snapshot;  // the snapshot taken before the first write; empty when none
    std::string log;       // the card's log file
    std::vector<ItemChange> items;
    std::optional<PortSettingChange> port_setting;
};

// The mismatches as a summary's one field gives them, a space between two: "60005 port setting".
std::string MismatchesText(const CardRecord& card);

// Where the records of card attempts go (a database of a station): told when an attempt begins
// (its UUID, port and start are known) and when it has ended, with the whole record. Called on
// the card's own thread; cards run at the same time.
class RecordSink {
  public:
    virtual ~RecordSink() = default;
    virtual void Begin(const CardRecord& record) = 0;
    virtual void Complete(const CardRecord& record) = 0;
};

// What the work on one card tells and asks as it goes: a progress board, a web page, a station's
// hooks. Called on the card's own thread; each does nothing by default.
class CardObserver {
  public:
    virtual ~CardObserver() = default;

    virtual void Begun(const CardRecord& /*record*/) {}
    // The step the card is at ("Writing 3 of 20: Band").
    virtual void Progress(const CardRecord& /*record*/, const WorkProgress& /*progress*/) {}
    // The card has told who it is and the file suits it; nothing is planned or saved yet. A
    // result ends the card's work there with it; nullopt lets it go on.
    virtual std::optional<WorkResult> Admit(const CardRecord& /*record*/) { return std::nullopt; }
    // The snapshot an earlier attempt at this card took before it wrote to it: the card no longer
    // holds what that one found, so it is kept and no new one is taken. Empty: a new one.
    virtual std::string EarlierSnapshot(const CardRecord& /*record*/) { return {}; }
    // Once the snapshot is saved, before the first write: a result ends the card's work there
    // with it (the card is not written); nullopt lets it go on.
    virtual std::optional<WorkResult> BeforeWrite(const CardRecord& /*record*/) {
        return std::nullopt;
    }
    // The record is complete (and given to the record sink).
    virtual void Ended(const CardRecord& /*record*/) {}
};

// A new random (version 4) UUID in its usual form, "3f2b9c1e-8d4a-4b6f-9e21-0c5d7a8b9f10".
std::string NewUuid();

}  // namespace cardwright
