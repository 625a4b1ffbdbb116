#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>

#include "cardwork/model/ini_file.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace cardwright {
namespace {

using testsupport::Listing;

class IniFileTest : public ::testing::Test {
  protected:
    IniFile Ini(const std::string& text) {
        std::ofstream(path_, std::ios::binary) << text;
        return IniFile(path_);
    }
    static std::string Contents(const std::filesystem::path& path) {
        return testsupport::Contents(path);
    }
    std::string Contents() const { return Contents(path_); }

    testsupport::TempDir dir_;
    std::filesystem::path path_ = dir_.Path() / "test.ini";
};

TEST_F(IniFileTest, ReadingFacts) {
    const auto ini =
        Ini("orphan=before any section\r\n"
            "[Main]\r\n"
            "  Current = Default Value  \r\n"
            "quoted=\"  spaced  \"\r\n"
            "single='x'\r\n"
            "mixed=\"x'\r\n"
            "hash=#not a comment\n"
            "inline=v ;x\n"
            "; comment=1\n"
            "   ;indented=1\n"
            "no equals sign\n"
            "dup=first\n"
            "DUP=second\n"
            "empty=\n"
            "[ Spaced Section ]\n"
            "k\t=\tv\t\n"
            "[main]\n"
            "later=ignored\n"
            "[NoKeys]\n"
            "; only a comment\n");
    struct Case {
        const char* section;
        const char* key;
        std::optional<std::string> value;
    } cases[] = {
        {"MAIN", "current", "Default Value"},
        {"main", "CURRENT", "Default Value"},
        {"Main", "quoted", "  spaced  "},
        {"Main", "single", "x"},
        {"Main", "mixed", "\"x'"},
        {"Main", "hash", "#not a comment"},
        {"Main", "inline", "v ;x"},
        {"Main", "comment", std::nullopt},
        {"Main", ";indented", std::nullopt},
        {"Main", "no equals sign", std::nullopt},
        {"Main", "dup", "first"},
        {"Main", "empty", ""},
        {"Main", "later", std::nullopt},
        {"spaced section", "k", "v"},
        {"Missing", "k", std::nullopt},
        {"", "orphan", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ini.ReadString(c.section, c.key), c.value) << c.section << "/" << c.key;
    }
    EXPECT_EQ(ini.ReadString("Main", "missing", "fallback"), "fallback");
    EXPECT_TRUE(ini.SectionExists("MAIN"));
    EXPECT_FALSE(ini.SectionExists("NoKeys"));
    EXPECT_EQ(ini.ReadSections(),
              (std::vector<std::string>{"Main", "Spaced Section", "main", "NoKeys"}));
    EXPECT_EQ(ini.ReadSection("main"),
              (std::vector<std::string>{"Current", "quoted", "single", "mixed", "hash", "inline",
                                        "dup", "DUP", "empty"}));
}

TEST_F(IniFileTest, Integers) {
    const auto ini = Ini("[S]\ndec=42\nneg=-1\nhex=0x1F\nHEX=0X10\ntext=abc\nlead=12abc\nblank=\n");
    EXPECT_EQ(ini.ReadInteger("S", "dec", 0), 42);
    EXPECT_EQ(ini.ReadInteger("S", "neg", 0), -1);
    EXPECT_EQ(ini.ReadInteger("S", "hex", 0), 31);
    EXPECT_EQ(ini.ReadInteger("S", "HEX", 0), 31) << "first key of the name wins";
    EXPECT_EQ(ini.ReadInteger("S", "text", 7), 7);
    EXPECT_EQ(ini.ReadInteger("S", "lead", 7), 12);
    EXPECT_EQ(ini.ReadInteger("S", "blank", 7), 7);
    EXPECT_EQ(ini.ReadInteger("S", "missing", -1), -1);
    EXPECT_TRUE(ini.ReadBool("S", "dec", false));
    EXPECT_TRUE(ini.ReadBool("S", "missing", true));
}

TEST_F(IniFileTest, LimitsOnValuesAndKeyLists) {
    std::string text = "[S]\nlong=" + std::string(3000, 'v') + "\n[K]\n";
    for (int i = 0; i < 2000; ++i) {
        text += "key" + std::to_string(10000 + i) + "=1\n";  // 9 bytes per listed name
    }
    const auto ini = Ini(text);
    EXPECT_EQ(ini.ReadString("S", "long")->size(), 2047u);
    EXPECT_EQ(ini.ReadSection("K").size(), (16384u - 1) / 9);
    EXPECT_EQ(ini.ReadEntries("K").size(), (16384u - 1) / 9);
}

TEST_F(IniFileTest, LongValuesAreNeverCutInsideAUtf8Character) {
    struct Case {
        size_t ascii;
        std::string tail;
        size_t kept;
    } cases[] = {
        {2046, "\xC3\xA9", 2046},           // a 2-byte character across the limit
        {2045, "\xE2\x82\xAC", 2045},       // 3 bytes
        {2044, "\xF0\x9F\x98\x80", 2044},   // 4 bytes
        {2043, "\xF0\x9F\x98\x80x", 2047},  // ends exactly at the limit
        {2045, "\xC3\xA9x", 2047},          // so does this one
        // Stray continuation bytes are no UTF-8: the file is read in CP936, where 0x80 is the
        // euro sign, three bytes in UTF-8, which do not fit.
        {2046, "\x80\x80", 2046},
        {2047, "\xC3\xA9", 2047},
    };
    for (const auto& c : cases) {
        const std::string value = std::string(c.ascii, 'a') + c.tail;
        const auto ini = Ini("[S]\nk=" + value + "\n");
        EXPECT_EQ(ini.ReadString("S", "k"), value.substr(0, c.kept)) << c.ascii << " " << c.tail;
    }
}

TEST_F(IniFileTest, ReadsSeeEveryChangeOnDisk) {
    using Clock = std::filesystem::file_time_type;
    // Each change keeps all but one of the modification time, the size and the inode.
    struct Case {
        const char* what;
        std::function<void(const std::filesystem::path&, Clock)> change;
    } cases[] = {
        {"rewritten in place one nanosecond later",
         [](const std::filesystem::path& path, Clock was) {
             std::ofstream(path, std::ios::binary) << "[S]\nk=2\n";
             std::filesystem::last_write_time(path, was + std::chrono::nanoseconds(1));
         }},
        {"replaced by rename, same size and time",
         [](const std::filesystem::path& path, Clock was) {
             const auto other = path.string() + ".other";
             std::ofstream(other, std::ios::binary) << "[S]\nk=2\n";
             std::filesystem::last_write_time(other, was);
             std::filesystem::rename(other, path);
         }},
        {"rewritten in place, other size, same time",
         [](const std::filesystem::path& path, Clock was) {
             std::ofstream(path, std::ios::binary) << "[S]\nk=22\n";
             std::filesystem::last_write_time(path, was);
         }},
    };
    for (const auto& c : cases) {
        const auto ini = Ini("[S]\nk=1\n");
        ASSERT_EQ(ini.ReadString("S", "k"), "1");
        c.change(path_, std::filesystem::last_write_time(path_));
        EXPECT_NE(ini.ReadString("S", "k"), "1") << c.what;
    }

    IniFile ini(dir_.Path() / "absent.ini");
    EXPECT_FALSE(ini.SectionExists("S"));
    EXPECT_TRUE(ini.ReadSections().empty());
    IniFile other(ini.Path());
    ASSERT_TRUE(other.WriteString("S", "k", "v"));
    EXPECT_EQ(ini.ReadString("S", "k"), "v");
    ASSERT_TRUE(other.EraseSection("S"));
    EXPECT_FALSE(ini.SectionExists("S"));
}

TEST_F(IniFileTest, WritesStartFromTheFileOnDisk) {
    // A change that reads cannot see (same size, same time, same inode) still survives a write.
    auto ini = Ini("[S]\nk=1\n");
    ASSERT_EQ(ini.ReadString("S", "k"), "1");
    const auto was = std::filesystem::last_write_time(path_);
    std::ofstream(path_, std::ios::binary) << "[S]\nk=2\n";
    std::filesystem::last_write_time(path_, was);
    ASSERT_TRUE(ini.WriteString("S", "other", "x"));
    EXPECT_EQ(Contents(), "[S]\nk=2\nother=x\r\n");
    EXPECT_EQ(ini.ReadString("S", "k"), "2");
}

TEST_F(IniFileTest, WritesKeepEveryOtherLineByteForByte) {
    auto ini =
        Ini("; header comment\n[A]\na1=1\n\n; trailing comment of A\n[B]\r\nb1 = x  \r\n[C]");
    ASSERT_TRUE(ini.WriteString("a", "a2", "2"));
    ASSERT_TRUE(ini.WriteString("B", "B1", "y"));
    ASSERT_TRUE(ini.WriteString("C", "c1", "z"));
    ASSERT_TRUE(ini.WriteString("New", "n", "v"));
    EXPECT_EQ(
        Contents(),
        "; header comment\n[A]\na1=1\na2=2\r\n\n; trailing comment of A\n[B]\r\nb1=y\r\n[C]\r\n"
        "c1=z\r\n[New]\r\nn=v\r\n");
    EXPECT_EQ(ini.ReadString("b", "b1"), "y");

    ASSERT_TRUE(ini.DeleteKey("A", "a1"));
    ASSERT_TRUE(ini.EraseSection("b"));
    EXPECT_EQ(Contents(),
              "; header comment\n[A]\na2=2\r\n\n; trailing comment of "
              "A\n[C]\r\nc1=z\r\n[New]\r\nn=v\r\n");
    EXPECT_FALSE(ini.SectionExists("B"));
}

TEST_F(IniFileTest, WriteStringsIsOneWriteOfManyKeys) {
    auto ini = Ini("[A]\na=1\n[B]\nb=1\n");
    ASSERT_TRUE(ini.WriteStrings("A", {{"A", "2"}, {"new", "x"}, {"NEW", "y"}, {"a", "3"}}));
    ASSERT_TRUE(ini.WriteStrings("C", {{"c1", "1"}, {"c2", "2"}}));
    EXPECT_EQ(Contents(), "[A]\na=3\nnew=y\r\n[B]\nb=1\n[C]\r\nc1=1\r\nc2=2\r\n");

    // One bad entry and nothing is written.
    EXPECT_FALSE(ini.WriteStrings("A", {{"a", "4"}, {"bad", "x\ny"}}));
    EXPECT_EQ(ini.ReadString("A", "a"), "3");
}

TEST_F(IniFileTest, WriteWholeReplacesEverything) {
    auto ini = Ini("; old\n[A]\na=1\n[B]\nb=1\n");
    const std::vector<IniSection> sections{
        {"B", {{"k", "1"}, {"K", "2"}, {"v", " padded "}}}, {"Empty", {}}, {"b", {{"m", "3"}}}};
    ASSERT_TRUE(ini.WriteWhole(sections)) << ini.LastError();
    EXPECT_EQ(Contents(), "[B]\r\nk=2\r\nv=\" padded \"\r\nm=3\r\n");
    EXPECT_EQ(ini.ReadEntries("b"),
              (std::vector<IniEntry>{{"k", "2"}, {"v", " padded "}, {"m", "3"}}));

    const std::vector<IniSection> broken{{"A", {{"a", "1"}}}, {"B", {{"b", "x\r"}}}};
    EXPECT_FALSE(ini.WriteWhole(broken));
    EXPECT_NE(ini.LastError().find("line break"), std::string::npos) << ini.LastError();
    EXPECT_EQ(ini.ReadString("B", "k"), "2");
}

TEST_F(IniFileTest, RefusesWhatCouldChangeTheFilesStructure) {
    struct Case {
        const char* section;
        const char* key;
        const char* value;
        const char* reason;
    } cases[] = {
        {"S", "k", "1\r\n[Injected]\r\nkey=1", "line break"},
        {"S", "k", "a\nb", "line break"},
        {"S", "k", "a\rb", "line break"},
        {"S", "k\nx", "1", "line break"},
        {"S", "a=b", "1", "'='"},
        {"S", "[Injected]", "1", "'['"},
        {"S", ";k", "1", "';'"},
        {"S", "", "1", "empty"},
        {"S", " k", "1", "blanks"},
        {"S]\r\n[T", "k", "1", "line break"},
        {"S]x", "k", "1", "']'"},
        {"S\n", "k", "1", "line break"},
        {"S ", "k", "1", "blanks"},
    };
    const std::string before = "[S]\r\nk=0\r\n";
    for (const auto& c : cases) {
        auto ini = Ini(before);
        EXPECT_FALSE(ini.WriteString(c.section, c.key, c.value)) << c.section << "/" << c.key;
        EXPECT_NE(ini.LastError().find(c.reason), std::string::npos) << ini.LastError();
        EXPECT_EQ(Contents(), before);
    }
}

TEST_F(IniFileTest, ValuesReadBackAsWritten) {
    const std::string values[] = {
        "plain",       "  blanks around  ", "\ttab", "\"quoted\"", "'single'", "\"",
        "'",           "\"mixed'",          "a=b=c", ";x",         "[x]",      "",
        "caf\xC3\xA9",
    };
    auto ini = Ini("");
    for (const auto& value : values) {
        ASSERT_TRUE(ini.WriteString("S", "k", value)) << value;
        EXPECT_EQ(ini.ReadString("S", "k"), value);
        EXPECT_EQ(IniFile(path_).ReadString("S", "k"), value);
    }
    EXPECT_EQ(Contents(), "[S]\r\nk=caf\xC3\xA9\r\n");
}

TEST_F(IniFileTest, ByteOrderMarkIsSkippedAndKept) {
    auto ini = Ini("\xEF\xBB\xBF[S]\r\nk=v\r\n");
    EXPECT_EQ(ini.ReadString("S", "k"), "v");
    EXPECT_EQ(ini.ReadSections(), std::vector<std::string>{"S"});
    ASSERT_TRUE(ini.WriteString("s", "k2", "w"));
    EXPECT_EQ(Contents(), "\xEF\xBB\xBF[S]\r\nk=v\r\nk2=w\r\n");
}

TEST_F(IniFileTest, WritesKeepTheFileItself) {
    // Through a chain of relative links into another folder: the target changes, the links stay.
    const auto real = dir_.Path() / "real";
    std::filesystem::create_directory(real);
    std::ofstream(real / "target.ini", std::ios::binary) << "[S]\nk=1\n";
    std::filesystem::permissions(real / "target.ini", std::filesystem::perms::owner_read |
                                                          std::filesystem::perms::owner_write |
                                                          std::filesystem::perms::group_read);
    std::filesystem::create_symlink("real/target.ini", dir_.Path() / "link.ini");
    std::filesystem::create_symlink("link.ini", path_);
    // The name a fixed temporary name would take is in the way: a unique one is not.
    std::filesystem::create_directory(real / "target.ini.new");

    IniFile ini(path_);
    ASSERT_TRUE(ini.WriteString("S", "k", "2")) << ini.LastError();
    ASSERT_TRUE(ini.WriteString("S", "k", "3")) << ini.LastError();
    EXPECT_TRUE(std::filesystem::is_symlink(path_));
    EXPECT_TRUE(std::filesystem::is_symlink(dir_.Path() / "link.ini"));
    EXPECT_EQ(Contents(real / "target.ini"), "[S]\nk=3\n");
    EXPECT_EQ(std::filesystem::status(real / "target.ini").permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                  std::filesystem::perms::group_read);
    EXPECT_EQ(Listing(dir_.Path()), (std::vector<std::string>{"link.ini", "real", "test.ini"}));
    EXPECT_EQ(Listing(real),
              (std::vector<std::string>{".target.ini.lock", "target.ini", "target.ini.new"}))
        << "nothing left behind but the writers' lock, beside the file the links lead to";

    // A link to nothing yet: the file is made where the link points.
    std::filesystem::create_symlink("made.ini", dir_.Path() / "dangling.ini");
    ASSERT_TRUE(IniFile(dir_.Path() / "dangling.ini").WriteString("S", "k", "1"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir_.Path() / "dangling.ini"));
    EXPECT_EQ(Contents(dir_.Path() / "made.ini"), "[S]\r\nk=1\r\n");
}

TEST_F(IniFileTest, AFolderCountsAsMissing) {
    std::filesystem::create_directory(path_);
    IniFile ini(path_);
    EXPECT_FALSE(ini.Exists());
    EXPECT_TRUE(ini.ReadSections().empty());
    EXPECT_EQ(ini.ReadString("S", "k"), std::nullopt);
    EXPECT_FALSE(ini.WriteString("S", "k", "1"));
    EXPECT_NE(ini.LastError().find("folder"), std::string::npos) << ini.LastError();
    EXPECT_TRUE(std::filesystem::is_directory(path_));

    IniFile in_missing_dir(dir_.Path() / "no" / "such" / "dir.ini");
    EXPECT_FALSE(in_missing_dir.WriteString("S", "k", "2"));
    EXPECT_FALSE(in_missing_dir.LastError().empty());
}

// Runs the check in a child process as a user without privileges (root gives them up), so that
// file permissions apply; 0 when the check holds.
int AsUnprivilegedUser(const std::function<bool()>& check) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            ::_exit(2);
        }
        ::_exit(check() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 3;
}

TEST_F(IniFileTest, NeverReplacesAFileItMayNotReadOrWrite) {
    using std::filesystem::perms;
    std::filesystem::permissions(dir_.Path(), perms::all);
    struct Case {
        const char* what;
        perms mode;
        const char* reason;
    } cases[] = {
        {"unreadable", perms::none, "cannot be read"},
        {"read-only", perms::owner_read | perms::group_read | perms::others_read, "read-only"},
    };
    for (const auto& c : cases) {
        Ini("[S]\nk=1\n[T]\nt=1\n");
        std::filesystem::permissions(path_, c.mode);
        EXPECT_EQ(AsUnprivilegedUser([&] {
                      IniFile ini(path_);
                      return !ini.WriteString("S", "k", "2") &&
                             ini.LastError().find(c.reason) != std::string::npos;
                  }),
                  0)
            << c.what;
        std::filesystem::permissions(path_, perms::owner_read | perms::owner_write);
        EXPECT_EQ(Contents(), "[S]\nk=1\n[T]\nt=1\n") << c.what;
    }

    const auto loop = dir_.Path() / "loop.ini";
    std::filesystem::create_symlink("loop.ini", loop);
    IniFile looped(loop);
    EXPECT_FALSE(looped.WriteString("S", "k", "1"));
    EXPECT_FALSE(looped.LastError().empty());
    EXPECT_TRUE(std::filesystem::is_symlink(loop));
}

// Writers in several processes, each adding keys of its own to one file: every key is there at
// the end, because each write takes the file's lock around its read, edit and replacement.
TEST_F(IniFileTest, WritersInSeveralProcessesLoseNoKeys) {
    constexpr int kWriters = 4;
    constexpr int kKeys = 50;
    Ini("[S]\n");
    std::vector<pid_t> children;
    for (int writer = 0; writer < kWriters; ++writer) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            IniFile ini(path_);
            int failures = 0;
            for (int key = 0; key < kKeys; ++key) {
                failures +=
                    ini.WriteString("S", "w" + std::to_string(writer) + "k" + std::to_string(key),
                                    std::to_string(key))
                        ? 0
                        : 1;
            }
            ::_exit(failures == 0 ? 0 : 1);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a write failed";
    }
    const IniFile ini(path_);
    EXPECT_EQ(ini.ReadSection("S").size(), size_t{kWriters * kKeys});
    for (int writer = 0; writer < kWriters; ++writer) {
        for (int key = 0; key < kKeys; ++key) {
            EXPECT_EQ(
                ini.ReadString("S", "w" + std::to_string(writer) + "k" + std::to_string(key), ""),
                std::to_string(key));
        }
    }
}

// Something else planted at the lock's name (a FIFO would hold an open up for good): the write
// fails at once and says why.
TEST_F(IniFileTest, ALockThatIsNoRegularFileFailsTheWrite) {
    auto ini = Ini("[S]\nk=1\n");
    ASSERT_EQ(::mkfifo((dir_.Path() / ".test.ini.lock").c_str(), 0600), 0);
    EXPECT_FALSE(ini.WriteString("S", "k", "2"));
    EXPECT_NE(ini.LastError().find("is not a regular file"), std::string::npos) << ini.LastError();
    EXPECT_EQ(Contents(), "[S]\nk=1\n");
}

TEST_F(IniFileTest, AWriterThatCannotHaveTheLockFailsAndChangesNothing) {
    auto ini = Ini("[S]\nk=1\n");
    std::string error;
    const auto held = carvex::WriterLock::Take(path_, std::chrono::milliseconds(0), error);
    ASSERT_TRUE(held) << error;
    // Another program holding the lock: a lock of another open file conflicts as one would.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        IniFile other(path_);
        const auto start = std::chrono::steady_clock::now();
        const bool refused =
            !other.WriteString("S", "k", "2") &&
            other.LastError().find("another program is writing it") != std::string::npos;
        const bool waited = std::chrono::steady_clock::now() - start >= IniFile::kLockWait;
        ::_exit(refused && waited ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(Contents(), "[S]\nk=1\n");
}

}  // namespace
}  // namespace cardwright
