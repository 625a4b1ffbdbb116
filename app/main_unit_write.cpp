#include <QApplication>

#include "app/card_session.h"
#include "app/carvex_api.h"
#include "app/main_unit.h"

namespace cardwright {

void TMainFrm::WriteToDataCardBtnClick() {
    RunCommand([this] {
        PortSettingWritten = false;
        ResetUncheckedItems();
        bool outcome = ValidateItems();
        // The identity check opens the card whatever the values' check said.
        const std::string card_type = ReadCardType();
        if (card_type != CardType) {
            AddLog(QStringLiteral("datacard is different..."));
            Prompts().ShowMessage(this, QStringLiteral("Datacard is different,please read again."));
            outcome = false;
        } else if (outcome) {
            ShowStep(QStringLiteral("Opening the card..."));
            CardSession card(*this);
            if (!card.Opened()) {
                outcome = false;
            } else {
                AddLog(QStringLiteral("Init port OK..."));
                outcome = WriteConfigItems();
                if (outcome) {
                    AddLog(QStringLiteral("Write Config item succeed..."));
                }
                if (outcome && ConfigLed) {
                    ShowStep(QStringLiteral("Writing the LED patterns..."));
                    outcome = WriteLedInfo();
                    AddLog(outcome ? QStringLiteral("Write LED info succed...")
                                   : QStringLiteral("Write LED failed..."));
                }
                if (outcome) {
                    ShowStep(QStringLiteral("Backing up the card's NV items..."));
                    AddLog(QStringLiteral("Start BackupNVItems..."));
                    int32_t status = 0;
                    outcome = CallLibrary([&] { return BackupNVItems(&status); }) != 0;
                    AddLog(outcome ? QStringLiteral("BackupNVItems succed...")
                                   : QStringLiteral("BackupNVItems failed..."));
                }
                if (outcome) {
                    ShowStep(QStringLiteral("Restarting the card..."));
                    AddLog(QStringLiteral("Restarting datacard..."));
                    CallLibrary([] { return ResetDsahboard(); });
                }
                card.Close();
                AddLog(QStringLiteral("Close port..."));
            }
        }
        QApplication::processEvents();
        raise();
        activateWindow();
        if (outcome) {
            AddLog(QStringLiteral("Write to datacard succeed..."));
            Prompts().ShowMessage(this, QStringLiteral("Write to datacard succeed..."));
        } else {
            AddLog(QStringLiteral("Failed to write info..."));
            Prompts().ShowMessage(this, QStringLiteral("Write to datacard failed..."));
        }
    });
}

// Every item that applies, in list order. A single item that fails ends the loop; a multi-value
// item that fails is logged and the loop goes on, but the write as a whole has then failed: a
// card with an NV item missing is not to be backed up and restarted as if all went well.
bool TMainFrm::WriteConfigItems() {
    bool all_written = true;
    const int count = static_cast<int>(ConfigItems.size());
    for (int index = 0; index < count; ++index) {
        const TConfigItem& item = ConfigItems[static_cast<size_t>(index)];
        if (NewVersion && item.NewVersion == 0) {
            continue;
        }
        ShowStep(QStringLiteral("Writing %1 of %2: %3")
                     .arg(index + 1)
                     .arg(count)
                     .arg(QString::fromStdString(DisplayText(item))));
        if (item.ValueCount <= 1) {
            const ItemOutcome outcome = WriteItem(item);
            if (outcome == ItemOutcome::kFailed) {
                AddLog(QStringLiteral("Failed to write config item..."));
            }
            if (outcome != ItemOutcome::kDone) {
                return false;
            }
            continue;
        }
        const ItemOutcome outcome = WriteMultiValueItem(item);
        if (outcome == ItemOutcome::kBroken) {
            return false;
        }
        all_written = all_written && outcome == ItemOutcome::kDone;
    }
    return all_written;
}

}  // namespace cardwright
