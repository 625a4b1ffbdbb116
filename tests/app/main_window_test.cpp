#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <fstream>
#include <iterator>

#include "app/about_unit.h"
#include "app/log_line.h"
#include "app/main_unit.h"
#include "cardwork/model/model_clock.h"
#include "tests/support/temp_dir.h"

using namespace cardwright;

namespace {

// Answers the window's questions and remembers them.
class RecordingPrompts : public UserPrompts {
  public:
    explicit RecordingPrompts(QStringList* messages) : messages_(messages) {}
    void ShowMessage(QWidget*, const QString& text) override { messages_->append(text); }
    QString AskOpenFileName(QWidget*, const QString&) override { return {}; }
    QString AskSaveFileName(QWidget*, const QString&) override { return {}; }
    bool AskLedStep(TLedSettingFrm&) override { return false; }
    bool AskNewSolution(TNewSoluationFrm&) override { return false; }
    bool AskYesNo(QWidget*, const QString&) override { return false; }

  private:
    QStringList* messages_;
};

std::string Item(const std::string& name, const std::string& page, const std::string& extra = "") {
    // The first key of a name wins: `extra` goes first so it can override the usual keys.
    return "[" + name + "]\r\n" + extra + "ALONG_PAGE=" + page + "\r\nDISPLAY=" + name +
           "\r\nRANGE=Off,On\r\nRANGE_VALUE=0,1\r\nNV_ID=10\r\nTYPE=BYTE\r\nVISIBLE=1\r\n";
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int LineCount(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<testsupport::TempDir> dir_;
    QStringList messages_;
    std::shared_ptr<void> clock_;

    void WriteFiles(const std::string& description,
                    const std::string& values = "[MAIN]\r\ncurrent=DEFAULT\r\n") {
        if (!description.empty()) {
            std::ofstream(dir_->Path() / "Config_Info.ini", std::ios::binary) << description;
        }
        if (!values.empty()) {
            std::ofstream(dir_->Path() / "config_value.ini", std::ios::binary) << values;
        }
    }

    std::unique_ptr<TMainFrm> Window() {
        auto window = std::make_unique<TMainFrm>(QString::fromStdString(dir_->Path().string()),
                                                 std::make_unique<RecordingPrompts>(&messages_));
        return window;
    }

    // The window shown with its page control 247 pixels high, started up.
    std::unique_ptr<TMainFrm> StartedWindow() {
        auto window = Window();
        window->Timer1->stop();
        window->show();
        window->PageControl1->setFixedHeight(247);
        QApplication::processEvents();
        window->Timer1Timer();
        return window;
    }

    static bool TabShown(TMainFrm& w, int slot) {
        return w.PageControl1->isTabVisible(w.PageControl1->indexOf(w.PageSlots[slot]));
    }

  private slots:
    void init() {
        dir_ = std::make_unique<testsupport::TempDir>();
        messages_.clear();
        clock_ = InstallAppClock(std::make_shared<TestClock>(50));
    }
    void cleanup() { clock_.reset(); }

    void fixedControlsAndCaption() {
        WriteFiles("[CONFIG_PAGE]\r\nP=Page\r\n");
        auto w = Window();
        QVERIFY(w->Created());
        QCOMPARE(w->windowTitle(), QStringLiteral("Cardwright"));
        QCOMPARE(w->ReadFromDataCardBtn->text(), QStringLiteral("Read"));
        QCOMPARE(w->WriteToDataCardBtn->text(), QStringLiteral("     Write     "));
        QCOMPARE(w->PageControl1->count(), 7);
        QCOMPARE(w->PageControl1->tabText(0), QStringLiteral("Common Info"));
        QCOMPARE(w->PageControl1->tabText(1), QStringLiteral("Led Setting"));
        for (int slot = 0; slot < 5; ++slot) {
            QVERIFY(!TabShown(*w, slot));
        }
        QCOMPARE(w->CommonInfoLst->rowCount(), 5);
        QCOMPARE(w->CommonInfoLst->item(4, 0)->text(), QStringLiteral("CardType"));
        QCOMPARE(w->CommonInfoLst->item(0, 1)->text(), QStringLiteral("--"));
        QVERIFY(w->findChild<QToolButton*>(QStringLiteral("NewBtn")) != nullptr);
        // Looked at before the window handles any event: the timer's 10 ms may be over by the
        // time it has been shown.
        QCOMPARE(w->Timer1->interval(), 10);  // 500 ms on the test clock
        QVERIFY(w->Timer1->isActive());
        w->show();
        QApplication::processEvents();
        QCOMPARE(w->frameGeometry().size(), QSize(635, 458));
        QCOMPARE(w->PageControl1->currentWidget(), w->CommonInfoSheet);
    }

    void missingFilesEndTheProgram() {
        WriteFiles("", "[MAIN]\r\ncurrent=DEFAULT\r\n");
        QVERIFY(!Window()->Created());
        QCOMPARE(messages_, QStringList{QStringLiteral("Config file not exists...")});
        messages_.clear();
        std::filesystem::remove(dir_->Path() / "config_value.ini");
        WriteFiles("[CONFIG_PAGE]\r\nP=Page\r\n", "");
        QVERIFY(!Window()->Created());
        QCOMPARE(messages_, QStringList{QStringLiteral("Config file not exists...")});
    }

    void pagesInKeyOrderWithTheirCaptions() {
        std::string description =
            "[CONFIG_PAGE]\r\nP1=One\r\nP2=Two\r\nP3=Three\r\nP4=Four\r\nP5=Five\r\n[CONFIG_ITEM]"
            "\r\nA=1\r\n" +
            Item("A", "P3");
        WriteFiles(description);
        auto w = StartedWindow();
        const QStringList captions{"One", "Two", "Three", "Four", "Five"};
        for (int slot = 0; slot < 5; ++slot) {
            QVERIFY(TabShown(*w, slot));
            QCOMPARE(w->PageControl1->tabText(w->PageControl1->indexOf(w->PageSlots[slot])),
                     captions[slot]);
        }
        QVERIFY(w->CommonInfoLst->isVisible());
        QCOMPARE(w->ValueBox("A")->parentWidget(), w->PageSlots[2]);
        QVERIFY(messages_.isEmpty());
    }

    void sixthPageIsReportedAndLeftOut() {
        WriteFiles(
            "[CONFIG_PAGE]\r\nP1=1\r\nP2=2\r\nP3=3\r\nP4=4\r\nP5=5\r\nP6=Six\r\n[CONFIG_ITEM]\r\nA="
            "1\r\n" +
            Item("A", "P6"));
        auto w = StartedWindow();
        QVERIFY(w->Memo1->toPlainText().contains(QStringLiteral("Page P6 (Six) not shown")));
        QVERIFY(w->ValueBox("A") == nullptr);
        QCOMPARE(w->ConfigItems.size(), size_t{1});
    }

    void rowsColumnsAndHiddenItems() {
        std::string description = "[CONFIG_PAGE]\r\nP=Page\r\n[CONFIG_ITEM]\r\n";
        std::string sections;
        for (int i = 1; i <= 8; ++i) {
            const std::string name = "I" + std::to_string(i);
            description += name + "=1\r\n";
            sections +=
                Item(name, "P", i == 2 ? "VISIBLE=0\r\n" : (i == 8 ? "ITEM_WIDTH=150\r\n" : ""));
        }
        WriteFiles(description + sections);
        auto w = StartedWindow();
        QCOMPARE(w->PageControl1->height(), 247);
        // I2 is hidden and takes no row: I1, I3 ... I7 fill the first column, I8 starts the next.
        const std::vector<std::pair<std::string, QPoint>> expected{
            {"I1", {10, 20}},  {"I2", {10, 50}},  {"I3", {10, 50}},  {"I4", {10, 80}},
            {"I5", {10, 110}}, {"I6", {10, 140}}, {"I7", {10, 170}}, {"I8", {250, 20}}};
        for (const auto& [name, at] : expected) {
            QCheckBox* label = w->LabelBox(name);
            QComboBox* value = w->ValueBox(name);
            QVERIFY(label && value);
            QCOMPARE(label->pos(), at);
            QCOMPARE(label->width(), 140);
            QCOMPARE(value->pos(), at + QPoint(120, -5));
            QCOMPARE(label->text(), QString::fromStdString(name + ": "));
        }
        QVERIFY(!w->LabelBox("I2")->isVisibleTo(w->PageSlots[0]));
        QCOMPARE(w->ValueBox("I8")->width(), 150);
        QCOMPARE(w->ValueBox("I1")->count(), 2);
        QCOMPARE(w->ValueBox("I1")->currentIndex(), -1);
        QVERIFY(!w->ValueBox("I1")->isEditable());
    }

    void itemDetails() {
        WriteFiles(
            "[CONFIG_PAGE]\r\nPAGE_NET=Net\r\n[CONFIG_ITEM]\r\nA=1\r\nB=1\r\nGHOST=1\r\nU=1\r\nL="
            "1\r\n" +
            Item("A", "PAGE_NET") + Item("B", "page_net") +
            Item("U", "PAGE_NET", "USER_INPUT=1\r\n") + Item("L", "PAGE_LED"));
        auto w = StartedWindow();
        QVERIFY(w->ValueBox("A") != nullptr);
        QVERIFY2(w->ValueBox("B") == nullptr, "page ids compare with case");
        QVERIFY(w->FindItem("B") != nullptr);
        QVERIFY2(w->FindItem("GHOST") == nullptr, "a key without a section is skipped");
        QCOMPARE(w->ConfigItems.size(), size_t{4});
        QVERIFY(w->ValueBox("U")->isEditable());
        QCOMPARE(w->ValueBox("L")->parentWidget(), w->LedSheet);
        QVERIFY(messages_.isEmpty());

        QCheckBox* label = w->LabelBox("A");
        label->click();
        QVERIFY(label->isChecked());
        QVERIFY(w->ValueBox("A")->isEnabled());
        label->click();
        QVERIFY(!w->ValueBox("A")->isEnabled());

        w->FreeItemsAndControls();
        QVERIFY(w->ConfigItems.empty());
        QVERIFY(w->ValueBox("A") == nullptr);
        QVERIFY(w->LabelBox("A") == nullptr);
    }

    void badDescriptionFiles() {
        WriteFiles("[CONFIG_ITEM]\r\nL=1\r\n" + Item("L", "PAGE_LED"));
        auto w = StartedWindow();
        QCOMPARE(messages_, QStringList{QStringLiteral("Bad config files...")});
        QVERIFY2(w->ValueBox("L") != nullptr, "the LED page's items are still built");

        messages_.clear();
        WriteFiles("[CONFIG_PAGE]\r\nP1=One\r\nP2=Two\r\n");
        auto without_items = StartedWindow();
        QCOMPARE(messages_.size(), 3);  // once for each page being built
        QVERIFY(without_items->ConfigItems.empty());
    }

    void cardTypeFilter() {
        const std::string description =
            "[CONFIG_PAGE]\r\nP=Page\r\n[CONFIG_ITEM]\r\nKEEP=1\r\nSKIP=1\r\n" + Item("KEEP", "P") +
            Item("SKIP", "P", "SCARDTYPE_ITEM=0\r\n") +
            "[SCARDTYPE]\r\nSCARDTYPE_LIST=MODEL-A,MODEL-B\r\n";
        WriteFiles(description);
        for (const char* type : {"MODEL-A", "MODEL"}) {
            auto w = StartedWindow();
            w->ApplyCardFilter(type);
            QVERIFY2(!w->ValueBox("SKIP")->isVisibleTo(w->PageSlots[0]), type);
            QVERIFY2(!w->LabelBox("SKIP")->isVisibleTo(w->PageSlots[0]), type);
            QVERIFY2(w->ValueBox("KEEP")->isVisibleTo(w->PageSlots[0]), type);
        }
        for (const char* type : {"MODEL-C", "model-a", ""}) {
            auto w = StartedWindow();
            w->ApplyCardFilter(type);
            QVERIFY2(w->ValueBox("SKIP")->isVisibleTo(w->PageSlots[0]), type);
        }
    }

    void newVersionFlagHidesTheDescribedTabs() {
        WriteFiles("[CONFIG_PAGE]\r\nP1=One\r\nP2=Two\r\n[CONFIG_ITEM]\r\nA=1\r\n" +
                   Item("A", "P1"));
        auto w = StartedWindow();
        w->NewVersion = true;
        w->ApplyCardFilter("MODEL-A");
        QVERIFY(!TabShown(*w, 0));
        QVERIFY(!TabShown(*w, 1));
        QVERIFY(w->PageControl1->isTabVisible(0));
        QVERIFY(w->PageControl1->isTabVisible(1));
        w->BuildConfigPages();
        QVERIFY2(TabShown(*w, 0), "the next build shows them again");
    }

    void cp936DescriptionShowsItsCaptions() {
        // As a Chinese Windows writes them (CP936): "指示灯" and "颜色", "灭" and "蓝色".
        WriteFiles(
            "[CONFIG_PAGE]\r\nP=\xd6\xb8\xca\xbe\xb5\xc6\r\n[CONFIG_ITEM]\r\nC=1\r\n"
            "[C]\r\nALONG_PAGE=P\r\nDISPLAY=\xd1\xd5\xc9\xab\r\n"
            "RANGE=\xc3\xf0,\xc0\xb6\xc9\xab\r\nRANGE_VALUE=0,1\r\nNV_ID=10\r\nTYPE=BYTE\r\n"
            "VISIBLE=1\r\n");
        auto w = StartedWindow();
        QCOMPARE(w->PageControl1->tabText(w->PageControl1->indexOf(w->PageSlots[0])),
                 QStringLiteral("指示灯"));
        QCOMPARE(w->LabelBox("C")->text(), QStringLiteral("颜色: "));
        QCOMPARE(w->ValueBox("C")->itemText(0), QStringLiteral("灭"));
        QCOMPARE(w->ValueBox("C")->itemText(1), QStringLiteral("蓝色"));
        QVERIFY(messages_.isEmpty());
    }

    void settingsFileNamesTheCodePage() {
        const std::string description =
            "[CONFIG_PAGE]\r\nP=Caf\xe9\r\n[CONFIG_ITEM]\r\nA=1\r\n" + Item("A", "P");
        WriteFiles(description);
        std::ofstream(dir_->Path() / "cardwright.conf") << "legacy_codepage = CP1252\n";
        auto w = StartedWindow();
        QCOMPARE(w->PageControl1->tabText(w->PageControl1->indexOf(w->PageSlots[0])),
                 QStringLiteral("Café"));
        QVERIFY(messages_.isEmpty());

        // A code page that cannot be had is said, and the default taken.
        std::ofstream(dir_->Path() / "cardwright.conf") << "legacy_codepage = CP1252X\n";
        w = StartedWindow();
        QCOMPARE(messages_, QStringList{QStringLiteral(
                                "cardwright.conf, line 1: no code page \"CP1252X\" is known; "
                                "files that are not UTF-8 are read in CP936")});
        QVERIFY(w->Created());
    }

    void aboutBox() {
        TAboutBox about;
        QCOMPARE(about.windowTitle(), QStringLiteral("About"));
        QCOMPARE(about.size(), QSize(298, 213));
        QVERIFY(about.findChild<QLabel*>(QStringLiteral("ProductName"))->text() ==
                QStringLiteral("Product Name: Cardwright"));
        QVERIFY(about.findChild<QLabel*>(QStringLiteral("Version"))->text() ==
                QStringLiteral("Version: V100R001B204"));
        QTimer::singleShot(
            0, &about, [&] { about.findChild<QPushButton*>(QStringLiteral("OKButton"))->click(); });
        QCOMPARE(about.exec(), int(QDialog::Accepted));
    }

    void logWithoutEarlierFile() {
        WriteFiles("[CONFIG_PAGE]\r\nP=Page\r\n");
        auto w = Window();
        w->AddLog(QStringLiteral("Init port succeed..."));
        const std::string file = ReadFile(dir_->Path() / "ConfigLog.txt");
        QCOMPARE(LineCount(file), 1);
        QVERIFY(
            QString::fromStdString(file).endsWith(QStringLiteral("  Init port succeed...\r\n")));
        QCOMPARE(w->Memo1->toPlainText() + QStringLiteral("\r\n"), QString::fromStdString(file));
    }

    void logWithEarlierRuns() {
        WriteFiles("[CONFIG_PAGE]\r\nP=Page\r\n");
        std::ofstream(dir_->Path() / "ConfigLog.txt", std::ios::binary)
            << "run 1 a\r\nrun 1 b\nrun 1 c\r\n";
        auto w = Window();
        w->AddLog(QStringLiteral("first"));
        w->AddLog(QStringLiteral("second"));
        const std::string file = ReadFile(dir_->Path() / "ConfigLog.txt");
        QCOMPARE(LineCount(file), 3 + 4 + 2);
        QVERIFY(file.starts_with("run 1 a\r\nrun 1 b\r\nrun 1 c\r\n\r\n\r\n\r\n\r\n"));
        QCOMPARE(w->Memo1->toPlainText().split(QLatin1Char('\n')).size(), 9);
        QCOMPARE(w->Memo1->toPlainText().replace(QLatin1Char('\n'), QStringLiteral("\r\n")) +
                     QStringLiteral("\r\n"),
                 QString::fromStdString(file));
    }

    void logLineAtMidnightHasNoTime() {
        WriteFiles("[CONFIG_PAGE]\r\nP=Page\r\n");
        const QDateTime midnight(QDate(2008, 3, 14), QTime(0, 0));
        clock_.reset();
        clock_ = InstallAppClock(std::make_shared<TestClock>(50, [&] {
            return std::chrono::system_clock::time_point(
                std::chrono::milliseconds(midnight.toMSecsSinceEpoch()));
        }));
        auto w = Window();
        w->AddLog(QStringLiteral("at midnight"));
        const QString expected =
            QLocale::system().toString(QDate(2008, 3, 14), QLocale::ShortFormat) +
            QStringLiteral("  at midnight");
        QCOMPARE(w->Memo1->toPlainText(), expected);

        const QLocale us(QLocale::English, QLocale::UnitedStates);
        QCOMPARE(LogLine(midnight, us, QStringLiteral("m")), QStringLiteral("3/14/08  m"));
        QCOMPARE(LogLine(QDateTime(QDate(2008, 3, 14), QTime(9, 5, 31)), us, QStringLiteral("m")),
                 QStringLiteral("3/14/08 9:05:31 AM  m"));
    }

    // As in a terminal: the view shows the newest line when the earlier runs are loaded and as
    // lines come, unless the user scrolled up to read; scrolled back down, it follows again.
    // The earlier runs are more than one slice of the memo's loading.
    void logViewFollowsTheNewestLine() {
        WriteFiles("[CONFIG_PAGE]\r\nP=Page\r\n");
        {
            std::ofstream earlier(dir_->Path() / "ConfigLog.txt", std::ios::binary);
            for (int i = 0; i < 1200; ++i) {
                earlier << "earlier line " << i << "\r\n";
            }
        }
        auto w = Window();
        w->Timer1->stop();
        w->show();
        QApplication::processEvents();
        QScrollBar* bar = w->Memo1->verticalScrollBar();
        w->AddLog(QStringLiteral("first"));
        // The earlier runs, shown in slices, are the file's lines, as the memo always is.
        const std::string file = ReadFile(dir_->Path() / "ConfigLog.txt");
        QCOMPARE(LineCount(file), 1200 + 4 + 1);
        QCOMPARE(w->Memo1->toPlainText().replace(QLatin1Char('\n'), QStringLiteral("\r\n")) +
                     QStringLiteral("\r\n"),
                 QString::fromStdString(file));
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());
        w->AddLog(QStringLiteral("second"));
        QCOMPARE(bar->value(), bar->maximum());

        bar->setValue(10);
        w->AddLog(QStringLiteral("third"));
        QCOMPARE(bar->value(), 10);

        bar->setValue(bar->maximum());
        w->AddLog(QStringLiteral("fourth"));
        QCOMPARE(bar->value(), bar->maximum());
    }

    // The window comes back where it was left, at its size and with its splitter; the first run
    // has the window's own size.
    void windowStateIsKeptBetweenRuns() {
        WriteFiles("[CONFIG_PAGE]\r\nP=Page\r\n");
        const QRect moved(120, 90, 900, 640);
        QList<int> sizes;
        {
            auto first = Window();
            first->Timer1->stop();
            first->show();
            QApplication::processEvents();
            QCOMPARE(first->frameGeometry().size(), QSize(635, 458));
            first->setGeometry(moved);
            first->Splitter1->setSizes({400, 150});
            QApplication::processEvents();
            sizes = first->Splitter1->sizes();
            QVERIFY(first->close());
        }
        auto again = Window();
        again->Timer1->stop();
        again->show();
        QApplication::processEvents();
        QCOMPARE(again->geometry(), moved);
        QCOMPARE(again->Splitter1->sizes(), sizes);
    }

    // The Edit and Help menus have access keys and shortcuts; the words of the captions stay,
    // and the tool bar offers no menu to hide it.
    void menusHaveAccessKeysAndShortcuts() {
        WriteFiles("[CONFIG_PAGE]\r\nP=Page\r\n");
        auto w = StartedWindow();
        const struct {
            const char* name;
            const char* words;
            QKeySequence key;
        } entries[] = {
            {"Read1", "Read", QKeySequence(Qt::CTRL | Qt::Key_R)},
            {"Write1", "Write", QKeySequence(Qt::CTRL | Qt::Key_W)},
            {"Import1", "Import...", QKeySequence(Qt::CTRL | Qt::Key_O)},
            {"Export1", "Export...", QKeySequence(Qt::CTRL | Qt::Key_S)},
            {"About1", "About", QKeySequence(Qt::Key_F1)},
        };
        for (const auto& entry : entries) {
            auto* action = w->findChild<QAction*>(QString::fromLatin1(entry.name));
            QVERIFY2(action != nullptr, entry.name);
            QCOMPARE(action->shortcut(), entry.key);
            QCOMPARE(QString(action->text()).remove(QLatin1Char('&')),
                     QString::fromLatin1(entry.words));
        }
        auto* edit = w->findChild<QMenu*>(QStringLiteral("Edit1"));
        QCOMPARE(QKeySequence::mnemonic(edit->title()), QKeySequence(Qt::ALT | Qt::Key_E));
        QCOMPARE(QString(edit->title()).remove(QLatin1Char('&')), QStringLiteral("Edit"));
        QVERIFY(w->createPopupMenu() == nullptr);

        // Ctrl+R reads (here: config_value.ini names no solution, and the Read says so).
        QApplication::setActiveWindow(w.get());
        w->StatusBar1->clearMessage();
        QTest::keyClick(w.get(), Qt::Key_R, Qt::ControlModifier);
        const QString outcome =
            QStringLiteral("Nothing shown: config_value.ini names no solution that exists");
        QCOMPARE(w->StatusBar1->currentMessage(), outcome);
        // The menu entry under the mouse sends its empty hint, as the menu bar's menus do; the
        // outcome stays.
        w->findChild<QAction*>(QStringLiteral("Write1"))->showStatusText(w->MainMenu1);
        QCOMPARE(w->StatusBar1->currentMessage(), outcome);
    }

    void logFailureIsReportedOnceAndTheLineStays() {
        WriteFiles("[CONFIG_PAGE]\r\nP=Page\r\n");
        std::filesystem::create_directory(dir_->Path() / "ConfigLog.txt");  // cannot be a file
        auto w = Window();
        w->AddLog(QStringLiteral("one"));
        w->AddLog(QStringLiteral("two"));
        QCOMPARE(messages_.size(), 1);
        QVERIFY(messages_[0].startsWith(QStringLiteral("Cannot ")));
        QVERIFY(w->Memo1->toPlainText().endsWith(QStringLiteral("  two")));
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
