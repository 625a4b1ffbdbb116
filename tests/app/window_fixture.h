#pragma once

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QStringList>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>

#include "app/main_unit.h"
#include "cardwork/card/library_card.h"
#include "cardwork/model/model_clock.h"
#include "carvex/carvex.h"
#include "carvex/platform/clock.h"
#include "tests/app/dialog_answers.h"
#include "tests/support/card_fixture.h"
#include "tests/support/test_data.h"
#include "tests/support/wait_until.h"

namespace testsupport {

// How a window under test starts.
struct WindowSetup {
    // The card plugged in at start; none when empty.
    std::optional<cardsim::CardProfile> card = TestProfile();
    // Changes the folder's INI files before the window opens them.
    std::function<void(const std::filesystem::path& folder)> prepare = {};
    // The start-up sequence runs (and ends) before the test goes on.
    bool start = true;
    // Borrows the card for each command, as the program's ModemManagerLender does.
    cardwright::CardLender lender = {};
};

// The main window over the test description, beside a simulated card reached through the
// library's exports; the library, the card and the window's pauses run on faster clocks, but
// every time-out keeps its length, so a busy machine cannot make the card look silent.
class WindowUnderTest {
  public:
    static constexpr int kScale = 20;

    explicit WindowUnderTest(WindowSetup setup = {}) {
        for (const char* file : {"Config_Info.ini", "config_value.ini"}) {
            std::filesystem::copy_file(kTestData / file, dir_.Path() / file);
        }
        if (setup.prepare) {
            setup.prepare(dir_.Path());
        }
        if (setup.card) {
            StartCard(std::move(*setup.card));
        } else {
            PullCard();
        }
        window_ =
            std::make_unique<cardwright::TMainFrm>(QString::fromStdString(dir_.Path().string()),
                                                   card_, &opening_, std::move(setup.lender));
        Widget<QTimer>("Timer1")->stop();
        window_->show();
        Widget<QTabWidget>("PageControl1")->setFixedHeight(247);
        QApplication::processEvents();
        if (setup.start) {
            Run([](cardwright::WindowPresenter& p) { return p.StartUp(); });
        }
    }
    WindowUnderTest(const WindowUnderTest&) = delete;
    WindowUnderTest& operator=(const WindowUnderTest&) = delete;

    void StartCard(cardsim::CardProfile profile) { plugged_.Plug(std::move(profile), kScale); }
    // The card is pulled out: its device root goes with it.
    void PullCard() { plugged_.Pull(); }

    // Asks for a command (or clicks) and lets the window work, answering its boxes and dialogs,
    // until the command has ended and the window shows all it was told.
    bool Run(const std::function<bool(cardwright::WindowPresenter&)>& command) {
        const bool taken = command(window_->Presenter());
        Settle();
        return taken;
    }
    void Click(const char* button) {
        Widget<QToolButton>(button)->click();
        Settle();
    }
    void Settle() {
        const bool ended = WaitUntil(
            [&] {
                QTest::qWait(1);
                return !answers.AnswerOpen(*window_) && !window_->Presenter().CommandRunning() &&
                       window_->CaughtUp();
            },
            std::chrono::seconds(60));
        QApplication::processEvents();
        QVERIFY2(ended, "the command did not end");
    }

    cardwright::TMainFrm& w() { return *window_; }
    template <class Kind>
    Kind* Widget(const char* name) {
        return window_->findChild<Kind*>(QString::fromLatin1(name));
    }
    cardsim::SimulatedCard& card() { return plugged_.Card(); }
    const std::filesystem::path& Dir() const { return dir_.Path(); }
    // What the window's opening said ("message: ...").
    std::string Opening() const { return opening_.str(); }
    QString Status() { return Widget<QStatusBar>("StatusBar1")->currentMessage(); }

    // The logged messages, without their time stamps.
    QStringList Log() {
        QStringList messages;
        const QString text = Widget<QPlainTextEdit>("Memo1")->toPlainText();
        for (const QString& line : text.split(QLatin1Char('\n'))) {
            const auto at = line.indexOf(QStringLiteral("  "));
            if (at >= 0) {
                messages.append(line.mid(at + 2));
            }
        }
        return messages;
    }

    // The requests the card received of one kind.
    size_t Requests(cardsim::Command command) const { return plugged_.Requests(command).size(); }

    DialogAnswers answers;

  private:
    TempDir dir_;
    carvex::ScopedClock clock_{
        std::make_shared<carvex::ScaledClock>(kScale, carvex::ScaledClock::Timeouts::kFull)};
    std::shared_ptr<void> app_clock_ =
        cardwright::InstallAppClock(std::make_shared<cardwright::TestClock>(50));
    PluggedCard plugged_;
    cardwright::LibraryCard card_;
    std::ostringstream opening_;
    std::unique_ptr<cardwright::TMainFrm> window_;
};

// What an item's value box shows and whether its check box is ticked.
inline QString Shown(WindowUnderTest& t, const char* name) {
    return t.Widget<QComboBox>(name)->currentText();
}
inline bool Ticked(WindowUnderTest& t, const char* name) {
    return t.Widget<QCheckBox>((std::string("LABEL_") + name).c_str())->isChecked();
}
// The user ticks the item and chooses (or types) `text` in its value box.
inline void Choose(WindowUnderTest& t, const char* name, const char* text) {
    t.Widget<QCheckBox>((std::string("LABEL_") + name).c_str())->setChecked(true);
    QComboBox* box = t.Widget<QComboBox>(name);
    if (box->isEditable()) {
        box->setEditText(QString::fromUtf8(text));
    } else {
        box->setCurrentIndex(box->findText(QString::fromUtf8(text)));
    }
}

// The first `count` bytes of an NV item as the card holds it.
inline std::vector<uint8_t> Nv(WindowUnderTest& t, uint16_t item, size_t count) {
    const auto value = t.card().Nv(item);
    return value ? std::vector<uint8_t>(value->begin(), value->begin() + count)
                 : std::vector<uint8_t>{};
}

}  // namespace testsupport
