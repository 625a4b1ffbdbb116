#pragma once

#include <QMainWindow>
#include <QString>
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/user_prompts.h"
#include "cardwork/card/card_work_seams.h"
#include "cardwork/card/card_work_state.h"
#include "cardwork/model/config_item.h"
#include "cardwork/model/ini_file.h"
#include "cardwork/model/led_table.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
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

class LibraryCard;
class LibraryWorker;
class TAboutBox;
class TLedSettingFrm;
class TNewSoluationFrm;
class WindowLog;

// The configurator's main window: the tool bar and menu, "Common Info", the pages generated
// from Config_Info.ini, the LED page, and the operation log. The card work itself (Read, Write,
// Import, Export) is done by the card-work layer on the window's state; the window builds the
// pages, shows what the work changes as it goes, asks the user, and runs the library's calls on
// LibraryWorker's thread.
class TMainFrm : public QMainWindow,
                 private ItemValues::Listener,
                 private CardWorkView,
                 private ProgressSink {
    Q_OBJECT

  private:
    // What the card work reads and changes; the public state below names its parts.
    CardWorkState state_;

  public:
    static constexpr const char* kDescriptionFile = "Config_Info.ini";
    static constexpr const char* kValuesFile = "config_value.ini";
    static constexpr const char* kLogFile = "ConfigLog.txt";
    // The window's size, position and splitter, kept between runs beside the INI files.
    static constexpr const char* kWindowStateFile = "window-state.ini";
    // Asked before an export reads the card again over values not yet written to it.
    static constexpr const char* kExportRereadQuestion =
        "Export reads the card again; the changes not yet written to the card will be lost. "
        "Export anyway?";

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
    // Creates the controls of the items of ConfigItems that belong to the page, laid out for a
    // page control of that height.
    void BuildPageItems(QWidget* tab, const std::string& page_id, int page_height);
    void ApplyCardFilter(const std::string& card_type);
    TConfigItem* FindItem(const std::string& name);
    QComboBox* ValueBox(const std::string& name) const;
    QCheckBox* LabelBox(const std::string& name) const;
    void ToggleItemControl(QCheckBox* label_box);
    void FreeItems();
    void FreeItemsAndControls();
    // FreeItemsAndControls and BuildConfigPages, the pages shown again only once they are whole.
    void RebuildConfigPages();

    void AddLog(const QString& message);

    // Runs one command to its end. Refused (false) while another command runs; meanwhile the
    // user's input to the window is kept out, the status bar tells what is going on, and a close
    // of the window waits for the command to end.
    bool RunCommand(const std::function<void()>& command);
    bool CommandRunning() const { return command_running_; }
    // The status bar's account of the step under way.
    void ShowStep(const QString& text);
    // What the command under way came to: the status bar shows it from the command's end until
    // the next command.
    void ShowOutcome(const std::string& text);
    // Where the values shown come from ("Card LW-X4201 on COM12, IMEI ...", "Stored solution
    // Factory (no card read)"), in the status bar and after the window's caption; empty: nothing
    // said.
    void ShowSource(const std::string& text);
    // The card, as every library call of the window reaches it.
    CardAccess& Card();

    // The commands (main_unit_read.cpp, main_unit_write.cpp, main_unit_setting_file.cpp).
    void ReadFromDataCardBtnClick();
    void ReadFromCardAndReport();
    void WriteToDataCardBtnClick();
    void ExportBtnClick();
    void ImportBtnClick();

    // Solutions (main_unit_solutions.cpp).
    void LoadSolutionList();
    void LoadCurrentSolution();
    void ComboBox1Change();
    void NewBtnClick();
    void DelBtnClick();
    // Shows the stored values of a section of the values file. A value that is no decimal
    // integer is logged, and its item's box shows nothing; the rest are shown.
    bool LoadItemValues(const std::string& section);

    // Item values (main_unit_values.cpp): the boxes show what the state's values hold.
    void ShowItemText(QComboBox* value_box, const QString& text);
    void ResetUncheckedItems();
    bool ValidateItems();
    // Every value box empty and unticked, the LED step list "--", the LED table zero.
    void ClearAllValues();

    // The LED page (main_unit_led.cpp). Card operations expect the card to be open.
    void ShowLedSteps();
    void ListView2Click();
    void ListView2Change();
    void ModifyLedMenuClick();
    void DeleteLedMenuClick();
    void DeleteAllLedMenuClick();
    bool ReadLedInfo();
    bool WriteLedInfo();
    void LoadLedInfo(const std::string& section);
    std::string LedStatusLine(int status) const;

    // Main-window state shared by the commands.
    std::vector<TConfigItem>& ConfigItems = state_.items;
    bool& ConfigLed = state_.config_led;
    std::string& CardType = state_.card_type;
    bool& NewVersion = state_.new_version;
    LedTable& LedInfo = state_.led;

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
    QLabel* SourcePanel = nullptr;  // the status bar's account of where the values come from
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

    // The window's own menu of tool bars: none, so that the tool bar cannot be hidden.
    QMenu* createPopupMenu() override { return nullptr; }

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;

  private:
    struct ItemControls {
        QCheckBox* label = nullptr;
        QComboBox* value = nullptr;
    };
    // The values and LED lines the screen shows.
    struct ScreenValues {
        std::vector<std::pair<std::string, bool>> items;  // text, ticked
        std::vector<std::string> led;
        friend bool operator==(const ScreenValues&, const ScreenValues&) = default;
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
    // The log's pause after a line; inside a command the window repaints meanwhile.
    void LogPause();
    // Long work of a command on the window's thread (the controls of many items built or
    // removed, many values shown) is counted in steps; after every batch of them the window
    // handles its events, so that it repaints and its log and status bar follow. The user's
    // input stays kept out, and no other command can start meanwhile.
    void WorkDone(int steps);
    // Runs work that needs no widget (reading the description) off the window's thread while a
    // command runs, the window answering meanwhile; outside a command, right here.
    void RunAside(const std::function<void()>& work);
    void SetCommandsEnabled(bool enabled);
    void ReopenIniFiles();
    // The size, position and splitter of the last run; false on the first run.
    bool RestoreWindowState();
    void SaveWindowState() const;
    // What the screen shows now is what was last read, loaded or written: an export's reread
    // asks before it replaces anything that differs from it.
    void Settle();
    ScreenValues OnScreen() const;
    // The seams the card work runs through here.
    CardWorkSeams Seams();
    // What the user chose in the boxes, into the state's values.
    void GatherValues();

    // What the card work shows and asks (main_unit_view.cpp).
    void ItemShown(size_t index) override;
    void ItemHidden(size_t index) override;
    void DescribedPagesHidden() override;
    void CommonInfoShown(CommonInfoRow row) override;
    void LedStepsCleared() override;
    void RebuildPages(CardWorkState& state, const IniFile& description) override;
    void ShowMessage(std::string_view text) override;
    std::optional<std::filesystem::path> AskOpenFileName() override;
    std::optional<std::filesystem::path> AskSaveFileName() override;
    bool ConfirmReread() override;
    void WriteEnding() override;
    void Report(const WorkProgress& progress) override;

    QString program_dir_;
    std::unique_ptr<UserPrompts> prompts_;
    std::optional<IniFile> description_;
    std::optional<IniFile> values_;
    std::unique_ptr<WindowLog> log_;
    bool created_ = false;
    bool shown_ = false;
    bool state_restored_ = false;  // the last run's size and position were taken up
    ScreenValues settled_;         // as last read, loaded or written
    std::string outcome_;
    QString status_line_;  // the step or outcome the status bar shows between menu hints
    std::filesystem::path chosen_file_;  // the file dialogs' last answer
    bool items_described_ = false;       // the last build found CONFIG_ITEM
    std::unordered_map<std::string, size_t> item_index_;
    std::unordered_map<std::string, ItemControls> controls_;  // the first of a name
    std::vector<ItemControls> created_controls_;
    std::vector<ItemControls> item_controls_;  // by the index of the item in ConfigItems
    std::unique_ptr<LibraryWorker> worker_;
    std::unique_ptr<LibraryCard> card_;
    bool command_running_ = false;
    bool close_requested_ = false;
    int steps_unanswered_ = 0;  // of WorkDone, since the window last handled its events
};

}  // namespace cardwright
