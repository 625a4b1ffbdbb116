#include <QDir>
#include <QFile>
#include <QtTest>
#include <fstream>
#include <iterator>

#include "app/command_line.h"
#include "app/config_folder.h"
#include "tests/support/temp_dir.h"

using namespace cardwright;

namespace {

namespace fs = std::filesystem;

const char* const kDescription = "Config_Info.ini";
const char* const kValues = "config_value.ini";

QString Q(const fs::path& path) {
    return QString::fromStdString(path.string());
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

// Where the configurator keeps its INI files and log, and what its command line says.
class ProgramStartTest : public QObject {
    Q_OBJECT

    std::unique_ptr<testsupport::TempDir> dir_;

    fs::path Program() const { return dir_->Path() / "bin"; }
    fs::path Examples() const { return dir_->Path() / "share" / "examples"; }
    fs::path Home() const { return dir_->Path() / "home"; }
    fs::path Xdg() const { return dir_->Path() / "xdg"; }
    fs::path Named() const { return dir_->Path() / "named" / "folder"; }

    ConfigFolderPlaces Places() const {
        ConfigFolderPlaces places;
        places.program_dir = Q(Program());
        places.examples_dir = Q(Examples());
        places.xdg_config_home = Q(Xdg());
        places.home = Q(Home());
        return places;
    }

  private slots:
    void init() {
        dir_ = std::make_unique<testsupport::TempDir>();
        fs::create_directories(Program());
        WriteFile(Examples() / kDescription, "example description\r\n");
        WriteFile(Examples() / kValues, "example values\r\n");
    }

    void chosenFolder_data() {
        QTest::addColumn<bool>("named");
        QTest::addColumn<int>("files_beside");
        QTest::addColumn<QString>("xdg");
        QTest::addColumn<QString>("expected");  // relative to the test's folder
        QTest::addColumn<bool>("seeded");

        QTest::newRow("--config-dir wins over a portable copy") << true << 2 << "xdg"
                                                                << "named/folder" << true;
        QTest::newRow("both files beside the program: a portable copy") << false << 2 << "xdg"
                                                                        << "bin" << false;
        QTest::newRow("one file beside the program is no portable copy")
            << false << 1 << "xdg"
            << "xdg/cardwright" << true;
        QTest::newRow("XDG_CONFIG_HOME unset") << false << 0 << ""
                                               << "home/.config/cardwright" << true;
        QTest::newRow("a relative XDG_CONFIG_HOME is ignored") << false << 0 << "relative/config"
                                                               << "home/.config/cardwright" << true;
    }

    void chosenFolder() {
        QFETCH(bool, named);
        QFETCH(int, files_beside);
        QFETCH(QString, xdg);
        QFETCH(QString, expected);
        QFETCH(bool, seeded);
        for (const char* file : {kDescription, kValues}) {
            if (files_beside-- > 0) {
                WriteFile(Program() / file, "portable\r\n");
            }
        }
        ConfigFolderPlaces places = Places();
        if (named) {
            places.named = Q(Named());
        }
        places.xdg_config_home = xdg == QStringLiteral("xdg") ? Q(Xdg()) : xdg;

        const ConfigFolder folder = ChooseConfigFolder(places);
        const fs::path expected_path = dir_->Path() / expected.toStdString();
        QCOMPARE(folder.path, Q(expected_path));
        QVERIFY(folder.complete);
        QVERIFY2(folder.problems.isEmpty(), qPrintable(folder.problems.join('\n')));
        if (seeded) {
            QCOMPARE(folder.seeded, (QStringList{kDescription, kValues}));
            QCOMPARE(ReadFile(expected_path / kDescription), "example description\r\n");
            QCOMPARE(ReadFile(expected_path / kValues), "example values\r\n");
        } else {
            QVERIFY(folder.seeded.isEmpty());
            QCOMPARE(ReadFile(expected_path / kDescription), "portable\r\n");
            QVERIFY(!fs::exists(Xdg()));
        }
    }

    void aFileThatIsThereIsNeverOverwritten() {
        WriteFile(Xdg() / "cardwright" / kDescription, "mine\r\n");
        const ConfigFolder folder = ChooseConfigFolder(Places());
        QCOMPARE(folder.seeded, QStringList{kValues});
        QVERIFY(folder.complete);
        QCOMPARE(ReadFile(Xdg() / "cardwright" / kDescription), "mine\r\n");
    }

    void copiesOfReadOnlyExamplesAreTheUsersToChange() {
        for (const char* file : {kDescription, kValues}) {
            fs::permissions(Examples() / file,
                            fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        }
        const ConfigFolder folder = ChooseConfigFolder(Places());
        QCOMPARE(folder.seeded.size(), 2);
        for (const char* file : {kDescription, kValues}) {
            const fs::perms perms = fs::status(Xdg() / "cardwright" / file).permissions();
            QVERIFY((perms & fs::perms::owner_write) != fs::perms::none);
        }
    }

    void withoutExamplesTheFolderIsCreatedButIncomplete() {
        fs::remove_all(Examples());
        const ConfigFolder folder = ChooseConfigFolder(Places());
        QVERIFY(fs::is_directory(Xdg() / "cardwright"));
        QVERIFY(!folder.complete);
        QVERIFY(folder.seeded.isEmpty());
        QCOMPARE(folder.problems.size(), 2);
        QVERIFY(folder.problems.first().contains(Q(Examples() / kDescription)));
    }

    void aFolderThatCannotBeCreatedIsReported() {
        WriteFile(dir_->Path() / "named", "a file where the folder should go");
        ConfigFolderPlaces places = Places();
        places.named = Q(Named());
        const ConfigFolder folder = ChooseConfigFolder(places);
        QVERIFY(!folder.complete);
        QCOMPARE(folder.problems, QStringList{"cannot create the folder " + Q(Named())});
    }

    void textOnlyArguments_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("text_only");
        QTest::newRow("none") << QStringList{} << false;
        QTest::newRow("--version") << QStringList{"--version"} << true;
        QTest::newRow("-h") << QStringList{"-h"} << true;
        QTest::newRow("--help-all after an option")
            << QStringList{"--config-dir=/tmp", "--help-all"} << true;
        QTest::newRow("a folder named like an option")
            << QStringList{"--config-dir", "--version"} << false;
        QTest::newRow("after --") << QStringList{"--", "-v"} << false;
        QTest::newRow("Qt's own options") << QStringList{"-platform", "offscreen"} << false;
    }

    void textOnlyArguments() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, text_only);
        arguments.prepend(QStringLiteral("cardwright"));
        QCOMPARE(AsksForTextOnly(arguments), text_only);
    }

    void commandLineOptions() {
        CommandLine options = ParseCommandLine({"cardwright"});
        QVERIFY(!options.config_dir);
        QVERIFY(!options.quit_after_start);
        options =
            ParseCommandLine({"cardwright", "--config-dir", "/srv/cards", "--quit-after-start"});
        QCOMPARE(options.config_dir.value_or(QString()), QStringLiteral("/srv/cards"));
        QVERIFY(options.quit_after_start);
    }
};

QTEST_MAIN(ProgramStartTest)
#include "program_start_test.moc"
