#pragma once

#include <QMainWindow>
#include <QString>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/model/config_item.h"
#include "app/model/ini_file.h"
#include "app/model/log_file.h"
#include "app/user_prompts.h"

class QCheckBox;
class QComboBox;
class QMenuBar;
class QPlainTextEdit;
class QSplitter;
class QStatusBar;
class QTabWidget;
class QTableWidget;
class QTimer;
class QToolBar;
class QToolButton;

namespace cardwright {

class TAboutBox;

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

    void BuildConfigPages();
    void BuildPageItems(QWidget* tab, const std::string& page_id);
    void ApplyCardFilter(const std::string& card_type);
    TConfigItem* FindItem(const std::string& name);
    QComboBox* ValueBox(const std::string& name) const;
    QCheckBox* LabelBox(const std::string& name) const;
    void ToggleItemControl(QCheckBox* label_box);
    void FreeItems();
    void FreeItemsAndControls();

    void AddLog(const QString& message);

    // Main-window state shared by the commands.
    std::vector<TConfigItem> ConfigItems;
    bool ConfigLed = false;
    std::string CardType;
    bool PortSettingWritten = false;
    bool NewVersion = false;

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

    UserPrompts& Prompts() { return *prompts_; }
    const IniFile& Description() const { return *description_; }
    IniFile& Values() { return *values_; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    bool FormCreate();
    void CreateControls();
    void CreateToolBar();
    void CreateMenu();
    void CreateCommonInfo();
    int SlotIndex(const QWidget* tab) const;
    void SaveLogLine(const std::string& line);
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
};

}  // namespace cardwright
