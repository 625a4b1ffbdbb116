#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cardwork/card/card_work_seams.h"
#include "cardwork/card/card_work_state.h"
#include "cardwork/card/connection_card.h"
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
