#pragma once

#include <QMainWindow>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>

#include "app/log_line.h"
#include "cardwork/card/card_access.h"
#include "cardwork/presenter/window_presenter.h"
#include "cardwork/presenter/window_view.h"

class QAction;
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
class QTreeWidget;

namespace cardwright {

class ItemRows;
class PostedCalls;
class QuestionBoxes;
class TAboutBox;
class TLedSettingFrm;
class TNewSoluationFrm;

// The configurator's main window: the tool bar and menu, "Common Info", the pages built from
// Config_Info.ini, the LED page and the operation log. It builds the widgets, forwards the user's
// actions to its presenter (which holds the window's state and runs the commands on a thread of
// its own) and shows what the presenter tells it (WindowView), carried to its own thread.
// Controls carry the names they always had (ReadFromDataCardBtn, CommonInfoLst, ...).
class TMainFrm : public QMainWindow, private WindowView {
    Q_OBJECT

  public:
    // `config_folder` holds the configuration files and the log; every call of the card goes
    // through `card`. With `script_output`, the messages of the window's opening go there
    // ("message: ...") instead of into message boxes. `lender` borrows the card for each command
    // (the program's: from ModemManager).
    TMainFrm(const QString& config_folder, CardAccess& card, std::ostream* script_output = nullptr,
             CardLender lender = {}, QWidget* parent = nullptr);
    ~TMainFrm() override;

    // False when the configuration files were missing: the program is to end.
    bool Created() const { return created_; }
    WindowPresenter& Presenter() { return *presenter_; }
    // Whether the window shows everything the presenter has told it so far.
    bool CaughtUp() const;

    // The window's own menu of tool bars: none, so that the tool bar cannot be hidden.
    QMenu* createPopupMenu() override { return nullptr; }

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

  private:
    void CreateControls();
    void CreateToolBar();
    void CreateMenu();
    void CreateCommonInfo();
    void CreateLedPage();
    void FormShow();
    void Timer1Timer();
    void RestoreWindowState();
    QWidget* TabPage(Tab tab) const;
    // The step list's first selected row, counted from 1; 0 when none is.
    int FirstSelectedStep() const;
    void ShowFittedStatus();
    // Runs `change` on the window's thread, after the calls made before it.
    void Post(std::function<void()> change);

    // WindowView (main_unit_view.cpp).
    void ShowTab(Tab tab, const std::string& caption, bool visible) override;
    void SelectTab(Tab tab) override;
    void AddPageRows(Tab tab, const std::vector<PageRow>& rows) override;
    void RemoveItems(const std::vector<size_t>& items) override;
    void ShowItem(size_t item, const ItemState& state) override;
    void HideItem(size_t item) override;
    void ShowCommonInfoList() override;
    void ShowCommonInfo(CommonInfoRow row, const std::string& value) override;
    void ShowLedSteps(const std::vector<LedStepRow>& rows) override;
    void ShowLedStep(int step, const LedStepRow& row) override;
    void ShowSolutions(const std::vector<std::string>& names, int selected) override;
    void SelectSolution(int index) override;
    void AppendLog(const std::vector<std::string>& lines) override;
    void ShowStatus(const StatusText& status) override;
    void ShowSource(const std::string& source) override;
    void ShowTitle(const std::string& title) override;
    void EnableCommands(bool enabled) override;
    void ShowMessage(QuestionId id, const std::string& text, MessageIcon icon) override;
    void AskYesNo(QuestionId id, const std::string& question) override;
    void AskFileName(QuestionId id, const FileQuestion& question) override;
    void AskLedStep(QuestionId id, const LedStep& preset) override;
    void AskNewSolution(QuestionId id) override;
    void ShowAbout(QuestionId id, const AboutText& about) override;
    void TakeScreenshot(QuestionId id, const std::string& file) override;
    void Synchronise(uint64_t token) override;
    void BringToFront() override;
    void CloseWindow() override;
    void ScriptFinished(int exit_status) override;

    QToolBar* ToolBar1 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QWidget* CommonInfoSheet = nullptr;
    QWidget* LedSheet = nullptr;
    std::array<QWidget*, kDescribedTabs> PageSlots{};
    QTableWidget* CommonInfoLst = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QSplitter* Splitter1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* SourcePanel = nullptr;  // the status bar's account of where the values come from
    QTimer* Timer1 = nullptr;
    QMenuBar* MainMenu1 = nullptr;
    QTreeWidget* ListView2 = nullptr;  // the LED statuses
    QTreeWidget* ListView1 = nullptr;  // the steps of the selected status
    QMenu* PopupMenu2 = nullptr;
    TAboutBox* AboutBox = nullptr;
    TLedSettingFrm* LedSettingFrm = nullptr;
    TNewSoluationFrm* NewSoluationFrm = nullptr;

    PostedCalls* posted_;  // a child: it goes with the window
    QtDateTime date_time_;
    std::unique_ptr<ItemRows> rows_;
    std::unique_ptr<QuestionBoxes> questions_;
    StatusText status_;  // the step or outcome the status bar shows between menu hints
    bool created_ = false;
    bool shown_ = false;
    std::optional<WindowState> saved_state_;  // the last run's size, place and splitter
    // Last: it ends its worker before the widgets go.
    std::unique_ptr<WindowPresenter> presenter_;
};

}  // namespace cardwright
