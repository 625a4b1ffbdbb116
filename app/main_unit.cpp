#include "app/main_unit.h"
#include "app/qt_text.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QShowEvent>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>

#include "app/about_unit.h"
#include "app/item_check_box.h"
#include "app/led_setting_unit.h"
#include "app/library_worker.h"
#include "app/log_line.h"
#include "app/model/model_clock.h"
#include "app/new_sul_unit.h"

namespace cardwright {

namespace {

constexpr int kWindowWidth = 635;
constexpr int kWindowHeight = 458;
constexpr int kToolBarHeight = 40;
constexpr int kMemoHeight = 94;
constexpr std::chrono::milliseconds kStartUpDelay{500};
constexpr int kEmptyLinesBetweenRuns = 4;
constexpr int kLabelWidth = 140;
constexpr int kValueBoxOffset = 120;
const QString kLabelPrefix = QStringLiteral("LABEL_");

}  // namespace

TMainFrm::TMainFrm(const QString& program_dir, std::unique_ptr<UserPrompts> prompts,
                   QWidget* parent)
    : QMainWindow(parent),
      program_dir_(program_dir),
      prompts_(std::move(prompts)),
      log_(QDir(program_dir).filePath(QString::fromLatin1(kLogFile)).toStdString()),
      worker_(std::make_unique<LibraryWorker>()) {
    setObjectName(QStringLiteral("MainFrm"));
    setWindowTitle(QStringLiteral("Cardwright"));
    resize(kWindowWidth, kWindowHeight);
    CreateControls();
    created_ = FormCreate();
}

TMainFrm::~TMainFrm() {
    FormDestroy();
}

// The item records go; the controls go with the window.
void TMainFrm::FormDestroy() {
    FreeItems();
}

bool TMainFrm::FormCreate() {
    ConfigItems.clear();
    CardType.clear();
    const QDir dir(program_dir_);
    const QString description = dir.filePath(QString::fromLatin1(kDescriptionFile));
    const QString values = dir.filePath(QString::fromLatin1(kValuesFile));
    // A folder of either name is no configuration file.
    if (!QFileInfo(description).isFile() || !QFileInfo(values).isFile()) {
        Timer1->stop();
        prompts_->ShowMessage(this, QStringLiteral("Config file not exists..."));
        return false;
    }
    description_.emplace(description.toStdString());
    values_.emplace(values.toStdString());
    return true;
}

void TMainFrm::CreateControls() {
    CreateToolBar();
    CreateMenu();

    PageControl1 = new QTabWidget;
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    CreateCommonInfo();
    LedSheet = new QWidget;
    LedSheet->setObjectName(QStringLiteral("LedSheet"));
    PageControl1->addTab(LedSheet, QStringLiteral("Led Setting"));
    CreateLedPage();
    // The generated controls take the pages' font; a font set on each of them would cost more
    // than building them (every value box redoes its layout on a font change).
    LedSheet->setFont(ItemControlFont());
    for (size_t i = 0; i < PageSlots.size(); ++i) {
        PageSlots[i] = new QWidget;
        PageSlots[i]->setFont(ItemControlFont());
        PageSlots[i]->setObjectName(QStringLiteral("TabSheet%1").arg(i + 1));
        const int index = PageControl1->addTab(PageSlots[i], QString());
        PageControl1->setTabVisible(index, false);
    }

    Memo1 = new QPlainTextEdit;
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);

    Splitter1 = new QSplitter(Qt::Vertical);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->addWidget(PageControl1);
    Splitter1->addWidget(Memo1);
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);
    Splitter1->setChildrenCollapsible(false);
    Splitter1->setSizes({kWindowHeight, kMemoHeight});
    setCentralWidget(Splitter1);

    StatusBar1 = new QStatusBar;
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    for (int panel = 0; panel < 2; ++panel) {
        auto* label = new QLabel;
        label->setFixedWidth(50);
        StatusBar1->addWidget(label);
    }
    setStatusBar(StatusBar1);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(
        std::chrono::duration_cast<std::chrono::milliseconds>(AppClock().Real(kStartUpDelay)));
    connect(Timer1, &QTimer::timeout, this, &TMainFrm::Timer1Timer);
    Timer1->start();

    AboutBox = new TAboutBox(this);
    LedSettingFrm = new TLedSettingFrm(*prompts_, this);
    NewSoluationFrm = new TNewSoluationFrm(this);
}

void TMainFrm::CreateToolBar() {
    ToolBar1 = new QToolBar(QStringLiteral("ToolBar1"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFixedHeight(kToolBarHeight);
    ToolBar1->setIconSize(QSize(16, 16));
    addToolBar(Qt::TopToolBarArea, ToolBar1);

    auto add_button = [this](const char* name, const QString& caption, QStyle::StandardPixmap icon,
                             bool visible) {
        auto* button = new QToolButton;
        button->setObjectName(QString::fromLatin1(name));
        button->setText(caption);
        button->setIcon(style()->standardIcon(icon));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setAutoRaise(true);
        button->setFixedSize(73, 36);
        ToolBar1->addWidget(button)->setVisible(visible);
        return button;
    };
    ReadFromDataCardBtn =
        add_button("ReadFromDataCardBtn", QStringLiteral("Read"), QStyle::SP_ArrowDown, true);
    WriteToDataCardBtn = add_button("WriteToDataCardBtn", QStringLiteral("     Write     "),
                                    QStyle::SP_ArrowUp, true);
    ImportBtn =
        add_button("ImportBtn", QStringLiteral("Import"), QStyle::SP_DialogOpenButton, true);
    ExportBtn =
        add_button("ExportBtn", QStringLiteral("Export"), QStyle::SP_DialogSaveButton, true);
    NewBtn = add_button("NewBtn", QStringLiteral("New"), QStyle::SP_FileIcon, false);
    SaveBtn = add_button("SaveBtn", QStringLiteral("Save"), QStyle::SP_DriveFDIcon, false);
    DelBtn =
        add_button("DelBtn", QStringLiteral("---------删除-----"), QStyle::SP_TrashIcon, false);

    ComboBox1 = new QComboBox;
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->addItem(QStringLiteral("数据卡"));
    ToolBar1->addWidget(ComboBox1)->setVisible(false);

    connect(ReadFromDataCardBtn, &QToolButton::clicked, this, &TMainFrm::ReadFromDataCardBtnClick);
    connect(WriteToDataCardBtn, &QToolButton::clicked, this, &TMainFrm::WriteToDataCardBtnClick);
    connect(ImportBtn, &QToolButton::clicked, this, &TMainFrm::ImportBtnClick);
    connect(ExportBtn, &QToolButton::clicked, this, &TMainFrm::ExportBtnClick);
    connect(NewBtn, &QToolButton::clicked, this, &TMainFrm::NewBtnClick);
    connect(DelBtn, &QToolButton::clicked, this, &TMainFrm::DelBtnClick);
    // The user's choice only: selections the program makes itself load nothing.
    connect(ComboBox1, &QComboBox::activated, this, &TMainFrm::ComboBox1Change);
}

void TMainFrm::CreateMenu() {
    MainMenu1 = new QMenuBar;
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    setMenuBar(MainMenu1);
    QMenu* edit = MainMenu1->addMenu(QStringLiteral("Edit"));
    edit->setObjectName(QStringLiteral("Edit1"));
    struct Entry {
        const char* name;
        const char* text;
        void (TMainFrm::*handler)();
    };
    for (const Entry& entry : {Entry{"Read1", "Read", &TMainFrm::ReadFromDataCardBtnClick},
                               Entry{"Write1", "Write", &TMainFrm::WriteToDataCardBtnClick},
                               Entry{"Import1", "Import...", &TMainFrm::ImportBtnClick},
                               Entry{"Export1", "Export...", &TMainFrm::ExportBtnClick}}) {
        QAction* action = edit->addAction(QString::fromLatin1(entry.text));
        action->setObjectName(QString::fromLatin1(entry.name));
        connect(action, &QAction::triggered, this, entry.handler);
    }
    QMenu* help = MainMenu1->addMenu(QStringLiteral("Help"));
    help->setObjectName(QStringLiteral("Help1"));
    QAction* about = help->addAction(QStringLiteral("About"));
    about->setObjectName(QStringLiteral("About1"));
    connect(about, &QAction::triggered, this, &TMainFrm::About1Click);
}

void TMainFrm::CreateCommonInfo() {
    CommonInfoSheet = new QWidget;
    CommonInfoSheet->setObjectName(QStringLiteral("CommonInfoSheet"));
    PageControl1->addTab(CommonInfoSheet, QStringLiteral("Common Info"));

    CommonInfoLst = new QTableWidget(5, 2, CommonInfoSheet);
    auto* fill = new QVBoxLayout(CommonInfoSheet);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(CommonInfoLst);
    CommonInfoLst->setObjectName(QStringLiteral("CommonInfoLst"));
    CommonInfoLst->setHorizontalHeaderLabels({QStringLiteral("Desc"), QStringLiteral("Value")});
    CommonInfoLst->verticalHeader()->hide();
    CommonInfoLst->verticalHeader()->setDefaultSectionSize(22);
    CommonInfoLst->horizontalHeader()->setStretchLastSection(true);
    CommonInfoLst->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    CommonInfoLst->setColumnWidth(0, 150);
    CommonInfoLst->setColumnWidth(1, 300);
    CommonInfoLst->setShowGrid(true);
    CommonInfoLst->setSelectionBehavior(QAbstractItemView::SelectRows);
    CommonInfoLst->setEditTriggers(QAbstractItemView::NoEditTriggers);
    const char* rows[] = {
        "IMEI:", "Firmware Version:", "Dashboard Version:", "Hardware Version:", "CardType"};
    for (int row = 0; row < 5; ++row) {
        CommonInfoLst->setItem(row, 0, new QTableWidgetItem(QString::fromLatin1(rows[row])));
        CommonInfoLst->setItem(row, 1, new QTableWidgetItem(QStringLiteral("--")));
    }
    CommonInfoLst->setVisible(false);
}

void TMainFrm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!sized_) {
        sized_ = true;
        // The size is the whole window's: take the window system's frame off it.
        const QSize frame = frameGeometry().size() - geometry().size();
        resize(kWindowWidth - frame.width(), kWindowHeight - frame.height());
        FormShow();
    }
}

void TMainFrm::FormShow() {
    PageControl1->setCurrentWidget(CommonInfoSheet);
}

void TMainFrm::Timer1Timer() {
    if (command_running_) {
        return;  // a command the user started first: the start-up follows at the next tick
    }
    Timer1->stop();
    CommonInfoLst->setVisible(true);
    RunCommand([this] {
        BuildConfigPages();
        LoadSolutionList();
        LoadCurrentSolution();
    });
}

void TMainFrm::About1Click() {
    AboutBox->exec();
}

int TMainFrm::SlotIndex(const QWidget* tab) const {
    return PageControl1->indexOf(const_cast<QWidget*>(tab));
}

void TMainFrm::BuildConfigPages() {
    FreeItems();
    std::vector<std::string> repeated_items;
    auto items = ReadConfigItems(*description_, &repeated_items);
    items_described_ = items.has_value();
    if (items) {
        ConfigItems = std::move(*items);
        for (size_t i = 0; i < ConfigItems.size(); ++i) {
            item_index_.emplace(ConfigItems[i].Name, i);
        }
    }
    for (const std::string& name : repeated_items) {
        AddLog(QStringLiteral("Item %1 is listed twice in [CONFIG_ITEM]: the later one is "
                              "ignored...")
                   .arg(Q(name)));
    }
    std::vector<std::string> repeated_pages;
    const auto pages = ReadConfigPages(*description_, &repeated_pages);
    for (const std::string& id : repeated_pages) {
        AddLog(QStringLiteral("Page %1 is listed twice in [CONFIG_PAGE]: the later one is "
                              "ignored...")
                   .arg(Q(id)));
    }
    if (!pages) {
        prompts_->ShowMessage(this, QStringLiteral("Bad config files..."));
    } else {
        for (size_t i = 0; i < pages->size(); ++i) {
            const ConfigPage& page = (*pages)[i];
            if (i >= PageSlots.size()) {
                AddLog(
                    QStringLiteral("Page %1 (%2) not shown: there are tabs for five pages only...")
                        .arg(Q(page.id), Q(page.caption)));
                continue;
            }
            const int index = SlotIndex(PageSlots[i]);
            PageControl1->setTabVisible(index, true);
            PageControl1->setTabText(index, Q(page.caption));
            BuildPageItems(PageSlots[i], page.id);
        }
    }
    BuildPageItems(LedSheet, std::string(kLedPageId));
}

void TMainFrm::BuildPageItems(QWidget* tab, const std::string& page_id) {
    if (!items_described_) {
        prompts_->ShowMessage(this, QStringLiteral("Bad config files..."));
        return;
    }
    ItemLayout layout(PageControl1->height());
    for (const TConfigItem& item : ConfigItems) {
        if (item.AlongPage != page_id) {
            continue;
        }
        const auto at = layout.Current();
        auto* label = new ItemCheckBox(Q(item.Caption), kValueBoxOffset, tab);
        label->setObjectName(kLabelPrefix + Q(item.Name));
        label->setGeometry(at.x, at.y, kLabelWidth, label->sizeHint().height());
        label->setVisible(item.Visible);
        connect(label, &QCheckBox::clicked, this, [this, label] { ToggleItemControl(label); });

        auto* value = new QComboBox(tab);
        value->setObjectName(Q(item.Name));
        value->setEditable(item.UserInput);
        for (const auto& entry : SplitList(item.Range)) {
            value->addItem(Q(entry));
        }
        value->setCurrentIndex(-1);
        value->setGeometry(at.x + kValueBoxOffset, at.y - 5, item.ItemWidth,
                           value->sizeHint().height());
        value->setVisible(item.Visible);
        created_controls_.push_back({label, value});
        controls_.emplace(item.Name, created_controls_.back());
        layout.Advance(item.Visible);
    }
}

void TMainFrm::ApplyCardFilter(const std::string& card_type) {
    if (NewVersion) {
        for (QWidget* slot : PageSlots) {
            PageControl1->setTabVisible(SlotIndex(slot), false);
        }
        return;
    }
    if (card_type.empty() || !CardTypeListed(*description_, card_type)) {
        return;
    }
    for (auto item = ConfigItems.rbegin(); item != ConfigItems.rend(); ++item) {
        if (item->SCardTypeItem != 0) {
            continue;
        }
        if (QCheckBox* label = LabelBox(item->Name)) {
            label->setVisible(false);
        }
        if (QComboBox* value = ValueBox(item->Name)) {
            value->setVisible(false);
        }
    }
}

TConfigItem* TMainFrm::FindItem(const std::string& name) {
    const auto indexed = item_index_.find(name);
    if (indexed != item_index_.end() && indexed->second < ConfigItems.size() &&
        ConfigItems[indexed->second].Name == name) {
        return &ConfigItems[indexed->second];
    }
    // ConfigItems was changed behind the index's back.
    const auto found = std::find_if(ConfigItems.begin(), ConfigItems.end(),
                                    [&](const TConfigItem& item) { return item.Name == name; });
    return found == ConfigItems.end() ? nullptr : &*found;
}

QComboBox* TMainFrm::ValueBox(const std::string& name) const {
    const auto found = controls_.find(name);
    return found == controls_.end() ? nullptr : found->second.value;
}

QCheckBox* TMainFrm::LabelBox(const std::string& name) const {
    const auto found = controls_.find(name);
    return found == controls_.end() ? nullptr : found->second.label;
}

void TMainFrm::ToggleItemControl(QCheckBox* label_box) {
    if (auto* value = ValueBox(label_box->objectName().mid(kLabelPrefix.size()).toStdString())) {
        value->setEnabled(label_box->isChecked());
    }
}

void TMainFrm::FreeItems() {
    ConfigItems.clear();
    item_index_.clear();
}

void TMainFrm::FreeItemsAndControls() {
    // Every control made, also those of a name listed twice, which the index does not hold.
    for (const ItemControls& controls : created_controls_) {
        delete controls.label;
        delete controls.value;
    }
    created_controls_.clear();
    controls_.clear();
    FreeItems();
}

void TMainFrm::AddLog(const QString& message) {
    const bool first_of_run = std::all_of(
        log_lines_.begin(), log_lines_.end(),
        [](const std::string& line) { return QString::fromStdString(line).trimmed().isEmpty(); });
    if (first_of_run) {
        log_lines_.clear();
        log_in_step_ = false;
        log_readable_ = true;
        if (log_.Exists()) {
            if (auto earlier = log_.ReadLines()) {
                log_lines_ = std::move(*earlier);
                log_lines_.insert(log_lines_.end(), kEmptyLinesBetweenRuns, std::string());
            } else {
                // Never replace a log that could not be read: this run's lines are added to it.
                log_readable_ = false;
                log_in_step_ = true;
                ReportLogFailure(
                    QStringLiteral("Cannot open file %1").arg(Q(log_.Path().string())));
            }
        }
        QStringList shown;
        for (const auto& line : log_lines_) {
            shown << Q(line);
        }
        Memo1->setPlainText(shown.join(QLatin1Char('\n')));
    }
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(
        std::chrono::duration_cast<std::chrono::milliseconds>(AppClock().Now().time_since_epoch())
            .count());
    const QString line = LogLine(now, QLocale::system(), message);
    log_lines_.push_back(line.toStdString());
    Memo1->appendPlainText(line);
    LogPause();
    SaveLogLine(log_lines_.back());
}

// The file is written whole at the first line of a run (and after a failed write), then each
// line is appended: the file always equals the memo.
void TMainFrm::SaveLogLine(const std::string& line) {
    const bool saved = log_in_step_ ? log_.Append(line) : log_.Rewrite(log_lines_);
    if (saved) {
        log_in_step_ = true;
        return;
    }
    // A failed append may have left the file short of the memo: write it whole next time, unless
    // it holds earlier runs that could not be read.
    log_in_step_ = !log_readable_;
    ReportLogFailure(QStringLiteral("Cannot create file %1").arg(Q(log_.Path().string())));
}

// Once per run: later failures reach only the memo, and the operation that logged goes on.
void TMainFrm::ReportLogFailure(const QString& text) {
    if (!log_failure_reported_) {
        log_failure_reported_ = true;
        prompts_->ShowMessage(this, text);
    }
}

}  // namespace cardwright
