#include "cardwork/model/setting_file.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <sstream>

#include <fstream>
#include <iterator>

#include "cardwork/model/defaulted_items.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/files.h"
#include "tests/support/item_screen.h"
#include "tests/support/temp_dir.h"

namespace cardwright {
namespace {

using testsupport::ItemScreen;

const std::string kTestData = CARDWRIGHT_TEST_DATA_DIR;

TConfigItem ChoiceItem(std::string name, std::string nv_id, std::string range,
                       std::string range_value, std::string default_value) {
    TConfigItem item;
    item.Name = std::move(name);
    item.Caption = item.Name + ": ";
    item.NvId = std::move(nv_id);
    item.ItemType = "BYTE";
    item.Range = std::move(range);
    item.RangeValue = std::move(range_value);
    item.DefaultValue = std::move(default_value);
    item.Visible = true;
    item.NewVersion = 1;
    return item;
}

// A single item, a multi-value item of two NV items, the device state and one port.
std::vector<TConfigItem> ExampleItems() {
    TConfigItem band = ChoiceItem("BAND_SELECT", "900", "1,3", "1,3", "1");
    band.UserInput = true;
    TConfigItem apn =
        ChoiceItem("APN_MODE", "(#904#905)", "Single,Dual", "(#0#1),(#1#0)", "Single");
    apn.NvByte = "(#0#0)";
    apn.ValueCount = 2;
    TConfigItem port = ChoiceItem("PORT_DIAG", "-101", "Off,On", "0,1", "Off");
    port.NvBit = 1;
    return {band, apn,
            ChoiceItem("DEVICE_STATE_INFO", "-101", "Mode A,Mode B,Mode C", "0,1,2", "Mode A"),
            port};
}

ItemScreen ExampleScreen() {
    ItemScreen screen(ExampleItems());
    screen.Show("BAND_SELECT", "3");
    screen.Show("APN_MODE", "Dual");
    screen.Show("DEVICE_STATE_INFO", "Mode C");
    screen.Show("PORT_DIAG", "On");
    return screen;
}

// Status 1 blinks blue, 500 ms on and off; status 2 is steady green; as read from a card.
LedTable ExampleLeds() {
    NvData first{};
    first[0] = ToNvLedColor(2);
    first[1] = 5;
    first[2] = ToNvLedColor(1);
    first[3] = 5;
    first[20] = ToNvLedColor(3);
    first[21] = 10;
    LedTable table;
    table.Unpack(0, first);
    table.Unpack(1, NvData{});
    table.SetFrom(LedTable::Source::kCard);
    return table;
}

using testsupport::Contents;
using testsupport::Listing;
using testsupport::Put;

class SettingFileTest : public ::testing::Test {
  protected:
    SettingFile Compose(const ItemScreen& screen, bool new_version, const LedTable* led) {
        const auto composed = ComposeSettingFile(screen.Items(), screen.Shown(),
                                                 {"CARD-A", new_version, led != nullptr, led});
        EXPECT_TRUE(composed.log.empty());
        return composed.file;
    }

    // Exports the screen and imports the file into a screen at its defaults.
    ItemScreen RoundTrip(const ItemScreen& screen, bool new_version) {
        const auto written = WriteSettingFile(path_, Compose(screen, new_version, nullptr));
        EXPECT_TRUE(written.Ok()) << written.error;
        const auto imported = ReadSettingFile(IniFile(path_), screen.Items(),
                                              ItemScreen::EveryItemHasABox(), new_version);
        EXPECT_EQ(imported.check, SettingFileCheck::kLoaded) << imported.values.error;
        ItemScreen back({screen.Items().begin(), screen.Items().end()});
        back.Show(imported.values.values);
        return back;
    }

    testsupport::TempDir dir_;
    std::filesystem::path path_ = dir_.Path() / "cards.ini";
};

TEST_F(SettingFileTest, WorkedExampleByteForByte) {
    const std::string leds =
        "LED_STATUS1=2,5|1,5|1,0|1,0|1,0|1,0|1,0|1,0|1,0|1,0|\r\n"
        "LED_STATUS2=3,10|1,0|1,0|1,0|1,0|1,0|1,0|1,0|1,0|1,0|\r\n"
        "LED_STATUS3=1,0|1,0|1,0|1,0|1,0|1,0|1,0|1,0|1,0|1,0|\r\n"
        "LED_STATUS4=1,0|1,0|1,0|1,0|1,0|1,0|1,0|1,0|1,0|1,0|\r\n"
        "LED_STATUS5=1,0|1,0|1,0|1,0|1,0|1,0|1,0|1,0|1,0|1,0|\r\n"
        "LED_STATUS6=1,0|1,0|1,0|1,0|1,0|1,0|1,0|1,0|1,0|1,0|\r\n"
        "LED_STATUS7=1,0|1,0|1,0|1,0|1,0|1,0|1,0|1,0|1,0|1,0|\r\n"
        "LED_STATUS8=1,0|1,0|1,0|1,0|1,0|1,0|1,0|1,0|1,0|1,0|\r\n";
    const std::string values =
        "[DEFAULT]\r\nBAND_SELECT=3\r\nAPN_MODE=1|0\r\nDEVICE_STATE_INFO=514\r\n" + leds;
    struct Case {
        bool new_version;
        uint16_t crc;
        std::string text;
    } cases[] = {
        {true, 47345,
         "[DATACARD_TYPE]\r\nVALUE=CARD-A\r\n[VERSION]\r\nVERSION=1.0\r\n" + values +
             "[CRC]\r\nVALUE=47345\r\n"},
        {false, 43792, "[DATACARD_TYPE]\r\nVALUE=CARD-A\r\n" + values + "[CRC]\r\nVALUE=43792\r\n"},
    };
    const ItemScreen screen = ExampleScreen();
    const LedTable table = ExampleLeds();
    for (const auto& c : cases) {
        // Over an older file through a symbolic link: nothing of the old file stays.
        Put(dir_.Path() / "old.ini", "[DEFAULT]\r\nSTALE=1\r\n[OTHER]\r\nx=1\r\n");
        std::filesystem::remove(path_);
        std::filesystem::create_symlink("old.ini", path_);

        const auto written = WriteSettingFile(path_, Compose(screen, c.new_version, &table));
        ASSERT_TRUE(written.Ok()) << written.error;
        EXPECT_EQ(written.crc, c.crc);
        EXPECT_TRUE(std::filesystem::is_symlink(path_));
        EXPECT_EQ(Contents(dir_.Path() / "old.ini"), c.text) << c.new_version;

        const IniFile file(path_);
        EXPECT_TRUE(VerifySettingCrc(file, c.new_version));
        EXPECT_FALSE(VerifySettingCrc(file, !c.new_version)) << "a file is read with its flag";

        // The seal read as every integer key is: in hexadecimal too.
        std::string hex = c.text;
        std::ostringstream seal;
        seal << "VALUE=0x" << std::hex << std::uppercase << c.crc;
        hex.replace(hex.rfind("VALUE="), std::string::npos, seal.str() + "\r\n");
        Put(dir_.Path() / "hex.ini", hex);
        EXPECT_TRUE(VerifySettingCrc(IniFile(dir_.Path() / "hex.ini"), c.new_version)) << hex;
    }
}

TEST_F(SettingFileTest, WhichItemsAnExportWrites) {
    struct Case {
        const char* what;
        bool new_version;
        int item_new_version;
        std::optional<bool> checked;
        std::optional<std::string> text;
        int scard_type_item;
        bool box_visible;
        bool written;
    } cases[] = {
        {"ticked and changed", false, 0, true, "On", 1, true, true},
        {"not ticked", false, 0, false, "On", 1, true, false},
        {"no check box", false, 0, std::nullopt, "On", 1, true, false},
        {"at its default", false, 0, true, "Off", 1, true, false},
        {"default differs in case only", false, 0, true, "off", 1, true, true},
        {"old item while the flag is set", true, 0, true, "On", 1, true, false},
        {"new item while the flag is set", true, 1, true, "On", 1, true, true},
        {"hidden for this card type", false, 0, true, "On", 0, false, false},
        {"hidden, not by card type", false, 0, true, "On", 1, false, true},
        {"card-type item, visible", false, 0, true, "On", 0, true, true},
        {"no value box", false, 0, true, std::nullopt, 1, true, false},
    };
    for (const auto& c : cases) {
        TConfigItem item = ChoiceItem("AUTO", "902", "Off,On", "0,1", "Off");
        item.NewVersion = c.item_new_version;
        item.SCardTypeItem = c.scard_type_item;
        const std::vector<TConfigItem> items{item};
        const ShownItems shown = [&](const TConfigItem&) {
            return ItemShown{c.text, c.checked, c.box_visible};
        };
        const auto exported = CommonItemEntries(items, shown, c.new_version);
        EXPECT_EQ(exported.entries.size(), c.written ? 1u : 0u) << c.what;
        EXPECT_FALSE(DeviceStateEntry(items, shown, c.new_version)) << c.what;
    }
}

TEST_F(SettingFileTest, DeviceStateIsWrittenWholeOnceAnyOfItCounts) {
    // A port whose default is On: when only the state changes, the port still goes with it, so
    // that an import does not turn it Off.
    std::vector<TConfigItem> items = ExampleItems();
    items[3].DefaultValue = "On";
    ItemScreen screen(items);
    EXPECT_FALSE(DeviceStateEntry(screen.Items(), screen.Shown(), false)) << "nothing counts";

    screen.Show("DEVICE_STATE_INFO", "Mode B");
    const auto entry = DeviceStateEntry(screen.Items(), screen.Shown(), false);
    ASSERT_TRUE(entry);
    EXPECT_EQ(*entry, (IniEntry{"DEVICE_STATE_INFO", "513"}));  // port bit 1, state 1

    for (bool new_version : {false, true}) {
        const ItemScreen back = RoundTrip(screen, new_version);
        EXPECT_EQ(back.Text("PORT_DIAG"), "On");
        EXPECT_EQ(back.Text("DEVICE_STATE_INFO"), "Mode B");
    }
}

TEST_F(SettingFileTest, RoundTripOverTheTestDescription) {
    const auto items = ReadConfigItems(IniFile(kTestData + "/Config_Info.ini"));
    ASSERT_TRUE(items);
    ItemScreen screen(*items);
    const std::map<std::string, std::string> changed{
        {"B_LOW", "9"},       {"B_FLAG", "Yes"},    {"B_HIGH", "300"},
        {"BAND", "Asia"},     {"BAND_EXTRA", "On"}, {"LIMIT", "Unlimited"},
        {"TIMER", "600"},     {"MODE", "Slow"},     {"BIT_A", "On"},
        {"BIT_HIDDEN", "On"}, {"PORT_Y", "On"},     {"DEVICE_STATE_INFO", "Factory"},
        {"LED_LEVEL", "Low"},
    };
    for (const auto& [name, text] : changed) {
        screen.Show(name, text);
    }
    const ItemScreen back = RoundTrip(screen, false);
    for (const auto& item : screen.Items()) {
        EXPECT_EQ(back.Text(item.Name), screen.Text(item.Name)) << item.Name;
    }
}

TEST_F(SettingFileTest, StoredValuesShowAsTheWindowShowsThem) {
    Put(path_,
        "[DEFAULT]\nAPN_MODE=1|0\nDEVICE_STATE_INFO=514\nLED_STATUS1=2,5|\nConfigLed=1\n"
        "UNKNOWN=x\nBAND_SELECT=7\n");
    std::vector<TConfigItem> items = ExampleItems();
    TConfigItem other_port = items[3];
    other_port.Name = "PORT_OTHER";
    other_port.NvBit = 4;
    items.push_back(other_port);
    const HasValueBox all_but_band = [](const TConfigItem& item) {
        return item.Name != "BAND_SELECT";
    };
    const auto loaded = DecodeItemValues(items, all_but_band, IniFile(path_), "default");
    ASSERT_TRUE(loaded.Ok()) << loaded.error;
    EXPECT_EQ(loaded.values, (std::vector<ShownValue>{{"APN_MODE", "Dual"},
                                                      {"DEVICE_STATE_INFO", "Mode C"},
                                                      {"PORT_DIAG", "On"},
                                                      {"PORT_OTHER", "Off"}}));

    // LED lines of a section that exists; a missing line clears its status.
    const auto table = LedTableFromSection(IniFile(path_), "DEFAULT");
    ASSERT_TRUE(table);
    EXPECT_EQ(table->Line(1), "2,5|0,0|0,0|0,0|0,0|0,0|0,0|0,0|0,0|0,0|");
    EXPECT_EQ(table->Line(2), LedTable().Line(2));
    EXPECT_FALSE(LedTableFromSection(IniFile(path_), "MISSING"));
}

TEST_F(SettingFileTest, ValuesThatAreNoDecimalIntegersLoadNothingOrOnlyTheirOwnKeyIsLeftOut) {
    struct Case {
        std::string key;
        std::string value;
    } cases[] = {
        {"BAND_SELECT", "abc"},
        {"BAND_SELECT", ""},
        {"BAND_SELECT", "0x10"},
        {"BAND_SELECT", "99999999999"},
        {"BAND_SELECT", std::string(3000, '7')},
        {"BAND_SELECT", "3\x01"},
        {"APN_MODE", "1|x"},
        {"APN_MODE", "1|0|"},
        {"DEVICE_STATE_INFO", "514abc"},
        {"DEVICE_STATE_INFO", "\x1b[2J"},
    };
    for (const auto& c : cases) {
        // A good value before the bad one is not loaded either.
        const std::string after = c.key == "APN_MODE" ? "" : "APN_MODE=1|0\n";
        Put(path_, "[DEFAULT]\nPORT_DIAG=1\n" + c.key + "=" + c.value + "\n" + after);
        const auto loaded = DecodeItemValues(ExampleItems(), ItemScreen::EveryItemHasABox(),
                                             IniFile(path_), "DEFAULT");
        EXPECT_FALSE(loaded.Ok()) << c.key << "=" << c.value;
        EXPECT_TRUE(loaded.values.empty()) << c.key;
        EXPECT_NE(loaded.error.find(c.key), std::string::npos) << loaded.error;
        EXPECT_LE(loaded.error.size(), 120u) << loaded.error;
        EXPECT_TRUE(std::none_of(loaded.error.begin(), loaded.error.end(), [](char ch) {
            return static_cast<unsigned char>(ch) < 0x20;
        })) << c.key;

        // A solution loads the rest; the bad key's item shows nothing, and one line names it.
        const auto skipping = DecodeItemValues(ExampleItems(), ItemScreen::EveryItemHasABox(),
                                               IniFile(path_), "DEFAULT", BadValue::kSkipKey);
        ASSERT_TRUE(skipping.Ok()) << c.key;
        ASSERT_EQ(skipping.skipped.size(), 1u) << c.key;
        EXPECT_NE(skipping.skipped[0].find(c.key), std::string::npos) << skipping.skipped[0];
        EXPECT_LE(skipping.skipped[0].size(), 130u) << skipping.skipped[0];
        const auto shown = [&](const std::string& item) {
            std::optional<std::string> text;
            for (const ShownValue& value : skipping.values) {
                if (value.item == item) {
                    text = value.text;  // a later one wins
                }
            }
            return text;
        };
        EXPECT_EQ(shown("PORT_DIAG"), "On") << c.key;
        EXPECT_EQ(shown(c.key), "") << c.key;
        if (!after.empty()) {
            EXPECT_EQ(shown("APN_MODE"), "Dual") << c.key;
        }
    }

    // Sealed or not, such a file is not correct.
    const auto written = WriteSettingFile(path_, {"CARD-A", false, {{"BAND_SELECT", "three"}}});
    ASSERT_TRUE(written.Ok()) << written.error;
    const auto imported =
        ReadSettingFile(IniFile(path_), ExampleItems(), ItemScreen::EveryItemHasABox(), false);
    EXPECT_EQ(imported.check, SettingFileCheck::kBadValue);
    EXPECT_NE(imported.values.error.find("\"three\""), std::string::npos) << imported.values.error;
}

TEST_F(SettingFileTest, ACorruptedFileIsAlwaysRefused) {
    const ItemScreen screen = ExampleScreen();
    const LedTable table = ExampleLeds();
    ASSERT_TRUE(WriteSettingFile(path_, Compose(screen, true, &table)).Ok());
    const std::string good = Contents(path_);
    const size_t begin = good.find("[DEFAULT]\r\n") + 11;
    const size_t end = good.find("[CRC]");
    const auto corrupted = dir_.Path() / "corrupted.ini";
    Put(corrupted, good);
    // Changed in place, one byte at a time: a file truncated and rewritten is flushed each time.
    std::fstream file(corrupted, std::ios::in | std::ios::out | std::ios::binary);
    const auto change = [&](size_t at, char c) {
        file.seekp(static_cast<std::streamoff>(at));
        file.put(c);
        file.flush();
    };
    int tried = 0;
    for (size_t at = begin; at < end; ++at) {
        if (good[at] == '\r' || good[at] == '\n' || good[at] == '=') {
            continue;
        }
        for (char c = '!'; c <= '~'; ++c) {
            if (c == good[at]) {
                continue;
            }
            change(at, c);
            const auto imported = ReadSettingFile(IniFile(corrupted), screen.Items(),
                                                  ItemScreen::EveryItemHasABox(), true);
            ASSERT_NE(imported.check, SettingFileCheck::kLoaded)
                << "'" << c << "' at " << at - begin << " of DEFAULT";
            ++tried;
        }
        change(at, good[at]);
    }
    file.close();
    EXPECT_GT(tried, 40000);

    // What the reader folds away is no change: letter case of section names, blanks around.
    std::string folded = good;
    folded.replace(folded.find("[DEFAULT]"), 9, "[ default ]");
    folded.replace(folded.find("BAND_SELECT=3"), 13, "BAND_SELECT =  3 ");
    Put(corrupted, folded);
    EXPECT_EQ(
        ReadSettingFile(IniFile(corrupted), screen.Items(), ItemScreen::EveryItemHasABox(), true)
            .check,
        SettingFileCheck::kLoaded);
}

TEST_F(SettingFileTest, UntrustedFiles) {
    const ItemScreen screen = ExampleScreen();
    const auto written = WriteSettingFile(path_, Compose(screen, false, nullptr));
    ASSERT_TRUE(written.Ok());
    const std::string good = Contents(path_);
    const auto check = [&](const std::string& text) {
        Put(path_, text);
        return ReadSettingFile(IniFile(path_), screen.Items(), ItemScreen::EveryItemHasABox(),
                               false);
    };

    // An editor's byte-order mark hides nothing.
    EXPECT_EQ(check("\xEF\xBB\xBF" + good).check, SettingFileCheck::kLoaded);

    // Two keys of a name read as the first, in the seal as in the values.
    const std::string doubled = "[DEFAULT]\r\nBAND_SELECT=3\r\nBAND_SELECT=1\r\n";
    const uint16_t crc = SettingCrc("BAND_SELECT=3\r\nBAND_SELECT=3\r\n");
    const auto twice = check(doubled + "[CRC]\r\nVALUE=" + std::to_string(crc) + "\r\n");
    ASSERT_EQ(twice.check, SettingFileCheck::kLoaded);
    EXPECT_EQ(twice.values.values,
              (std::vector<ShownValue>{{"BAND_SELECT", "3"}, {"BAND_SELECT", "3"}}));

    struct Case {
        const char* what;
        std::string text;
        SettingFileCheck check;
    } cases[] = {
        {"no DEFAULT", "[DATACARD_TYPE]\r\nVALUE=CARD-A\r\n[CRC]\r\nVALUE=65535\r\n",
         SettingFileCheck::kNoValues},
        {"no CRC", good.substr(0, good.find("[CRC]")), SettingFileCheck::kCrcFailed},
        {"CRC not a number", good.substr(0, good.find("[CRC]")) + "[CRC]\r\nVALUE=x\r\n",
         SettingFileCheck::kCrcFailed},
        {"CRC plus 65536",
         good.substr(0, good.find("[CRC]")) +
             "[CRC]\r\nVALUE=" + std::to_string(written.crc + 65536) + "\r\n",
         SettingFileCheck::kCrcFailed},
        {"card type changed", "[DATACARD_TYPE]\r\nVALUE=OTHER" + good.substr(good.find("\r\n[")),
         SettingFileCheck::kLoaded},
    };
    for (const auto& c : cases) {
        const auto imported = check(c.text);
        EXPECT_EQ(imported.check, c.check) << c.what;
        if (c.check != SettingFileCheck::kLoaded) {
            EXPECT_TRUE(imported.values.values.empty()) << c.what;
        }
    }
}

TEST_F(SettingFileTest, AFailedWriteLeavesTheOldFileWhole) {
    const ItemScreen screen = ExampleScreen();
    const LedTable table = ExampleLeds();
    ASSERT_TRUE(WriteSettingFile(path_, Compose(screen, false, nullptr)).Ok());
    const std::string old = Contents(path_);
    {
        // The disk fills up half way through the new file.
        testsupport::FileSizeLimit limit(old.size() + 10);
        const auto written = WriteSettingFile(path_, Compose(screen, true, &table));
        EXPECT_FALSE(written.Ok());
        EXPECT_NE(written.error.find(path_.parent_path().string()), std::string::npos)
            << written.error;
    }
    EXPECT_EQ(Contents(path_), old);
    EXPECT_EQ(Listing(dir_.Path()), std::vector<std::string>{"cards.ini"});

    struct Case {
        const char* what;
        SettingFile file;
        const char* reason;
    };
    std::vector<Case> refused{
        {"line break in the card type", {"CARD\r\n[DEFAULT]", false, {}}, "line break"},
        {"line break in a value", {"CARD-A", false, {{"BAND_SELECT", "3\nX=1"}}}, "line break"},
        {"value no reader takes whole",
         {"CARD-A", false, {{"APN_MODE", std::string(IniFile::kMaxValueLength + 1, '1')}}},
         "longer"},
    };
    // More names than the key list a reader fills: the keys beyond it would be neither sealed
    // nor loaded.
    std::vector<IniEntry> many;
    many.reserve(2000);
    for (int i = 0; i < 2000; ++i) {
        many.emplace_back("KEY_" + std::to_string(10000 + i), "1");
    }
    refused.push_back({"more keys than a reader lists", {"CARD-A", false, many}, "key names"});
    for (const auto& c : refused) {
        const auto written = WriteSettingFile(path_, c.file);
        EXPECT_FALSE(written.Ok()) << c.what;
        EXPECT_NE(written.error.find(c.reason), std::string::npos) << written.error;
        EXPECT_EQ(Contents(path_), old) << c.what;
    }
}

TEST_F(SettingFileTest, KeysOfOneNameKeepTheLaterValueInTheFirstPlace) {
    const SettingFile file{"CARD-A", false, {{"A", "1"}, {"B", "2"}, {"a", "3"}}};
    const auto written = WriteSettingFile(path_, file);
    ASSERT_TRUE(written.Ok());
    EXPECT_NE(Contents(path_).find("[DEFAULT]\r\nA=3\r\nB=2\r\n[CRC]"), std::string::npos);
    EXPECT_EQ(written.crc, SettingCrc("A=3\r\nB=2\r\n"));
    EXPECT_TRUE(VerifySettingCrc(IniFile(path_), false));
}

// The items a Write after an import sends at their defaults because the file names no value
// for them: not those whose TYPE moves no bytes, whose default leaves the card's value alone, that
// are never written (VISIBLE 0), that apply to the other generation or have no box, nor the
// device-state items (the port setting is not written without DEVICE_STATE_INFO).
TEST_F(SettingFileTest, WhichItemsAFileLeavesToTheirDefaults) {
    const auto items = ReadConfigItems(IniFile(kTestData + "/Config_Info.ini")).value();
    const auto left = [&](const std::string& values, bool new_version,
                          const HasValueBox& has_box = ItemScreen::EveryItemHasABox()) {
        Put(path_, "[DEFAULT]\r\n" + values);
        return ItemsLeftToDefaults(items, has_box, IniFile(path_), new_version);
    };
    const std::vector<std::string> all_but_low = {"Flag byte",
                                                  "High word",
                                                  "Band",
                                                  "Band extra",
                                                  "Limit",
                                                  "Timer",
                                                  "Acquisition order",
                                                  "Preferred network selection order",
                                                  "Bit A",
                                                  "Bit B",
                                                  "Inactive",
                                                  "LED level"};
    DefaultedItems defaulted = left("B_LOW=9\r\n", false);
    EXPECT_EQ(defaulted.captions, all_but_low);
    EXPECT_TRUE(defaulted.Sentence().starts_with(
        "12 items are left to their defaults: Flag byte, High word, Band, "))
        << defaulted.Sentence();
    EXPECT_EQ(left("B_LOW=9\r\nDEVICE_STATE_INFO=5121\r\nLED_STATUS1=2,5|\r\n", false).captions,
              all_but_low)
        << "the port setting and LED lines name no item";

    // A multi-value item is named by its own key; a key that names no item names nothing.
    defaulted = left("B_LOW=9\r\nBAND=2|32|8\r\nBAND_EXTRAS=1\r\n", false);
    EXPECT_EQ(std::count(defaulted.captions.begin(), defaulted.captions.end(), "Band"), 0);
    EXPECT_EQ(std::count(defaulted.captions.begin(), defaulted.captions.end(), "Band extra"), 1);

    // A newer-generation file: only the items with NEW_VERSION (and B_LOW is named).
    EXPECT_EQ(left("B_LOW=9\r\n", true).captions, std::vector<std::string>{"Bit A"});
    // Items without a value box are not written from the file.
    const auto values_page_only = [](const TConfigItem& item) {
        return item.AlongPage == "PAGE_VALUES";
    };
    EXPECT_EQ(left("B_LOW=9\r\n", false, values_page_only).captions,
              (std::vector<std::string>{"Flag byte", "High word", "Limit", "Timer", "Inactive"}));

    defaulted.captions = {"Band"};
    EXPECT_EQ(defaulted.Sentence(), "1 item is left to its default: Band");
    defaulted.captions.clear();
    EXPECT_EQ(defaulted.Sentence(), "No item is left to its default");
}

TEST(SettingFileName, IniIsAppendedUnlessItIsTheExtension) {
    const std::pair<const char*, const char*> cases[] = {
        {"cards", "cards.ini"},
        {"cards.txt", "cards.txt.ini"},
        {"cards.ini", "cards.ini"},
        {"cards.INI", "cards.INI"},
        {"cards.ini.bak", "cards.ini.bak.ini"},
        {"dir.ini/cards", "dir.ini/cards.ini"},
    };
    for (const auto& [chosen, written] : cases) {
        EXPECT_EQ(SettingFileName(chosen), std::filesystem::path(written)) << chosen;
    }
}

TEST(OwnIniFiles, AreRefusedByAnyName) {
    testsupport::TempDir dir;
    const auto program = dir.Path() / "program";
    std::filesystem::create_directories(program / "sub");
    const auto description = program / "Config_Info.ini";
    const auto values = program / "config_value.ini";
    Put(description, "[CONFIG_ITEM]\n");
    Put(values, "[MAIN]\n");
    std::filesystem::create_symlink(values, dir.Path() / "link.ini");
    std::filesystem::create_symlink("link.ini", dir.Path() / "chain.ini");
    std::filesystem::create_hard_link(description, dir.Path() / "hard.ini");
    Put(dir.Path() / "other.ini", "");
    std::filesystem::create_symlink("other.ini", dir.Path() / "other_link.ini");

    const auto saved = std::filesystem::current_path();
    std::filesystem::current_path(program / "sub");
    struct Case {
        std::filesystem::path chosen;
        const char* refused_as;  // nullptr: not refused
    } cases[] = {
        {values, "config_value.ini"},
        {"../config_value.ini", "config_value.ini"},
        {"../Config_Info", "Config_Info.ini"},
        {dir.Path() / "link.ini", "config_value.ini"},
        {dir.Path() / "chain", "config_value.ini"},
        {dir.Path() / "hard.ini", "Config_Info.ini"},
        {"../config_value.txt", nullptr},
        {dir.Path() / "other_link.ini", nullptr},
        {program / "sub" / "config_value.ini", nullptr},
    };
    for (const auto& c : cases) {
        const auto refusal = OwnIniFileRefusal(SettingFileName(c.chosen), description, values);
        if (c.refused_as == nullptr) {
            EXPECT_FALSE(refusal) << c.chosen << ": " << refusal.value_or("");
        } else {
            ASSERT_TRUE(refusal) << c.chosen;
            EXPECT_NE(refusal->find(c.refused_as), std::string::npos) << *refusal;
        }
    }
    std::filesystem::current_path(saved);
}

}  // namespace
}  // namespace cardwright
