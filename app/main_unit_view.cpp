// What the presenter shows and asks, carried to the window's thread: each call only posts its
// change, which runs there after the changes posted before it.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStatusBar>
#include <QStringList>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolBar>
#include <QTreeWidget>

#include "app/about_unit.h"
#include "app/item_rows.h"
#include "app/main_unit.h"
#include "app/qt_text.h"
#include "app/question_boxes.h"

namespace cardwright {

void TMainFrm::ShowTab(Tab tab, const std::string& caption, bool visible) {
    Post([this, tab, caption, visible] {
        const int index = PageControl1->indexOf(TabPage(tab));
        PageControl1->setTabText(index, Q(caption));
        PageControl1->setTabVisible(index, visible);
    });
}

void TMainFrm::SelectTab(Tab tab) {
    Post([this, tab] { PageControl1->setCurrentWidget(TabPage(tab)); });
}

// The pages are not repainted while their rows are made or removed: they are shown once they
// are whole, when the presenter shows anything else.
void TMainFrm::AddPageRows(Tab tab, const std::vector<PageRow>& rows) {
    Post([this, tab, rows] {
        PageControl1->setUpdatesEnabled(false);
        QWidget* page = TabPage(tab);
        for (const PageRow& row : rows) {
            rows_->Add(*page, row, PageControl1->height());
        }
    });
}

void TMainFrm::RemoveItems(const std::vector<size_t>& items) {
    Post([this, items] {
        PageControl1->setUpdatesEnabled(false);
        for (const size_t item : items) {
            rows_->Remove(item);
        }
    });
}

void TMainFrm::ShowItem(size_t item, const ItemState& state) {
    Post([this, item, state] {
        PageControl1->setUpdatesEnabled(true);
        rows_->Show(item, state);
    });
}

void TMainFrm::HideItem(size_t item) {
    Post([this, item] { rows_->Hide(item); });
}

void TMainFrm::ShowCommonInfoList() {
    Post([this] { CommonInfoLst->setVisible(true); });
}

void TMainFrm::ShowCommonInfo(CommonInfoRow row, const std::string& value) {
    Post([this, row, value] { CommonInfoLst->item(static_cast<int>(row), 1)->setText(Q(value)); });
}

void TMainFrm::ShowLedSteps(const std::vector<LedStepRow>& rows) {
    Post([this, rows] {
        ListView1->clear();
        for (const LedStepRow& row : rows) {
            ListView1->addTopLevelItem(
                new QTreeWidgetItem(QStringList{Q(row.colour), Q(row.time)}));
        }
    });
}

void TMainFrm::ShowLedStep(int step, const LedStepRow& row) {
    Post([this, step, row] {
        if (QTreeWidgetItem* item = ListView1->topLevelItem(step - 1)) {
            item->setText(0, Q(row.colour));
            item->setText(1, Q(row.time));
        }
    });
}

void TMainFrm::ShowSolutions(const std::vector<std::string>& names, int selected) {
    Post([this, names, selected] {
        PageControl1->setUpdatesEnabled(true);
        ComboBox1->clear();
        for (const std::string& name : names) {
            ComboBox1->addItem(Q(name));
        }
        ComboBox1->setCurrentIndex(selected);
    });
}

void TMainFrm::SelectSolution(int index) {
    Post([this, index] { ComboBox1->setCurrentIndex(index); });
}

// As in a terminal: the log's view follows the newest line unless the user has scrolled up to
// read.
void TMainFrm::AppendLog(const std::vector<std::string>& lines) {
    Post([this, lines] {
        QScrollBar* bar = Memo1->verticalScrollBar();
        const bool follow = bar->value() >= bar->maximum();
        QStringList text;
        for (const std::string& line : lines) {
            text << Q(line);
        }
        Memo1->appendPlainText(text.join(QLatin1Char('\n')));
        if (follow) {
            bar->setValue(bar->maximum());
        }
    });
}

void TMainFrm::ShowStatus(const StatusText& status) {
    Post([this, status] {
        status_ = status;
        ShowFittedStatus();
    });
}

void TMainFrm::ShowSource(const std::string& source) {
    Post([this, source] { SourcePanel->setText(Q(source)); });
}

void TMainFrm::ShowTitle(const std::string& title) {
    Post([this, title] { setWindowTitle(Q(title)); });
}

// The pages, the chooser and the LED lists are disabled as a whole: a value box keeps its own
// state (enabled when its item is ticked) underneath.
void TMainFrm::EnableCommands(bool enabled) {
    Post([this, enabled] {
        PageControl1->setUpdatesEnabled(true);
        for (QAction* action : ToolBar1->actions()) {
            action->setEnabled(enabled);
        }
        for (QAction* action : MainMenu1->actions()) {
            action->setEnabled(enabled);
        }
        for (QWidget* page : PageSlots) {
            page->setEnabled(enabled);
        }
        LedSheet->setEnabled(enabled);
        ComboBox1->setEnabled(enabled);
    });
}

void TMainFrm::ShowMessage(QuestionId id, const std::string& text, MessageIcon icon) {
    Post([this, id, text, icon] { questions_->Message(id, Q(text), icon); });
}

void TMainFrm::AskYesNo(QuestionId id, const std::string& question) {
    Post([this, id, question] { questions_->YesNo(id, Q(question)); });
}

void TMainFrm::AskFileName(QuestionId id, const FileQuestion& question) {
    Post([this, id, question] { questions_->FileName(id, question); });
}

void TMainFrm::AskLedStep(QuestionId id, const LedStep& preset) {
    Post([this, id, preset] { questions_->LedStep(id, preset); });
}

void TMainFrm::AskNewSolution(QuestionId id) {
    Post([this, id] { questions_->NewSolution(id); });
}

void TMainFrm::ShowAbout(QuestionId id, const AboutText& about) {
    Post([this, id, about] {
        AboutBox->findChild<QLabel*>(QStringLiteral("ProductName"))->setText(Q(about.product));
        AboutBox->findChild<QLabel*>(QStringLiteral("Version"))->setText(Q(about.version));
        questions_->About(id);
    });
}

void TMainFrm::TakeScreenshot(QuestionId id, const std::string& file) {
    Post([this, id, file] {
        Answer answer;
        answer.accepted = grab().save(Q(file));
        presenter_->Answer(id, answer);
    });
}

void TMainFrm::Synchronise(uint64_t token) {
    Post([this, token] { presenter_->Synchronised(token); });
}

void TMainFrm::BringToFront() {
    Post([this] {
        raise();
        activateWindow();
    });
}

void TMainFrm::CloseWindow() {
    Post([this] { close(); });
}

void TMainFrm::ScriptFinished(int exit_status) {
    Post([exit_status] { QCoreApplication::exit(exit_status); });
}

}  // namespace cardwright
