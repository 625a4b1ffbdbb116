// libFuzzer target for setting files, against the window tests' description. Any bytes are
// verified and decoded without a fault; a section that does not load gives nothing. What loads is
// exported again, with and without the new-version flag: the new file is sealed, loads, and gives
// every item it carries the value the card would have got from the first file (after Write has
// reset the unticked items to their defaults), the device state and the LED lines included. Run it
// with TMPDIR on a tmpfs: every export flushes its file.
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "cardwork/model/nv_compose.h"
#include "cardwork/model/setting_file.h"
#include "tests/support/item_screen.h"
#include "tests/support/temp_dir.h"

namespace cardwright {
namespace {

using testsupport::ItemScreen;

void Check(bool holds) {
    if (!holds) {
        std::abort();
    }
}

const std::vector<TConfigItem>& Items() {
    static const std::vector<TConfigItem> items = [] {
        auto read = ReadConfigItems(IniFile(CARDWRIGHT_TEST_DATA_DIR "/Config_Info.ini"));
        Check(read.has_value() && !read->empty());
        return *read;
    }();
    return items;
}

// The text Write takes for an item: the shown one when ticked, else the default, as a box shows it.
std::string WrittenText(const ItemScreen& screen, const TConfigItem& item) {
    if (screen.Checked(item)) {
        return screen.Text(item.Name);
    }
    ItemScreen reset(std::vector<TConfigItem>{item});
    return reset.Text(item.Name);
}

bool SameLeds(const LedTable& a, const LedTable& b) {
    for (int status = 1; status <= kLedStatuses; ++status) {
        if (a.Line(status) != b.Line(status)) {
            return false;
        }
    }
    return true;
}

void CheckExportOf(const ItemScreen& screen, const std::optional<LedTable>& led,
                   const std::string& card_type, bool new_version,
                   const std::filesystem::path& path) {
    const auto composed = ComposeSettingFile(
        Items(), screen.Shown(), {card_type, new_version, led.has_value(), led ? &*led : nullptr});
    const auto written = WriteSettingFile(path, composed.file);
    if (card_type.find_first_of("\r\n") != std::string::npos) {
        Check(!written.Ok());
        return;
    }
    Check(written.Ok());

    const IniFile file(path);
    const auto imported =
        ReadSettingFile(file, Items(), ItemScreen::EveryItemHasABox(), new_version);
    if (composed.file.values.empty()) {
        // Nothing reached DEFAULT: a file that is not correct.
        Check(imported.check == SettingFileCheck::kNoValues);
        return;
    }
    Check(imported.check == SettingFileCheck::kLoaded);
    Check(imported.card_type == card_type);
    Check(led.has_value() == imported.led.has_value());
    Check(!led || SameLeds(*led, *imported.led));

    ItemScreen back(Items());
    back.Show(imported.values.values);
    std::map<std::string, std::string> written_texts;
    for (const auto& item : Items()) {
        written_texts[item.Name] = WrittenText(back, item);
    }
    const ShownText texts = [&](const TConfigItem& item) -> std::optional<std::string> {
        return written_texts.at(item.Name);
    };
    for (const auto& [key, value] : composed.file.values) {
        if (key == kDeviceStateItem) {
            // The whole port setting the first file showed, not only the items that changed.
            const ShownText first = [&](const TConfigItem& item) -> std::optional<std::string> {
                return screen.Text(item.Name);
            };
            Check(StoredDeviceState(ComposeDeviceState(Items(), first)) == value);
            Check(StoredDeviceState(ComposeDeviceState(Items(), texts)) == value);
            continue;
        }
        for (const auto& item : Items()) {
            if (item.Name == key) {
                std::vector<std::string> log;
                Check(StoredItemValue(item, written_texts.at(key), log) == value);
                break;
            }
        }
    }
}

}  // namespace
}  // namespace cardwright

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace cardwright;
    static const testsupport::TempDir scratch;
    const auto input_path = scratch.Path() / "input.ini";
    const auto export_path = scratch.Path() / "export.ini";
    std::ofstream(input_path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

    const IniFile input(input_path);
    const auto has_box = ItemScreen::EveryItemHasABox();
    const auto loaded = DecodeItemValues(Items(), has_box, input, kValuesSection);
    Check(loaded.Ok() || loaded.values.empty());
    for (bool new_version : {false, true}) {
        const auto imported = ReadSettingFile(input, Items(), has_box, new_version);
        if (imported.check == SettingFileCheck::kLoaded) {
            Check(VerifySettingCrc(input, new_version));
            Check(imported.values.values == loaded.values);
        }
    }
    if (!loaded.Ok()) {
        return 0;
    }

    ItemScreen screen(Items());
    screen.Show(loaded.values);
    const auto led = LedTableFromSection(input, kValuesSection);
    const std::string card_type = input.ReadString(kDataCardTypeSection, kValueKey, "");
    for (bool new_version : {false, true}) {
        CheckExportOf(screen, led, card_type, new_version, export_path);
    }
    return 0;
}
