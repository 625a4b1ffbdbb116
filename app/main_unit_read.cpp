#include <QCheckBox>
#include <QComboBox>
#include <QTableWidget>
#include <array>
#include <cstring>

#include "app/card_session.h"
#include "app/carvex_api.h"
#include "app/main_unit.h"
#include "app/model/imei.h"
#include "app/model/item_value.h"
#include "app/qt_text.h"

namespace cardwright {

namespace {

constexpr size_t kTextBuffer = 128;
constexpr int32_t kStatusNotActive = 5;  // the card answers NV status 5 for an item it lacks
constexpr int32_t kImeiBytes = 15;

enum CommonInfoRow { kImeiRow, kFirmwareRow, kDashboardRow, kHardwareRow, kCardTypeRow };

// A text the card sent: up to its first zero byte, and never past a line break, so nothing the
// card says can add lines to a log or keys to a file.
std::string CardText(const std::array<char, kTextBuffer>& buffer) {
    const std::string_view text(buffer.data(), strnlen(buffer.data(), buffer.size()));
    return std::string(text.substr(0, text.find_first_of("\r\n")));
}

}  // namespace

void TMainFrm::ReadFromDataCardBtnClick() {
    RunCommand([this] {
        CardType.clear();
        FreeItemsAndControls();
        BuildConfigPages();
        LoadSolutionList();
        LoadCurrentSolution();
    });
}

void TMainFrm::ReadFromCardAndReport() {
    const QString remembered = ComboBox1->currentText();
    if (ReadFromCard()) {
        const int default_entry =
            ComboBox1->findText(QStringLiteral("DEFAULT"), Qt::MatchFixedString);
        if (default_entry >= 0) {
            ComboBox1->setCurrentIndex(default_entry);
        }
        AddLog(QStringLiteral("Read from datacard succeed..."));
        return;
    }
    AddLog(QStringLiteral("Failed to read data from datacard..."));
    if (ComboBox1->currentText() != remembered) {
        ComboBox1->setCurrentIndex(ComboBox1->findText(remembered, Qt::MatchExactly));
        LoadCurrentSolution();
    }
}

bool TMainFrm::ReadFromCard() {
    ShowStep(QStringLiteral("Opening the card..."));
    CardSession card(*this);
    if (!card.Opened()) {
        NewVersion = true;
        ApplyCardFilter(std::string());
        AddLog(QStringLiteral("Init port failed"));
        return false;
    }
    ClearAllValues();
    AddLog(QStringLiteral("Init port succeed..."));
    int32_t status = 0;
    NewVersion = CallLibrary([&] { return IsNewVersion(&status); }) != 0;
    if (NewVersion) {
        AddLog(QStringLiteral("Read version succeed..."));
    }
    std::array<char, kTextBuffer> type{};
    const bool typed = CallLibrary([&] { return GetBoardType(type.data()); }) != 0;
    ApplyCardFilter(typed ? CardText(type) : std::string());
    if (ConfigLed) {
        ShowStep(QStringLiteral("Reading the LED patterns..."));
        ReadLedInfo();
    }
    ReadCardInfo();
    const bool items_read = ReadCommonItems();
    card.Close();
    AddLog(QStringLiteral("Port closed"));
    return items_read;
}

void TMainFrm::ReadCardInfo() {
    ShowStep(QStringLiteral("Reading the card's identity and versions..."));
    const auto show = [this](int row, const std::string& text) {
        CommonInfoLst->item(row, 1)->setText(Q(text));
    };
    std::array<char, kTextBuffer> buffer{};
    int32_t status = 0;
    auto* bytes = reinterpret_cast<uint8_t*>(buffer.data());
    if (CallLibrary([&] { return GetIMEI(bytes, kImeiBytes, &status); }) != 0) {
        show(kImeiRow, DecodeImei(std::span<const uint8_t>(bytes, kImeiBytes)));
    } else {
        show(kImeiRow, "--");
        AddLog(QStringLiteral("Get IMEI failed, reason: %1...").arg(status));
    }
    // A version row whose call fails keeps what it showed.
    const std::array<std::pair<int, int32_t (*)(char*, int32_t, int32_t*)>, 3> versions{{
        {kFirmwareRow, &GetFirmwareVersion},
        {kHardwareRow, &GetPCBVersion},
        {kDashboardRow, &GetDashboardVersion},
    }};
    for (const auto& [row, query] : versions) {
        buffer.fill(0);
        if (CallLibrary([&, query = query] {
                return query(buffer.data(), static_cast<int32_t>(kTextBuffer), &status);
            }) != 0) {
            show(row, CardText(buffer));
        }
    }
    buffer.fill(0);
    if (CallLibrary([&] { return GetBoardType(buffer.data()); }) != 0) {
        CardType = CardText(buffer);
        show(kCardTypeRow, CardType);
    }
}

bool TMainFrm::ReadCommonItems() {
    AddLog(QStringLiteral("Read common config item info from datacard..."));
    const int count = static_cast<int>(ConfigItems.size());
    for (int index = 0; index < count; ++index) {
        TConfigItem& item = ConfigItems[static_cast<size_t>(index)];
        if (NewVersion && item.NewVersion == 0) {
            continue;
        }
        ShowStep(QStringLiteral("Reading %1 of %2: %3")
                     .arg(index + 1)
                     .arg(count)
                     .arg(Q(DisplayText(item))));
        if (item.Name == kDeviceStateItem) {
            ReadDeviceState();
            continue;
        }
        QComboBox* box = ValueBox(item.Name);
        if (item.NvId == kDeviceStateNvId || box == nullptr) {
            continue;  // an item without a value box has nothing to show
        }
        int32_t status = 0;
        bool read = false;
        NvData data{};
        if (item.ValueCount > 1) {
            const ItemOutcome outcome = ReadMultiValueItem(item, status);
            if (outcome == ItemOutcome::kBroken) {
                return false;
            }
            read = outcome == ItemOutcome::kDone;
        } else {
            const auto number = NvItemNumber(item.NvId);
            if (!number) {
                AddLog(Q(BadNumberMessage(item, "NV_ID", item.NvId)));
                return false;
            }
            read = CallLibrary([&] {
                       return ReadNvItem(*number, data.data(), int32_t{kNvDataSize}, &status);
                   }) != 0;
        }
        if (!read) {
            AddLog(
                QStringLiteral("%1 Read failed, reason\uFF1A%2").arg(Q(item.Caption)).arg(status));
            if (QCheckBox* label = LabelBox(item.Name)) {
                label->setChecked(false);
                box->setEnabled(false);
            }
            if (status == kStatusNotActive) {
                item.OnCard = false;
                ShowNvDefault(item);
            }
            continue;
        }
        AddLog(QStringLiteral("%1 read succeed.").arg(Q(item.Caption)));
        if (item.ValueCount <= 1 && !ShowNvValue(item, data)) {
            return false;
        }
    }
    return true;
}

std::string TMainFrm::ReadCardType() {
    ShowStep(QStringLiteral("Checking the card's type..."));
    CardSession card(*this);
    if (!card.Opened()) {
        AddLog(QStringLiteral("Init port failed"));
        return {};
    }
    std::array<char, kTextBuffer> buffer{};
    std::string type;
    if (CallLibrary([&] { return GetBoardType(buffer.data()); }) != 0) {
        type = CardText(buffer);
        AddLog(QStringLiteral("Init Card Type succeed..."));
    }
    return type;
}

}  // namespace cardwright
