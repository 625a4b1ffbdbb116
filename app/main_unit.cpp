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
#include <QPlainTextEdit>
#include <QSettings>
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
#include "app/new_sul_unit.h"
#include "app/window_log.h"
#include "cardwork/card/library_card.h"
#include "cardwork/model/legacy_code_page.h"
#include "cardwork/model/model_clock.h"
#include "cardwork/model/program_settings.h"

namespace cardwright {

namespace {

// The window, frame included, and its fixed parts.
constexpr int kWindowWidth = 635;
constexpr int kWindowHeight = 458;
constexpr int kToolBarHeight = 40;
constexpr QSize kToolIconSize{16, 16};
constexpr QSize kToolButtonSize{73, 36};
constexpr int kMemoHeight = 94;
constexpr int kStatusPanels = 2;
constexpr int kStatusPanelWidth = 50;
// "Common Info": the list's rows and its "Desc" and "Value" columns.
constexpr int kCommonInfoColumns = 2;
constexpr int kCommonInfoRowHeight = 22;
constexpr int kDescColumnWidth = 150;
constexpr int kValueColumnWidth = 300;
// An item's controls: the check box at the layout's place, the value box on top of its far end
// and a little higher, so that the box's text and the caption share a base line.
constexpr int kLabelWidth = 140;
constexpr int kValueBoxOffset = 120;
constexpr int kValueBoxRaise = 5;
constexpr std::chrono::milliseconds kStartUpDelay{500};
const QString kLabelPrefix = QStringLiteral("LABEL_");
const QString kGeometryKey = QStringLiteral("geometry");
const QString kSplitterKey = QStringLiteral("splitter");
// The window's work per item, in steps of WorkDone.
constexpr int kBuildItemSteps = 10;
constexpr int kRemoveItemSteps = 2;

// The pages are not repainted while their controls are made or removed: the window answers
// meanwhile, and shows the pages once they are whole, as it did when it answered only then.
class FrozenPages {
  public:
    explicit FrozenPages(QWidget& pages) : pages_(pages), was_enabled_(pages.updatesEnabled()) {
        pages_.setUpdatesEnabled(false);
    }
    ~FrozenPages() { pages_.setUpdatesEnabled(was_enabled_); }
    FrozenPages(const FrozenPages&) = delete;
    FrozenPages& operator=(const FrozenPages&) = delete;

  private:
    QWidget& pages_;
    bool was_enabled_;
};

}  // namespace

TMainFrm::TMainFrm(const QString& program_dir, std::unique_ptr<UserPrompts> prompts,
                   QWidget* parent)
    : QMainWindow(parent),
      program_dir_(program_dir),
      prompts_(std::move(prompts)),
      worker_(std::make_unique<LibraryWorker>()),
      card_(std::make_unique<LibraryCard>(
          [worker = worker_.get()](const LibraryCall& call) { return worker->Run(call); })) {
    setObjectName(QStringLiteral("MainFrm"));
    setWindowTitle(QStringLiteral("Cardwright"));
    resize(kWindowWidth, kWindowHeight);
    CreateControls();
    state_restored_ = RestoreWindowState();
    log_ = std::make_unique<WindowLog>(
        QDir(program_dir).filePath(QString::fromLatin1(kLogFile)).toStdString(), *Memo1,
        WindowLog::Hooks{
            [this] { LogPause(); },
            [this](const QString& text) { prompts_->ShowMessage(this, text); },
            [this](const std::function<void()>& work) { RunAside(work); },
            [this](int steps) { WorkDone(steps); },
        });
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
    // Before any INI file is opened: the settings name the code page of files that are not UTF-8.
    const ProgramSettings settings =
        ReadProgramSettings(dir.filePath(Q(kProgramSettingsFile)).toStdString());
    for (const std::string& problem : settings.problems) {
        prompts_->ShowMessage(this, Q(problem));
    }
    SetLegacyCodePage(settings.legacy_code_page);
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
    for (int panel = 0; panel < kStatusPanels; ++panel) {
        auto* label = new QLabel;
        label->setFixedWidth(kStatusPanelWidth);
        StatusBar1->addWidget(label);
    }
    SourcePanel = new QLabel;
    SourcePanel->setObjectName(QStringLiteral("SourcePanel"));
    StatusBar1->addPermanentWidget(SourcePanel);
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
    ToolBar1->setIconSize(kToolIconSize);
    addToolBar(Qt::TopToolBarArea, ToolBar1);

    auto add_button = [this](const char* name, const QString& caption, QStyle::StandardPixmap icon,
                             bool visible) {
        auto* button = new QToolButton;
        button->setObjectName(QString::fromLatin1(name));
        button->setText(caption);
        button->setIcon(style()->standardIcon(icon));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setAutoRaise(true);
        button->setFixedSize(kToolButtonSize);
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

void TMainFrm::CreateCommonInfo() {
    CommonInfoSheet = new QWidget;
    CommonInfoSheet->setObjectName(QStringLiteral("CommonInfoSheet"));
    PageControl1->addTab(CommonInfoSheet, QStringLiteral("Common Info"));

    CommonInfoLst =
        new QTableWidget(static_cast<int>(kCommonInfoRows), kCommonInfoColumns, CommonInfoSheet);
    auto* fill = new QVBoxLayout(CommonInfoSheet);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(CommonInfoLst);
    CommonInfoLst->setObjectName(QStringLiteral("CommonInfoLst"));
    CommonInfoLst->setHorizontalHeaderLabels({QStringLiteral("Desc"), QStringLiteral("Value")});
    CommonInfoLst->verticalHeader()->hide();
    CommonInfoLst->verticalHeader()->setDefaultSectionSize(kCommonInfoRowHeight);
    CommonInfoLst->horizontalHeader()->setStretchLastSection(true);
    CommonInfoLst->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    CommonInfoLst->setColumnWidth(0, kDescColumnWidth);
    CommonInfoLst->setColumnWidth(1, kValueColumnWidth);
    CommonInfoLst->setShowGrid(true);
    CommonInfoLst->setSelectionBehavior(QAbstractItemView::SelectRows);
    CommonInfoLst->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (size_t row = 0; row < kCommonInfoRows; ++row) {
        const auto at = static_cast<int>(row);
        CommonInfoLst->setItem(at, 0, new QTableWidgetItem(Q(kCommonInfoCaptions[row])));
        CommonInfoLst->setItem(at, 1, new QTableWidgetItem(Q(kNoCommonInfo)));
    }
    CommonInfoLst->setVisible(false);
}

void TMainFrm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        if (!state_restored_) {
            // The size is the whole window's: take the window system's frame off it.
            const QSize frame = frameGeometry().size() - geometry().size();
            resize(kWindowWidth - frame.width(), kWindowHeight - frame.height());
        }
        FormShow();
    }
}

bool TMainFrm::RestoreWindowState() {
    const QSettings saved(QDir(program_dir_).filePath(QString::fromLatin1(kWindowStateFile)),
                          QSettings::IniFormat);
    const QByteArray geometry = saved.value(kGeometryKey).toByteArray();
    if (geometry.isEmpty() || !restoreGeometry(geometry)) {
        return false;
    }
    Splitter1->restoreState(saved.value(kSplitterKey).toByteArray());
    return true;
}

void TMainFrm::SaveWindowState() const {
    QSettings saved(QDir(program_dir_).filePath(QString::fromLatin1(kWindowStateFile)),
                    QSettings::IniFormat);
    saved.setValue(kGeometryKey, saveGeometry());
    saved.setValue(kSplitterKey, Splitter1->saveState());
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
    const FrozenPages frozen(*PageControl1);
    // Every page is laid out for the height the pages had when the build began, also when the
    // window is resized while it answers between the items.
    const int page_height = PageControl1->height();
    FreeItems();
    std::vector<std::string> repeated_items;
    std::vector<std::string> repeated_pages;
    std::optional<std::vector<TConfigItem>> items;
    std::optional<std::vector<ConfigPage>> pages;
    RunAside([&] {
        items = ReadConfigItems(*description_, &repeated_items);
        pages = ReadConfigPages(*description_, &repeated_pages);
    });
    items_described_ = items.has_value();
    if (items) {
        ConfigItems = std::move(*items);
        for (size_t i = 0; i < ConfigItems.size(); ++i) {
            item_index_.emplace(ConfigItems[i].Name, i);
        }
    }
    item_controls_.assign(ConfigItems.size(), ItemControls{});
    for (const std::string& name : repeated_items) {
        AddLog(QStringLiteral("Item %1 is listed twice in [CONFIG_ITEM]: the later one is "
                              "ignored...")
                   .arg(Q(name)));
    }
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
            BuildPageItems(PageSlots[i], page.id, page_height);
        }
    }
    BuildPageItems(LedSheet, std::string(kLedPageId), page_height);
    state_.values = ItemValues(
        ConfigItems, [this](const TConfigItem& item) { return ValueBox(item.Name) != nullptr; });
    state_.values.SetListener(this);
    Settle();
}

void TMainFrm::BuildPageItems(QWidget* tab, const std::string& page_id, int page_height) {
    if (!items_described_) {
        prompts_->ShowMessage(this, QStringLiteral("Bad config files..."));
        return;
    }
    ItemLayout layout(page_height);
    for (size_t index = 0; index < ConfigItems.size(); ++index) {
        const TConfigItem& item = ConfigItems[index];
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
        value->setGeometry(at.x + kValueBoxOffset, at.y - kValueBoxRaise, item.ItemWidth,
                           value->sizeHint().height());
        value->setVisible(item.Visible);
        created_controls_.push_back({label, value});
        controls_.emplace(item.Name, created_controls_.back());
        if (index < item_controls_.size()) {
            item_controls_[index] = created_controls_.back();
        }
        layout.Advance(item.Visible);
        WorkDone(kBuildItemSteps);
    }
}

void TMainFrm::ApplyCardFilter(const std::string& card_type) {
    cardwright::ApplyCardFilter(state_, *description_, card_type, *this);
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
    item_controls_.clear();
    state_.values = ItemValues();
}

void TMainFrm::FreeItemsAndControls() {
    const FrozenPages frozen(*PageControl1);
    // Nothing names the controls any more by the time the window answers between them. Every
    // control made goes, also those of a name listed twice, which the index does not hold.
    const std::vector<ItemControls> controls = std::move(created_controls_);
    created_controls_.clear();
    controls_.clear();
    FreeItems();
    for (const ItemControls& control : controls) {
        delete control.label;
        delete control.value;
        WorkDone(kRemoveItemSteps);
    }
}

void TMainFrm::RebuildConfigPages() {
    const FrozenPages frozen(*PageControl1);
    FreeItemsAndControls();
    BuildConfigPages();
}

void TMainFrm::AddLog(const QString& message) {
    log_->AddLog(message);
}

}  // namespace cardwright
