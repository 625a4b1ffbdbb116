#pragma once

#include <QMainWindow>
#include <QString>
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/model/config_item.h"
#include "app/model/ini_file.h"
#include "app/model/led_table.h"
#include "app/model/log_file.h"
#include "app/model/nv_compose.h"
#include "app/model/setting_file.h"
#include "app/user_prompts.h"

class QAction;
class QCheckBox;
class QComboBox;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QSplitter;
class QStatusBar;
class QTabWidget;
class QTableWidget;
class QTimer;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace cardwright {

class LibraryWorker;
class TAboutBox;
class TLedSettingFrm;
class TNewSoluationFrm;

// How an operation on one item ended. kBroken: the item's description holds a text that cannot
// be used as a number; the line naming it is logged, and the command is to close the card and
// end as failed.
enum class ItemOutcome { kDone, kFailed, kBroken };

// The configurator's main window: the tool bar and menu, "Common Info", the pages generated
// from Config_Info.ini, the LED page, and the operation log.
class TMainFrm : public QMainWindow {
    Q_OBJECT

  public:
    static constexpr const char* kDescriptionFile = "Config_Info.ini";
    static constexpr const char* kValuesFile = "config_value.ini";
    static constexpr const char* kLogFile = "ConfigLog.txt";

    // `program_dir` holds the two INI files and the log.
    TMainFrm(const QString& program_dir, std::unique_ptr<UserPrompts> prompts,
             QWidget* parent = nullptr);
    ~TMainFrm() override;

    // False when the INI files were missing: the program is to end.
    bool Created() const { return created_; }

    void FormShow();
    void FormDestroy();
    void Timer1Timer();
    void About1Click();

    // Reads the item list once and builds every described page and the LED page from it.
    void BuildConfigPages();
    // Creates the controls of the items of ConfigItems that belong to the page.
    void BuildPageItems(QWidget* tab, const std::string& page_id);
    void ApplyCardFilter(const std::string& card_type);
    TConfigItem* FindItem(const std::string& name);
    QComboBox* ValueBox(const std::string& name) const;
    QCheckBox* LabelBox(const std::string& name) const;
    void ToggleItemControl(QCheckBox* label_box);
    void FreeItems();
    void FreeItemsAndControls();

    void AddLog(const QString& message);

    // Every call of a library export made by the window goes through here: it runs on the
    // library's worker thread while the window keeps repainting.
    int32_t CallLibrary(const std::function<int32_t()>& call);

    // Runs one command to its end. Refused (false) while another command runs; meanwhile the
    // user's input to the window is kept out, the status bar tells what is going on, and a close
    // of the window waits for the command to end.
    bool RunCommand(const std::function<void()>& command);
    bool CommandRunning() const { return command_running_; }
    // The status bar's account of the step under way.
    void ShowStep(const QString& text);

    // Reading the card (main_unit_read.cpp).
    void ReadFromDataCardBtnClick();
    void ReadFromCardAndReport();
    bool ReadFromCard();
    void ReadCardInfo();
    // False when an item's description cannot be used (logged); the read is then broken off.
    bool ReadCommonItems();
    std::string ReadCardType();

    // Writing the card (main_unit_write.cpp).
    void WriteToDataCardBtnClick();

    // Solutions (main_unit_solutions.cpp).
    void LoadSolutionList();
    void LoadCurrentSolution();
    void ComboBox1Change();
    void NewBtnClick();
    void DelBtnClick();
    // Shows the stored values of a section of the values file (or of a setting file). Every
    // value is checked first: one that is no decimal integer fails the load (logged) and nothing
    // is shown.
    bool LoadItemValues(const std::string& section);
    bool LoadItemValues(const IniFile& file, const std::string& section);
    void LoadDatacardType(const std::string& section);
    void LoadDatacardType(const IniFile& file, const std::string& section);

    // Setting files (main_unit_setting_file.cpp). The window never points its values file away
    // from config_value.ini: a setting file is read and written through an IniFile of its own.
    void ExportBtnClick();
    void ImportBtnClick();
    void ExportToFile();
    void ExportVersionInfo(SettingFile& file);
    void ExportCommonItems(SettingFile& file);
    void ExportDeviceState(SettingFile& file);
    void ExportLedInfo(SettingFile& file);
    bool WriteCrc(const std::filesystem::path& target, const SettingFile& file);
    bool VerifyCrc(const IniFile& file) const;
    // What the value boxes and check boxes show, as an export reads it.
    ShownItems ShownItemsOnScreen() const;

    // Item values (main_unit_values.cpp). Card operations expect the connection to be open.
    void ShowItemText(QComboBox* value_box, const QString& text);
    // Shows an item's value from its NV item's data; false (logged) when its NV_BYTE is no
    // usable number. Items without a value box are left alone.
    bool ShowNvValue(const TConfigItem& item, std::span<const uint8_t> data);
    // Shows an item's default as its value, for an NV item the card does not hold.
    void ShowNvDefault(const TConfigItem& item);
    // Reads the NV items of a multi-value item and shows what was read (also after a failed
    // read). `status` is the failed read's request status. Not read without a value box.
    ItemOutcome ReadMultiValueItem(const TConfigItem& item, int32_t& status);
    // Composes and writes the NV item of an item of ConfigItems or of a single record.
    ItemOutcome WriteItem(const TConfigItem& record);
    // WriteItem for each NV item of a multi-value item, up to the first failure.
    ItemOutcome WriteMultiValueItem(const TConfigItem& item);
    bool ReadDeviceState();
    bool WriteDeviceState();
    void ResetUncheckedItems();
    bool ValidateItems();
    // Every value box empty and unticked, the LED step list "--", the LED table zero.
    void ClearAllValues();
    // The value boxes' texts, as the model's compositions take them.
    ShownText ShownTexts() const;

    // The LED page (main_unit_led.cpp).
    void ShowLedSteps();
    void ListView2Click();
    void ListView2Change();
    void ModifyLedMenuClick();
    void DeleteLedMenuClick();
    void DeleteAllLedMenuClick();
    bool ReadLedInfo();
    bool WriteLedInfo();
    void LoadLedInfo(const std::string& section);
    void LoadLedInfo(const IniFile& file, const std::string& section);
    std::string LedStatusLine(int status) const;

    // Main-window state shared by the commands.
    std::vector<TConfigItem> ConfigItems;
    bool ConfigLed = false;
    std::string CardType;
    bool PortSettingWritten = false;
    bool NewVersion = false;
    LedTable LedInfo;

    // Fixed controls.
    QToolBar* ToolBar1 = nullptr;
    QToolButton* ReadFromDataCardBtn = nullptr;
    QToolButton* WriteToDataCardBtn = nullptr;
    QToolButton* ImportBtn = nullptr;
    QToolButton* ExportBtn = nullptr;
    QToolButton* NewBtn = nullptr;
    QToolButton* SaveBtn = nullptr;
    QToolButton* DelBtn = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QWidget* CommonInfoSheet = nullptr;
    QWidget* LedSheet = nullptr;
    std::array<QWidget*, kPageSlots> PageSlots{};
    QTableWidget* CommonInfoLst = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QSplitter* Splitter1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QTimer* Timer1 = nullptr;
    QMenuBar* MainMenu1 = nullptr;
    TAboutBox* AboutBox = nullptr;
    QTreeWidget* ListView2 = nullptr;  // the LED statuses
    QTreeWidget* ListView1 = nullptr;  // the steps of the selected status
    QMenu* PopupMenu2 = nullptr;
    QAction* DeleteLedMenu = nullptr;
    QAction* ModifyLedMenu = nullptr;
    QAction* DeleteAllLedMenu = nullptr;
    TLedSettingFrm* LedSettingFrm = nullptr;
    TNewSoluationFrm* NewSoluationFrm = nullptr;

    UserPrompts& Prompts() { return *prompts_; }
    const IniFile& Description() const { return *description_; }
    IniFile& Values() { return *values_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct ItemControls {
        QCheckBox* label = nullptr;
        QComboBox* value = nullptr;
    };

    bool FormCreate();
    void CreateControls();
    void CreateToolBar();
    void CreateMenu();
    void CreateCommonInfo();
    void CreateLedPage();
    int SlotIndex(const QWidget* tab) const;
    int SelectedLedStatus() const;
    QTreeWidgetItem* FirstSelectedStep() const;
    void SaveLogLine(const std::string& line);
    // The log's pause after a line; inside a command the window repaints meanwhile.
    void LogPause();
    void SetCommandsEnabled(bool enabled);
    bool WriteConfigItems();
    bool ImportFile(const std::filesystem::path& chosen);
    void ReopenIniFiles();
    void ReportLogFailure(const QString& text);

    QString program_dir_;
    std::unique_ptr<UserPrompts> prompts_;
    std::optional<IniFile> description_;
    std::optional<IniFile> values_;
    LogFile log_;
    std::vector<std::string> log_lines_;  // the memo's lines, as the log file holds them
    bool log_in_step_ = false;            // the file equals log_lines_ but for the newest line
    bool log_readable_ = true;
    bool log_failure_reported_ = false;
    bool created_ = false;
    bool sized_ = false;
    bool items_described_ = false;  // the last build found CONFIG_ITEM
    std::unordered_map<std::string, size_t> item_index_;
    std::unordered_map<std::string, ItemControls> controls_;  // the first of a name
    std::vector<ItemControls> created_controls_;
    std::unique_ptr<LibraryWorker> worker_;
    bool command_running_ = false;
    bool close_requested_ = false;
};

}  // namespace cardwright
