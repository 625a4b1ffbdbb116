#include <gtest/gtest.h>

#include "cardwork/model/config_item.h"
#include "cardwork/model/ini_file.h"
#include "cardsim/card_profile.h"

namespace cardwright {
namespace {

const std::string kExamples = CARDWRIGHT_EXAMPLES_DIR;

// "550", "(#441#946)": the NV item numbers an item names; device-state items (-101) name none.
std::vector<int> NvItems(const std::string& nv_id) {
    std::vector<int> items;
    for (const auto& field : SplitList(nv_id, '#')) {
        std::string digits;
        for (char c : field) {
            if ((c >= '0' && c <= '9') || c == '-') {
                digits.push_back(c);
            }
        }
        if (!digits.empty() && std::stoi(digits) >= 0) {
            items.push_back(std::stoi(digits));
        }
    }
    return items;
}

// A newcomer's first Read of the example card reads every described item without a failure.
TEST(Examples, EveryDescribedNvItemIsActiveOnTheSimulatedCard) {
    const IniFile description(kExamples + "/Config_Info.ini");
    const auto profile = cardsim::LoadProfile(kExamples + "/card.profile");
    const auto items = ReadConfigItems(description);
    ASSERT_TRUE(items);
    ASSERT_GE(items->size(), 20u);
    for (const auto& item : *items) {
        for (int nv : NvItems(item.NvId)) {
            const auto number = static_cast<uint16_t>(nv);
            EXPECT_TRUE(profile.nv.contains(number)) << item.Name << " names NV item " << nv;
            EXPECT_FALSE(profile.inactive.contains(number)) << item.Name << ": item " << nv;
        }
    }
    EXPECT_TRUE(profile.nv.contains(50012) && profile.nv.contains(50013)) << "LED patterns";
}

TEST(Examples, DescriptionHasFivePagesAndTheValuesFileReadsTheCard) {
    const IniFile description(kExamples + "/Config_Info.ini");
    const auto pages = ReadConfigPages(description);
    ASSERT_TRUE(pages);
    EXPECT_EQ(pages->size(), kPageSlots);
    const IniFile values(kExamples + "/config_value.ini");
    EXPECT_EQ(values.ReadString("MAIN", "current", ""), "DEFAULT");
}

}  // namespace
}  // namespace cardwright
