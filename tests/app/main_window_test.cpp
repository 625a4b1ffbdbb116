// The Qt window's own part: its fixed controls, the pages built from the presenter's rows, the
// menus, the log's view, the status bar, the window's state between runs, and the time stamps
// in the user's locale.
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTableWidget>
#include <QtTest>

#include "app/item_check_box.h"
#include "app/log_line.h"
#include "tests/app/window_fixture.h"
#include "tests/support/files.h"

using namespace cardwright;
using testsupport::WindowSetup;
using testsupport::WindowUnderTest;

namespace {

std::string Item(const std::string& name, const std::string& page, const std::string& extra = "") {
    // The first key of a name wins: `extra` goes first so it can override the usual keys.
    return "[" + name + "]\r\n" + extra + "ALONG_PAGE=" + page + "\r\nDISPLAY=" + name +
           "\r\nRANGE=Off,On\r\nRANGE_VALUE=0,1\r\nNV_ID=10\r\nTYPE=BYTE\r\nVISIBLE=1\r\n";
}

// A window without a card over this description, whose values file names no solution.
WindowSetup Describing(const std::string& description, bool start = true) {
    return {std::nullopt,
            [description](const std::filesystem::path& folder) {
                testsupport::Put(folder / "Config_Info.ini", description);
                testsupport::Put(folder / "config_value.ini", "[MAIN]\r\ncurrent=DEFAULT\r\n");
            },
            start};
}

QWidget* Slot(WindowUnderTest& t, int slot) {
    return t.Widget<QWidget>(("TabSheet" + std::to_string(slot + 1)).c_str());
}

bool TabShown(WindowUnderTest& t, int slot) {
    auto* pages = t.Widget<QTabWidget>("PageControl1");
    return pages->isTabVisible(pages->indexOf(Slot(t, slot)));
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void fixedControlsAndCaption() {
        WindowUnderTest t(Describing("[CONFIG_PAGE]\r\nP=Page\r\n", false));
        QVERIFY(t.w().Created());
        QCOMPARE(t.w().windowTitle(), QStringLiteral("Cardwright"));
        QCOMPARE(t.Widget<QToolButton>("ReadFromDataCardBtn")->text(), QStringLiteral("Read"));
        QCOMPARE(t.Widget<QToolButton>("WriteToDataCardBtn")->text(),
                 QStringLiteral("     Write     "));
        auto* pages = t.Widget<QTabWidget>("PageControl1");
        QCOMPARE(pages->count(), 7);
        QCOMPARE(pages->tabText(0), QStringLiteral("Common Info"));
        QCOMPARE(pages->tabText(1), QStringLiteral("Led Setting"));
        for (int slot = 0; slot < 5; ++slot) {
            QVERIFY(!TabShown(t, slot));
        }
        auto* info = t.Widget<QTableWidget>("CommonInfoLst");
        QCOMPARE(info->rowCount(), 5);
        QCOMPARE(info->item(4, 0)->text(), QStringLiteral("CardType"));
        QCOMPARE(info->item(0, 1)->text(), QStringLiteral("--"));
        QVERIFY2(!info->isVisible(), "until the start-up sequence");
        QVERIFY(t.Widget<QToolButton>("NewBtn") != nullptr);
        QCOMPARE(t.Widget<QTimer>("Timer1")->interval(), 10);  // 500 ms on the test clock
        QCOMPARE(t.w().frameGeometry().size(), QSize(635, 458));
        QCOMPARE(pages->currentWidget(), t.Widget<QWidget>("CommonInfoSheet"));
    }

    void missingFilesEndTheProgram() {
        WindowUnderTest t(WindowSetup{std::nullopt,
                                      [](const std::filesystem::path& folder) {
                                          std::filesystem::remove(folder / "config_value.ini");
                                      },
                                      false});
        QVERIFY(!t.w().Created());
        QCOMPARE(t.Opening(), std::string("message: Config file not exists...\n"));
        QVERIFY(!t.Widget<QTimer>("Timer1")->isActive());
    }

    // Pages take their captions in key order; each item's boxes are laid out in columns on its
    // page, a hidden item taking no row.
    void pagesRowsAndColumns() {
        std::string description =
            "[CONFIG_PAGE]\r\nP1=One\r\nP2=Two\r\nP3=Three\r\n[CONFIG_ITEM]\r\n";
        std::string sections;
        for (int i = 1; i <= 8; ++i) {
            const std::string name = "I" + std::to_string(i);
            description += name + "=1\r\n";
            sections +=
                Item(name, "P3", i == 2 ? "VISIBLE=0\r\n" : (i == 8 ? "ITEM_WIDTH=150\r\n" : ""));
        }
        description += "U=1\r\n" + sections + Item("U", "P1", "USER_INPUT=1\r\n");
        WindowUnderTest t(Describing(description));
        auto* pages = t.Widget<QTabWidget>("PageControl1");
        for (int slot = 0; slot < 3; ++slot) {
            QVERIFY(TabShown(t, slot));
            QCOMPARE(pages->tabText(pages->indexOf(Slot(t, slot))),
                     (QStringList{"One", "Two", "Three"}[slot]));
        }
        const std::vector<std::pair<const char*, QPoint>> expected{
            {"I1", {10, 20}},  {"I3", {10, 50}},  {"I4", {10, 80}}, {"I5", {10, 110}},
            {"I6", {10, 140}}, {"I7", {10, 170}}, {"I8", {250, 20}}};
        for (const auto& [name, at] : expected) {
            auto* label = t.Widget<QCheckBox>((std::string("LABEL_") + name).c_str());
            auto* value = t.Widget<QComboBox>(name);
            QVERIFY(label && value);
            QCOMPARE(label->parentWidget(), Slot(t, 2));
            QCOMPARE(label->pos(), at);
            QCOMPARE(label->width(), 140);
            QCOMPARE(value->pos(), at + QPoint(120, -5));
            QCOMPARE(label->text(), QString::fromLatin1(name) + QStringLiteral(": "));
        }
        QVERIFY(!t.Widget<QCheckBox>("LABEL_I2")->isVisibleTo(Slot(t, 2)));
        QCOMPARE(t.Widget<QComboBox>("I8")->width(), 150);
        QCOMPARE(t.Widget<QComboBox>("I1")->count(), 2);
        QCOMPARE(t.Widget<QComboBox>("I1")->currentIndex(), -1);
        QVERIFY(t.Widget<QComboBox>("U")->isEditable());

        // Ticking enables the value box; a Read builds the boxes anew.
        auto* label = t.Widget<QCheckBox>("LABEL_I1");
        // The presenter answers the tick through the window's queue: on a busy machine a moment
        // later.
        label->click();
        QTRY_VERIFY(t.Widget<QComboBox>("I1")->isEnabled());
        label->click();
        QTRY_VERIFY(!t.Widget<QComboBox>("I1")->isEnabled());
        t.Click("ReadFromDataCardBtn");
        QCOMPARE(Slot(t, 2)->findChildren<QComboBox*>().size(), 8);
        QCOMPARE(t.Widget<QCheckBox>("LABEL_I8")->pos(), QPoint(250, 20));
    }

    // As a Chinese Windows writes them (CP936): "指示灯" and "颜色", "灭" and "蓝色".
    void cp936DescriptionShowsItsCaptions() {
        WindowUnderTest t(Describing(
            "[CONFIG_PAGE]\r\nP=\xd6\xb8\xca\xbe\xb5\xc6\r\n[CONFIG_ITEM]\r\nC=1\r\n"
            "[C]\r\nALONG_PAGE=P\r\nDISPLAY=\xd1\xd5\xc9\xab\r\n"
            "RANGE=\xc3\xf0,\xc0\xb6\xc9\xab\r\nRANGE_VALUE=0,1\r\nNV_ID=10\r\nTYPE=BYTE\r\n"
            "VISIBLE=1\r\n"));
        auto* pages = t.Widget<QTabWidget>("PageControl1");
        QCOMPARE(pages->tabText(pages->indexOf(Slot(t, 0))), QStringLiteral("指示灯"));
        QCOMPARE(t.Widget<QCheckBox>("LABEL_C")->text(), QStringLiteral("颜色: "));
        QCOMPARE(t.Widget<QComboBox>("C")->itemText(1), QStringLiteral("蓝色"));
    }

    // The description's problems are said in message boxes, one at a time.
    void badDescriptionFiles() {
        WindowUnderTest t(Describing("[CONFIG_PAGE]\r\nP1=One\r\nP2=Two\r\n"));
        QCOMPARE(t.answers.messages, QStringList(3, QStringLiteral("Bad config files...")));
    }

    void captionsStayInFrontOfTheValueBox() {
        WindowUnderTest t(WindowSetup{std::nullopt, {}});
        const auto labels = t.w().findChildren<ItemCheckBox*>();
        QVERIFY(labels.size() > 10);
        for (ItemCheckBox* label : labels) {
            QVERIFY2(label->CaptionEnd() <= 120, qPrintable(label->objectName()));
            // Nothing of the box's own painting reaches under the value box.
            const QImage image = label->grab().toImage();
            const QRgb background = image.pixel(image.width() - 1, image.height() - 1);
            for (int x = 120; x < image.width(); ++x) {
                for (int y = 0; y < image.height(); ++y) {
                    QVERIFY2(image.pixel(x, y) == background, qPrintable(label->objectName()));
                }
            }
        }
        auto* long_caption = t.Widget<ItemCheckBox>("LABEL_LONG_CAPTION");
        QCOMPARE(long_caption->text(), QStringLiteral("Preferred network selection order: "));
        QVERIFY(long_caption->ShownCaption().endsWith(QChar(0x2026)));
        QCOMPARE(long_caption->toolTip(), long_caption->text());
        ItemCheckBox shrunk(QStringLiteral("Network adapter port: "), 120, nullptr);
        QVERIFY(shrunk.font().pointSizeF() < ItemControlFont().pointSizeF());
        QCOMPARE(shrunk.ShownCaption(), shrunk.text());
    }

    void aboutBox() {
        WindowUnderTest t(Describing("[CONFIG_PAGE]\r\nP=Page\r\n"));
        auto* about = t.w().findChild<TAboutBox*>();
        QCOMPARE(about->windowTitle(), QStringLiteral("About"));
        QCOMPARE(about->size(), QSize(298, 213));
        QVERIFY(t.Run([](WindowPresenter& p) { return p.About(); }));
        QCOMPARE(about->findChild<QLabel*>(QStringLiteral("ProductName"))->text(),
                 QStringLiteral("Product Name: Cardwright"));
        QCOMPARE(about->findChild<QLabel*>(QStringLiteral("Version"))->text(),
                 QStringLiteral("Version: V100R001B204"));
        QVERIFY(!about->isVisible());
    }

    void logLineAtMidnightHasNoTime() {
        const QDateTime midnight(QDate(2008, 3, 14), QTime(0, 0));
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        QCOMPARE(LogLine(midnight, us, QStringLiteral("m")), QStringLiteral("3/14/08  m"));
        QCOMPARE(LogLine(QDateTime(QDate(2008, 3, 14), QTime(9, 5, 31)), us, QStringLiteral("m")),
                 QStringLiteral("3/14/08 9:05:31 AM  m"));
        const auto at = std::chrono::system_clock::time_point(
            std::chrono::milliseconds(midnight.toMSecsSinceEpoch()));
        QCOMPARE(QString::fromStdString(QtDateTime().LogTimestamp(at)),
                 QLocale::system().toString(QDate(2008, 3, 14), QLocale::ShortFormat));
    }

    // As in a terminal: the log's view shows the newest line as lines come, unless the user
    // scrolled up to read; scrolled back down, it follows again.
    void logViewFollowsTheNewestLine() {
        WindowUnderTest t(WindowSetup{std::nullopt, [](const std::filesystem::path& folder) {
                                          std::string earlier;
                                          for (int i = 0; i < 1200; ++i) {
                                              earlier +=
                                                  "earlier line " + std::to_string(i) + "\r\n";
                                          }
                                          testsupport::Put(folder / "ConfigLog.txt", earlier);
                                      }});
        QScrollBar* bar = t.Widget<QPlainTextEdit>("Memo1")->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());
        bar->setValue(10);
        t.Click("ReadFromDataCardBtn");
        QCOMPARE(bar->value(), 10);
        bar->setValue(bar->maximum());
        t.Click("ReadFromDataCardBtn");
        QCOMPARE(bar->value(), bar->maximum());
    }

    // The window comes back where it was left, at its size and with its log's height; the first
    // run has the window's own size.
    void windowStateIsKeptBetweenRuns() {
        const QRect moved(120, 90, 900, 640);
        std::string kept;
        int log_height = 0;
        {
            WindowUnderTest first(Describing("[CONFIG_PAGE]\r\nP=Page\r\n", false));
            QCOMPARE(first.w().frameGeometry().size(), QSize(635, 458));
            first.w().setGeometry(moved);
            first.Widget<QSplitter>("Splitter1")->setSizes({400, 150});
            QApplication::processEvents();
            log_height = first.Widget<QSplitter>("Splitter1")->sizes().value(1);
            QVERIFY(first.w().close());
            kept = testsupport::Contents(first.Dir() / "window-state.ini");
        }
        WindowUnderTest again(WindowSetup{std::nullopt,
                                          [kept](const std::filesystem::path& folder) {
                                              testsupport::Put(folder / "window-state.ini", kept);
                                          },
                                          false});
        QCOMPARE(again.w().geometry(), moved);
        QCOMPARE(again.Widget<QSplitter>("Splitter1")->sizes().value(1), log_height);
    }

    // The menus have access keys and shortcuts; Ctrl+R reads. A menu entry's empty hint leaves
    // the status bar's outcome, and a text too long for the status bar keeps the middle of its
    // path out, all of it in the tool tip.
    void menusShortcutsAndTheStatusBar() {
        WindowUnderTest t(Describing("[CONFIG_PAGE]\r\nP=Page\r\n"));
        for (const auto& [name, words, key] :
             {std::tuple{"Read1", "Read", QKeySequence(Qt::CTRL | Qt::Key_R)},
              {"Write1", "Write", QKeySequence(Qt::CTRL | Qt::Key_W)},
              {"Import1", "Import...", QKeySequence(Qt::CTRL | Qt::Key_O)},
              {"Export1", "Export...", QKeySequence(Qt::CTRL | Qt::Key_S)},
              {"About1", "About", QKeySequence(Qt::Key_F1)}}) {
            auto* action = t.Widget<QAction>(name);
            QVERIFY2(action != nullptr, name);
            QCOMPARE(action->shortcut(), key);
            QCOMPARE(QString(action->text()).remove(QLatin1Char('&')), QString::fromLatin1(words));
        }
        auto* edit = t.Widget<QMenu>("Edit1");
        QCOMPARE(QKeySequence::mnemonic(edit->title()), QKeySequence(Qt::ALT | Qt::Key_E));
        QVERIFY(t.w().createPopupMenu() == nullptr);

        QApplication::setActiveWindow(&t.w());
        QTest::keyClick(&t.w(), Qt::Key_R, Qt::ControlModifier);
        t.Settle();
        const QString outcome =
            QStringLiteral("Nothing shown: config_value.ini names no solution that exists");
        QCOMPARE(t.Status(), outcome);
        t.Widget<QAction>("Write1")->showStatusText(t.Widget<QMenuBar>("MainMenu1"));
        QCOMPARE(t.Status(), outcome);

        const std::filesystem::path folder = t.Dir() / std::string(60, 'd');
        std::filesystem::create_directory(folder);
        const std::string deep = (folder / "cards.ini").string();
        testsupport::Put(deep, "");
        t.answers.open_file = QString::fromStdString(deep);
        t.Click("ImportBtn");
        auto* bar = t.Widget<QStatusBar>("StatusBar1");
        QVERIFY(bar->toolTip().contains(QString::fromStdString(deep)));
        QVERIFY(!t.Status().contains(QString::fromStdString(deep)));
        QVERIFY2(t.Status().contains(QStringLiteral("\u2026")), qPrintable(t.Status()));
        QVERIFY(t.Status().startsWith(QStringLiteral("Import failed")));
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
