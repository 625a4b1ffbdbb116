#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QTableWidget>
#include <filesystem>

#include "app/card_session.h"
#include "app/main_unit.h"
#include "app/model/setting_file.h"
#include "app/qt_text.h"

namespace cardwright {

namespace {

const QString kIniFilter = QStringLiteral("Ini Files|*.ini");
constexpr int kCardTypeRow = 4;

}  // namespace

void TMainFrm::ExportBtnClick() {
    RunCommand([this] {
        bool present = false;
        {
            ShowStep(QStringLiteral("Looking for the card..."));
            CardSession probe(*this);
            present = probe.Opened();
        }
        if (!present) {
            // Without a card the values on screen are exported, once they check out.
            ResetUncheckedItems();
            if (ValidateItems()) {
                ExportToFile();
            }
            return;
        }
        if (ReadCardType() != CardType) {
            AddLog(QStringLiteral("datacard is different..."));
            Prompts().ShowMessage(this, QStringLiteral("Datacard is different,please read again."));
            return;
        }
        if (ReadFromCard()) {
            ExportToFile();
        } else {
            AddLog(QStringLiteral("Read from datacard failed"));
            ReopenIniFiles();
        }
    });
}

void TMainFrm::ExportToFile() {
    const QString chosen = Prompts().AskSaveFileName(this, kIniFilter);
    if (!chosen.isEmpty()) {
        AddLog(QStringLiteral("start to export file..."));
        const std::filesystem::path target = SettingFileName(chosen.toStdString());
        const QDir folder(program_dir_);
        const auto refusal = OwnIniFileRefusal(
            target, folder.filePath(QString::fromLatin1(kDescriptionFile)).toStdString(),
            folder.filePath(QString::fromLatin1(kValuesFile)).toStdString());
        if (refusal) {
            AddLog(Q(*refusal));
            Prompts().ShowMessage(this, Q(*refusal));
        } else {
            SettingFile file;
            file.card_type = CommonInfoLst->item(kCardTypeRow, 1)->text().toStdString();
            if (NewVersion) {
                ExportVersionInfo(file);
            }
            ExportCommonItems(file);
            ExportDeviceState(file);
            if (ConfigLed) {
                ExportLedInfo(file);
            }
            if (WriteCrc(target, file)) {
                AddLog(QStringLiteral("export file finished..."));
            }
        }
    }
    ReopenIniFiles();
}

void TMainFrm::ExportVersionInfo(SettingFile& file) {
    AddLog(QStringLiteral("start to export versin info..."));
    file.new_version = true;
}

void TMainFrm::ExportCommonItems(SettingFile& file) {
    AddLog(QStringLiteral("start to save common config item info..."));
    ExportedItems exported = CommonItemEntries(ConfigItems, ShownItemsOnScreen(), NewVersion);
    for (const std::string& line : exported.log) {
        AddLog(Q(line));
    }
    file.values.insert(file.values.end(), exported.entries.begin(), exported.entries.end());
}

void TMainFrm::ExportDeviceState(SettingFile& file) {
    AddLog(QStringLiteral("start to save device state item info..."));
    if (auto entry = DeviceStateEntry(ConfigItems, ShownItemsOnScreen(), NewVersion)) {
        file.values.push_back(std::move(*entry));
    }
}

// The LED lines go into DEFAULT, whatever the current solution: that is the section an import
// reads and the CRC seals.
void TMainFrm::ExportLedInfo(SettingFile& file) {
    AddLog(QStringLiteral("start export Led info..."));
    if (!LedInfo.Writable()) {
        // Cleared rows exported as patterns would erase a card's patterns when imported.
        AddLog(QStringLiteral("LED settings not exported: none were read, loaded or edited..."));
        return;
    }
    const auto lines = LedEntries(LedInfo);
    file.values.insert(file.values.end(), lines.begin(), lines.end());
}

// Seals the file with the CRC of its DEFAULT lines and writes it whole: the previous file of that
// name stays as it was unless all of the new one is on the disk.
bool TMainFrm::WriteCrc(const std::filesystem::path& target, const SettingFile& file) {
    const SettingFileWritten written = WriteSettingFile(target, file);
    if (!written.Ok()) {
        AddLog(QStringLiteral("Export failed: %1").arg(Q(written.error)));
        Prompts().ShowMessage(this, QStringLiteral("Export failed: %1").arg(Q(written.error)));
    }
    return written.Ok();
}

bool TMainFrm::VerifyCrc(const IniFile& file) const {
    return VerifySettingCrc(file, NewVersion);
}

void TMainFrm::ImportBtnClick() {
    RunCommand([this] {
        if (ReadCardType() != CardType) {
            AddLog(QStringLiteral("datacard is different..."));
            Prompts().ShowMessage(this, QStringLiteral("Datacard is different,please read again."));
        } else if (const QString chosen = Prompts().AskOpenFileName(this, kIniFilter);
                   !chosen.isEmpty() && !ImportFile(chosen.toStdString())) {
            AddLog(QStringLiteral("file not correct, import failed..."));
            ReopenIniFiles();
            return;
        }
        AddLog(QStringLiteral("import file finished..."));
        ReopenIniFiles();
    });
}

// Shows what a setting file holds; false when the file is not one that can be loaded (no values,
// or a value that is no number). A file whose seal does not hold is reported and shows nothing.
bool TMainFrm::ImportFile(const std::filesystem::path& chosen) {
    const IniFile file(chosen);
    {
        CardSession card(*this);
        if (!card.Opened()) {
            // No card to go by: the pages are built anew and filtered by the file's card type.
            card.Close();
            FreeItemsAndControls();
            BuildConfigPages();
        }
        ClearAllValues();
        ResetUncheckedItems();
        if (!card.Opened()) {
            LoadDatacardType(file, std::string(kDataCardTypeSection));
        }
    }
    if (!file.SectionExists(kValuesSection)) {
        return false;
    }
    if (!VerifyCrc(file)) {
        AddLog(QStringLiteral("CRC Verify failed, Import failed..."));
        return true;
    }
    if (!LoadItemValues(file, std::string(kValuesSection))) {
        return false;
    }
    LoadLedInfo(file, std::string(kValuesSection));
    return true;
}

// The configuration files are taken up afresh after an import or export, as at start-up; when
// one of them is gone, the program ends.
void TMainFrm::ReopenIniFiles() {
    const QDir folder(program_dir_);
    const QString description = folder.filePath(QString::fromLatin1(kDescriptionFile));
    const QString values = folder.filePath(QString::fromLatin1(kValuesFile));
    if (!QFileInfo(description).isFile() || !QFileInfo(values).isFile()) {
        prompts_->ShowMessage(this, QStringLiteral("Config file not exists..."));
        close();
        return;
    }
    description_.emplace(description.toStdString());
    values_.emplace(values.toStdString());
}

ShownItems TMainFrm::ShownItemsOnScreen() const {
    return [this](const TConfigItem& item) {
        ItemShown shown;
        if (const QComboBox* box = ValueBox(item.Name)) {
            shown.text = box->currentText().toStdString();
            shown.box_visible = !box->isHidden();
        }
        if (const QCheckBox* label = LabelBox(item.Name)) {
            shown.checked = label->isChecked();
        }
        return shown;
    };
}

}  // namespace cardwright
