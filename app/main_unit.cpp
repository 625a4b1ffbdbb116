#include "app/main_unit.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyle>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <chrono>

#include "app/about_unit.h"
#include "app/item_check_box.h"
#include "app/item_rows.h"
#include "app/led_setting_unit.h"
#include "app/new_sul_unit.h"
#include "app/posted_calls.h"
#include "app/qt_text.h"
#include "app/question_boxes.h"
#include "cardwork/model/model_clock.h"
#include "cardwork/presenter/view_rules.h"

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
constexpr std::chrono::milliseconds kStartUpDelay{500};
// What the status bar's message area leaves for its frame and the size grip.
constexpr int kStatusMargins = 30;

}  // namespace

TMainFrm::TMainFrm(const QString& config_folder, CardAccess& card, std::ostream* script_output,
                   CardLender lender, QWidget* parent)
    : QMainWindow(parent), posted_(new PostedCalls(this)) {
    setObjectName(QStringLiteral("MainFrm"));
    setWindowTitle(QStringLiteral("Cardwright"));
    resize(kWindowWidth, kWindowHeight);
    CreateControls();
    WindowView& view = *this;
    presenter_ = std::make_unique<WindowPresenter>(view, card, date_time_,
                                                   config_folder.toStdString(), std::move(lender));
    rows_ = std::make_unique<ItemRows>(
        [this](size_t item, const std::string& text, int entry, bool ticked) {
            presenter_->ItemEdited(item, text, entry, ticked);
        });
    questions_ = std::make_unique<QuestionBoxes>(
        *this, *presenter_, QuestionBoxes::Dialogs{*LedSettingFrm, *NewSoluationFrm, *AboutBox});
    saved_state_ = presenter_->SavedWindowState();

    const WindowPresenter::Opened opened = presenter_->Open();
    for (const std::string& message : opened.messages) {
        if (script_output != nullptr) {
            *script_output << "message: " << message << '\n' << std::flush;
        } else {
            // Before the window is shown: nothing else runs meanwhile.
            QMessageBox::information(this, QApplication::applicationName(), Q(message),
                                     QMessageBox::Ok);
        }
    }
    created_ = opened.ok;
    if (!created_) {
        Timer1->stop();
    }
}

TMainFrm::~TMainFrm() = default;

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
    connect(PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
        for (int tab = 0; tab < kTabCount && presenter_; ++tab) {
            if (TabPage(static_cast<Tab>(tab)) == PageControl1->widget(index)) {
                presenter_->TabShown(static_cast<Tab>(tab));
            }
        }
    });

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
    LedSettingFrm = new TLedSettingFrm(this);
    NewSoluationFrm = new TNewSoluationFrm(this);
}

void TMainFrm::CreateToolBar() {
    ToolBar1 = new QToolBar(QStringLiteral("ToolBar1"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFixedHeight(kToolBarHeight);
    ToolBar1->setIconSize(kToolIconSize);
    addToolBar(Qt::TopToolBarArea, ToolBar1);

    const auto add_button = [this](const char* name, const QString& caption,
                                   QStyle::StandardPixmap icon, bool visible,
                                   bool (WindowPresenter::*command)()) {
        auto* button = new QToolButton;
        button->setObjectName(QString::fromLatin1(name));
        button->setText(caption);
        button->setIcon(style()->standardIcon(icon));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setAutoRaise(true);
        button->setFixedSize(kToolButtonSize);
        ToolBar1->addWidget(button)->setVisible(visible);
        if (command != nullptr) {
            connect(button, &QToolButton::clicked, this,
                    [this, command] { (presenter_.get()->*command)(); });
        }
    };
    add_button("ReadFromDataCardBtn", QStringLiteral("Read"), QStyle::SP_ArrowDown, true,
               &WindowPresenter::Read);
    add_button("WriteToDataCardBtn", QStringLiteral("     Write     "), QStyle::SP_ArrowUp, true,
               &WindowPresenter::Write);
    add_button("ImportBtn", QStringLiteral("Import"), QStyle::SP_DialogOpenButton, true,
               &WindowPresenter::Import);
    add_button("ExportBtn", QStringLiteral("Export"), QStyle::SP_DialogSaveButton, true,
               &WindowPresenter::Export);
    add_button("NewBtn", QStringLiteral("New"), QStyle::SP_FileIcon, false,
               &WindowPresenter::NewSolution);
    add_button("SaveBtn", QStringLiteral("Save"), QStyle::SP_DriveFDIcon, false, nullptr);
    add_button("DelBtn", QStringLiteral("---------删除-----"), QStyle::SP_TrashIcon, false,
               &WindowPresenter::DeleteSolution);

    ComboBox1 = new QComboBox;
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->addItem(QStringLiteral("数据卡"));
    ToolBar1->addWidget(ComboBox1)->setVisible(false);
    // The user's choice only: selections the program makes itself load nothing.
    connect(ComboBox1, &QComboBox::activated, this,
            [this](int index) { presenter_->ChooseSolution(index); });
}

void TMainFrm::CreateMenu() {
    MainMenu1 = new QMenuBar;
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    setMenuBar(MainMenu1);
    // Access keys ("&") underline a letter and leave the words as they are.
    QMenu* edit = MainMenu1->addMenu(QStringLiteral("&Edit"));
    edit->setObjectName(QStringLiteral("Edit1"));
    struct Entry {
        const char* name;
        const char* text;
        QKeyCombination key;
        bool (WindowPresenter::*command)();
    };
    for (const Entry& entry :
         {Entry{"Read1", "&Read", Qt::CTRL | Qt::Key_R, &WindowPresenter::Read},
          Entry{"Write1", "&Write", Qt::CTRL | Qt::Key_W, &WindowPresenter::Write},
          Entry{"Import1", "&Import...", Qt::CTRL | Qt::Key_O, &WindowPresenter::Import},
          Entry{"Export1", "&Export...", Qt::CTRL | Qt::Key_S, &WindowPresenter::Export},
          Entry{"About1", "&About", Qt::Key_F1, &WindowPresenter::About}}) {
        QMenu* menu = edit;
        if (entry.command == &WindowPresenter::About) {
            menu = MainMenu1->addMenu(QStringLiteral("&Help"));
            menu->setObjectName(QStringLiteral("Help1"));
        }
        QAction* action = menu->addAction(QString::fromLatin1(entry.text));
        action->setObjectName(QString::fromLatin1(entry.name));
        action->setShortcut(entry.key);
        connect(action, &QAction::triggered, this,
                [this, command = entry.command] { (presenter_.get()->*command)(); });
    }
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

QWidget* TMainFrm::TabPage(Tab tab) const {
    switch (tab) {
        case Tab::kCommonInfo:
            return CommonInfoSheet;
        case Tab::kLed:
            return LedSheet;
        default:
            return PageSlots[static_cast<size_t>(static_cast<int>(tab) -
                                                 static_cast<int>(Tab::kPage1))];
    }
}

void TMainFrm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shown_) {
        return;
    }
    shown_ = true;
    RestoreWindowState();
    FormShow();
}

// The last run's size and place when they are on a screen still; else the window's own size,
// which is the whole window's: the window system's frame is taken off it.
void TMainFrm::RestoreWindowState() {
    if (saved_state_) {
        const QRect saved(saved_state_->x, saved_state_->y, saved_state_->width,
                          saved_state_->height);
        const QScreen* screen = QGuiApplication::screenAt(saved.center());
        if (screen != nullptr) {
            setGeometry(saved);
            if (saved_state_->maximized) {
                showMaximized();
            }
            const QList<int> sizes = Splitter1->sizes();
            const int total = sizes.value(0) + sizes.value(1);
            Splitter1->setSizes({total - saved_state_->log_height, saved_state_->log_height});
            return;
        }
    }
    const QSize frame = frameGeometry().size() - geometry().size();
    resize(kWindowWidth - frame.width(), kWindowHeight - frame.height());
}

void TMainFrm::FormShow() {
    PageControl1->setCurrentWidget(CommonInfoSheet);
}

void TMainFrm::Timer1Timer() {
    // A command the user started first: the start-up follows at the next tick.
    if (presenter_->StartUp()) {
        Timer1->stop();
    }
}

void TMainFrm::closeEvent(QCloseEvent* event) {
    if (!presenter_->Close()) {
        // The command goes to its end first; the presenter closes the window then.
        questions_->Withdraw();
        event->ignore();
        return;
    }
    questions_->Withdraw();
    const QRect place = normalGeometry();
    presenter_->SaveWindowState({place.x(), place.y(), place.width(), place.height(), isMaximized(),
                                 Splitter1->sizes().value(1)});
    QMainWindow::closeEvent(event);
}

void TMainFrm::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    ShowFittedStatus();
}

// A menu entry under the mouse sends its (empty) hint to the status bar, which would wipe the
// outcome of the last command; a hint that ends puts the step or outcome back.
bool TMainFrm::event(QEvent* event) {
    if (event->type() == QEvent::StatusTip &&
        static_cast<QStatusTipEvent*>(event)->tip().isEmpty()) {
        ShowFittedStatus();
        return true;
    }
    return QMainWindow::event(event);
}

// The status text as it fits the status bar's message area, the middle of a path shortened
// first; the whole text is the status bar's tool tip.
void TMainFrm::ShowFittedStatus() {
    const QFontMetrics metrics(StatusBar1->font());
    const int room = StatusBar1->width() - SourcePanel->width() - kStatusMargins;
    StatusBar1->showMessage(Q(FitStatusText(status_, [&](std::string_view text) {
        return metrics.horizontalAdvance(Q(text)) <= room;
    })));
    StatusBar1->setToolTip(Q(status_.text));
}

bool TMainFrm::CaughtUp() const {
    return posted_->Drained();
}

void TMainFrm::Post(std::function<void()> change) {
    posted_->Post(std::move(change));
}

}  // namespace cardwright
