#pragma once

#include <algorithm>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cardsim/diag_responder.h"
#include "cardwork/card/card_work_seams.h"
#include "cardwork/card/card_work_state.h"
#include "cardwork/card/connection_card.h"
#include "carvex/connection/request_status.h"
#include "carvex/platform/clock.h"
#include "tests/support/card_fixture.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_data.h"

namespace testsupport {

// The lines logged, without time stamps.
class RecordedLog : public cardwright::LogSink {
  public:
    void AddLog(std::string_view message) override { lines.emplace_back(message); }
    std::vector<std::string> lines;
};

// A view that keeps what it was told and answers the file questions with the test's files.
class RecordedView : public cardwright::CardWorkView {
  public:
    void DescribedPagesHidden() override { ++pages_hidden; }
    void RebuildPages(cardwright::CardWorkState& state,
                      const cardwright::IniFile& description) override {
        ++rebuilds;
        CardWorkView::RebuildPages(state, description);
    }
    void ShowMessage(std::string_view text) override { messages.emplace_back(text); }
    std::optional<std::filesystem::path> AskOpenFileName() override {
        ++files_asked;
        return open_file;
    }
    std::optional<std::filesystem::path> AskSaveFileName() override {
        ++files_asked;
        return save_file;
    }

    std::vector<std::string> messages;
    std::optional<std::filesystem::path> open_file;  // nullopt: the dialog is cancelled
    std::optional<std::filesystem::path> save_file;
    int files_asked = 0;
    int pages_hidden = 0;
    int rebuilds = 0;
};

// A card in memory: the simulated card's own state and its answers to NV requests (no port, no
// thread of its own), for the work that needs a card's behaviour but not its link. It notes each
// call made of it; `on_call` runs before each one (on the caller's thread), so that a test can
// hold a call, or pull the card out, at a chosen moment.
class MemoryCard : public cardwright::CardAccess {
  public:
    explicit MemoryCard(std::optional<cardsim::CardProfile> profile) { Plug(std::move(profile)); }

    // Another card in place of the first (none: pulled out).
    void Plug(std::optional<cardsim::CardProfile> profile) {
        std::lock_guard lock(mutex_);
        card_.reset();
        if (profile) {
            card_.emplace(*profile);
        }
        gone_ = false;
    }
    // The card goes away while it is open: the calls after this one fail, and Gone says so.
    void Vanish() {
        std::lock_guard lock(mutex_);
        gone_ = true;
    }
    // The NV status the card answers writes with from now on (nullopt: its own).
    void FailWrites(std::optional<uint16_t> nv_status) {
        std::lock_guard lock(mutex_);
        write_status_ = nv_status;
    }

    std::function<void(const std::string& call)> on_call;

    // Every call made, in order: "Open", "ReadNv 60000", "WriteNv 50012", "WritePortSetting",
    // "Backup", "Restart", ...
    std::vector<std::string> Calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    size_t Count(const std::string& call) const {
        const auto calls = Calls();
        return static_cast<size_t>(std::count(calls.begin(), calls.end(), call));
    }
    void ClearCalls() {
        std::lock_guard lock(mutex_);
        calls_.clear();
    }
    std::vector<uint8_t> Nv(uint16_t item, size_t count) const {
        std::lock_guard lock(mutex_);
        const auto found = card_->nv.find(item);
        return found == card_->nv.end()
                   ? std::vector<uint8_t>{}
                   : std::vector<uint8_t>(found->second.begin(), found->second.begin() + count);
    }
    std::pair<uint8_t, uint8_t> PortSetting() const {
        std::lock_guard lock(mutex_);
        return {card_->port_state, card_->port_mask};
    }

    bool Open() override {
        if (!Enter("Open") || !card_) {
            trouble_ = "no card found";
            return false;
        }
        trouble_.clear();
        return true;
    }
    void Close() override { Enter("Close"); }
    bool NewVersionMark(int32_t& status) override {
        if (!Enter("NewVersionMark")) {
            status = CARVEX_STATUS_NO_REPLY;
            return false;
        }
        return card_->profile.new_version_mark == 0x68;
    }
    std::optional<std::string> BoardType() override {
        if (!Enter("BoardType") || card_->profile.model.empty()) {
            return std::nullopt;
        }
        return card_->profile.model;
    }
    bool ReadImei(std::span<uint8_t> bytes, int32_t& status) override {
        cardwright::NvData data{};
        if (!Nv(cardsim::Command::kNvRead, "ReadImei", 550, data, status)) {
            return false;
        }
        std::copy_n(data.begin(), std::min(bytes.size(), data.size()), bytes.begin());
        return true;
    }
    std::optional<std::string> FirmwareVersion(int32_t& status) override {
        return Text("FirmwareVersion", card_ ? card_->profile.firmware : "", status);
    }
    std::optional<std::string> PcbVersion(int32_t& status) override {
        return Text("PcbVersion", card_ ? card_->profile.pcb : "", status);
    }
    std::optional<std::string> DashboardVersion(int32_t& status) override {
        return Text("DashboardVersion", card_ ? card_->profile.dashboard : "", status);
    }
    bool ReadNv(int32_t item, cardwright::NvData& data, int32_t& status) override {
        return Nv(cardsim::Command::kNvRead, "ReadNv", item, data, status);
    }
    bool WriteNv(int32_t item, const cardwright::NvData& data) override {
        cardwright::NvData sent = data;
        int32_t status = 0;
        return Nv(cardsim::Command::kNvWrite, "WriteNv", item, sent, status);
    }
    bool ReadPortSetting(cardwright::DeviceState& setting, int32_t& status) override {
        if (!Enter("ReadPortSetting")) {
            status = CARVEX_STATUS_NO_REPLY;
            return false;
        }
        std::lock_guard lock(mutex_);
        setting = {card_->port_state, card_->port_mask};
        return true;
    }
    bool WritePortSetting(const cardwright::DeviceState& setting, int32_t& status) override {
        if (!Enter("WritePortSetting")) {
            status = CARVEX_STATUS_NO_REPLY;
            return false;
        }
        std::lock_guard lock(mutex_);
        card_->port_state = static_cast<uint8_t>(setting.state);
        card_->port_mask = static_cast<uint8_t>(setting.mask);
        return true;
    }
    bool Backup(int32_t& status) override {
        status = CARVEX_STATUS_NO_REPLY;
        return Enter("Backup");
    }
    bool Restart() override { return Enter("Restart"); }
    bool Gone() override {
        std::lock_guard lock(mutex_);
        if (gone_) {
            trouble_ = "COM12 is gone";
        }
        return gone_;
    }
    std::string Trouble() override {
        std::lock_guard lock(mutex_);
        return trouble_;
    }
    std::string PortName() override { return card_ ? "COM12" : ""; }

  private:
    // Notes the call; false when there is no card to answer it.
    bool Enter(const std::string& call) {
        if (on_call) {
            on_call(call);
        }
        std::lock_guard lock(mutex_);
        calls_.push_back(call);
        return card_.has_value() && !gone_;
    }
    std::optional<std::string> Text(const std::string& call, const std::string& text,
                                    int32_t& status) {
        if (!Enter(call) || text.empty()) {
            status = CARVEX_STATUS_NO_REPLY;
            return std::nullopt;
        }
        return text;
    }
    // An NV request as the card answers it: the item's 128 bytes, and its NV status.
    bool Nv(cardsim::Command command, const std::string& call, int32_t item,
            cardwright::NvData& data, int32_t& status) {
        if (!Enter(call + " " + std::to_string(item))) {
            status = CARVEX_STATUS_NO_REPLY;
            return false;
        }
        std::vector<uint8_t> request(133, 0);
        request[0] = command == cardsim::Command::kNvRead ? 0x26 : 0x27;
        request[1] = static_cast<uint8_t>(item & 0xFF);
        request[2] = static_cast<uint8_t>(item >> 8);
        std::copy(data.begin(), data.end(), request.begin() + 3);
        std::lock_guard lock(mutex_);
        cardsim::Overrides overrides;
        if (command == cardsim::Command::kNvWrite) {
            overrides.nv_status = write_status_;
        }
        const cardsim::DiagAnswer answer = cardsim::AnswerDiag(request, *card_, overrides);
        const uint16_t nv_status =
            static_cast<uint16_t>(answer.reply[131] | (answer.reply[132] << 8));
        if (nv_status != 0) {
            status = carvex::RequestStatusForNv(nv_status);
            return false;
        }
        std::copy_n(answer.reply.begin() + 3, data.size(), data.begin());
        return true;
    }

    mutable std::mutex mutex_;
    std::optional<cardsim::CardState> card_;
    std::optional<uint16_t> write_status_;
    bool gone_ = false;
    std::string trouble_;
    std::vector<std::string> calls_;
};

// The test description in `folder`, where Mode is hidden on the card types of `card_types`.
inline std::filesystem::path DescriptionHidingMode(const std::filesystem::path& folder,
                                                   const std::string& card_types) {
    std::string text = Contents(kTestData / "Config_Info.ini");
    text.replace(text.find("[MODE]\n"), 7, "[MODE]\nSCARDTYPE_ITEM=0\n");
    text += "\n[SCARDTYPE]\nSCARDTYPE_LIST=" + card_types + "\n";
    Put(folder / "Config_Info.ini", text);
    return folder / "Config_Info.ini";
}

// The card work without a window, over the test description, on a simulated card reached
// through a connection of its own; the library and the card run on a faster clock.
class CardWorkUnderTest {
  public:
    static constexpr int kScale = 20;

    explicit CardWorkUnderTest(cardsim::CardProfile profile = TestProfile(),
                               const std::filesystem::path& description = kTestData /
                                                                          "Config_Info.ini")
        : description_(description) {
        Plug(std::move(profile));
        cardwright::DescribeItems(state, description_);
        state.config_led = true;  // as the test values' DEFAULT solution has it
    }

    // Another card in place of the first; the state stays.
    void Plug(cardsim::CardProfile profile) {
        card_.reset();
        sim_.emplace(std::move(profile), kScale);
        card_.emplace(sim_->card->Root(), std::nullopt);
    }
    // No card at all: the device root is empty.
    void Pull() {
        card_.reset();
        sim_.reset();
        card_.emplace(carvex::DeviceRoot(empty_root_.Path()), std::nullopt);
    }

    cardwright::CardWorkSeams Seams() { return {*card_, log, progress, view}; }
    cardwright::CardAccess& Access() { return *card_; }
    cardsim::SimulatedCard& Card() { return *sim_->card; }
    const cardsim::SimulatedCard& Card() const { return *sim_->card; }
    const cardwright::IniFile& Description() const { return description_; }

    // Opens the card as a sequence does before it works on the items; what the open asked is
    // forgotten.
    bool Open() {
        const bool open = card_->Open();
        Card().ClearRequests();
        return open;
    }

    size_t Requests(cardsim::Command command) const {
        return RequestsOf(*sim_->card, command).size();
    }
    std::vector<uint16_t> NvWrites() const { return NvItemsOf(*sim_->card); }
    std::vector<uint16_t> NvReads() const {
        return NvItemsOf(*sim_->card, cardsim::Command::kNvRead);
    }
    // The first `count` bytes of an NV item as the card holds it.
    std::vector<uint8_t> Nv(uint16_t item, size_t count) const {
        const auto value = sim_->card->Nv(item);
        return value ? std::vector<uint8_t>(value->begin(), value->begin() + count)
                     : std::vector<uint8_t>{};
    }

    // The item of that name, and what it shows.
    cardwright::TConfigItem& Item(const std::string& name) { return state.items[Index(name)]; }
    size_t Index(const std::string& name) const { return state.values.Find(name).value(); }
    const std::string& Shown(const std::string& name) const {
        return state.values[Index(name)].text;
    }
    bool Ticked(const std::string& name) const { return state.values[Index(name)].ticked; }
    void Show(const std::string& name, const std::string& text) {
        state.values.Show(Index(name), text);
    }

    cardwright::CardWorkState state;
    RecordedLog log;
    RecordedView view;
    cardwright::ProgressSink progress;

  private:
    carvex::ScopedClock clock_{std::make_shared<carvex::ScaledClock>(kScale)};
    cardwright::IniFile description_;
    TempDir empty_root_;
    std::optional<CardUnderTest> sim_;
    std::optional<cardwright::ConnectionCard> card_;
};

}  // namespace testsupport
