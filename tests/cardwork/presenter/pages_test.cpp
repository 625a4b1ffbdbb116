// The pages the presenter builds from the description: which item goes where and how, the card
// type's filter, and the code page the settings name for descriptions that are not UTF-8.
#include <gtest/gtest.h>

#include "tests/cardwork/presenter/presenter_fixture.h"
#include "tests/support/files.h"

namespace {

using cardwright::Tab;
using testsupport::PresenterSetup;
using testsupport::PresenterUnderTest;

std::string Item(const std::string& name, const std::string& page, const std::string& extra = "") {
    // The first key of a name wins: `extra` goes first so it can override the usual keys.
    return "[" + name + "]\r\n" + extra + "ALONG_PAGE=" + page + "\r\nDISPLAY=" + name +
           "\r\nRANGE=Off,On\r\nRANGE_VALUE=0,1\r\nNV_ID=10\r\nTYPE=BYTE\r\nVISIBLE=1\r\n";
}

// The presenter over this description; its values file holds the card solution only.
PresenterSetup Describing(std::string description,
                          std::optional<cardsim::CardProfile> card = std::nullopt,
                          std::string settings = {}) {
    return {std::move(card), [description = std::move(description),
                              settings = std::move(settings)](const std::filesystem::path& folder) {
                testsupport::Put(folder / "Config_Info.ini", description);
                testsupport::Put(folder / "config_value.ini",
                                 "[MAIN]\r\ncurrent=DEFAULT\r\n[DEFAULT]\r\nConfigLed=0\r\n");
                if (!settings.empty()) {
                    testsupport::Put(folder / "cardwright.conf", settings);
                }
            }};
}

bool HasRow(const PresenterUnderTest& t, const std::string& name) {
    const auto rows = t.window().Seen().rows;
    return std::any_of(rows.begin(), rows.end(),
                       [&](const auto& entry) { return entry.second.name == name; });
}

// Page ids compare with case; a key without a section is skipped; USER_INPUT takes any text;
// an item of PAGE_LED goes on the LED page.
TEST(Pages, WhereEachItemGoes) {
    const PresenterUnderTest t(
        Describing("[CONFIG_PAGE]\r\nPAGE_NET=Net\r\n[CONFIG_ITEM]\r\nA=1\r\nB=1\r\nGHOST=1\r\nU="
                   "1\r\nL=1\r\n" +
                   Item("A", "PAGE_NET") + Item("B", "page_net") +
                   Item("U", "PAGE_NET", "USER_INPUT=1\r\n") + Item("L", "PAGE_LED")));
    const auto seen = t.window().Seen();
    EXPECT_EQ(seen.row_tab.at(t.Item("A")), Tab::kPage1);
    EXPECT_EQ(seen.tabs[static_cast<size_t>(Tab::kPage1)].caption, "Net");
    EXPECT_FALSE(HasRow(t, "B"));
    EXPECT_FALSE(HasRow(t, "GHOST"));
    EXPECT_TRUE(seen.rows.at(t.Item("U")).editable);
    EXPECT_FALSE(seen.rows.at(t.Item("A")).editable);
    EXPECT_EQ(seen.rows.at(t.Item("A")).choices, (std::vector<std::string>{"Off", "On"}));
    EXPECT_EQ(seen.row_tab.at(t.Item("L")), Tab::kLed);
    EXPECT_TRUE(t.window().Messages().empty());
}

// An item with SCARDTYPE_ITEM=0 is hidden on the card types SCARDTYPE_LIST names, the card's
// board type taken as the card reports it.
TEST(Pages, TheCardTypeHidesItsItems) {
    const std::string description =
        "[CONFIG_PAGE]\r\nP=Page\r\n[CONFIG_ITEM]\r\nKEEP=1\r\nSKIP=1\r\n" + Item("KEEP", "P") +
        Item("SKIP", "P", "SCARDTYPE_ITEM=0\r\n") +
        "[SCARDTYPE]\r\nSCARDTYPE_LIST=MODEL-A,MODEL-B\r\n";
    for (const auto& [type, hidden] : {std::pair{"MODEL-A", true},
                                       {"MODEL", true},
                                       {"MODEL-C", false},
                                       {"model-a", false},
                                       {"", false}}) {
        auto card = testsupport::TestProfile();
        card.model = type;
        const PresenterUnderTest t(Describing(description, card));
        const auto seen = t.window().Seen();
        EXPECT_EQ(seen.hidden.count(t.Item("SKIP")), hidden ? 1u : 0u) << type;
        EXPECT_EQ(seen.hidden.count(t.Item("KEEP")), 0u) << type;
    }
}

// cardwright.conf names the code page of descriptions that are not UTF-8; one that cannot be had
// is said before anything else, and the default is taken.
TEST(Pages, TheSettingsNameTheCodePage) {
    const std::string description =
        "[CONFIG_PAGE]\r\nP=Caf\xe9\r\n[CONFIG_ITEM]\r\nA=1\r\n" + Item("A", "P");
    const PresenterUnderTest western(
        Describing(description, std::nullopt, "legacy_codepage = CP1252\n"));
    EXPECT_EQ(western.window().Seen().tabs[static_cast<size_t>(Tab::kPage1)].caption, "Café");
    EXPECT_TRUE(western.Opened().messages.empty());

    const PresenterUnderTest unknown(
        Describing(description, std::nullopt, "legacy_codepage = CP1252X\n"));
    EXPECT_TRUE(unknown.Opened().ok);
    EXPECT_EQ(unknown.Opened().messages,
              (std::vector<std::string>{"cardwright.conf, line 1: no code page \"CP1252X\" is "
                                        "known; files that are not UTF-8 are read in CP936"}));
}

}  // namespace
