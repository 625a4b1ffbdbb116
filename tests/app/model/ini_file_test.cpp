#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "app/model/ini_file.h"
#include "tests/support/temp_dir.h"

namespace cardwright {
namespace {

class IniFileTest : public ::testing::Test {
  protected:
    IniFile Ini(const std::string& text) {
        std::ofstream(path_, std::ios::binary) << text;
        return IniFile(path_);
    }
    std::string Contents() const {
        std::ifstream in(path_, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

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
}

TEST_F(IniFileTest, MissingFileReadsAsEmptyAndEveryReadSeesTheFileNow) {
    IniFile ini(dir_.Path() / "absent.ini");
    EXPECT_FALSE(ini.SectionExists("S"));
    EXPECT_TRUE(ini.ReadSections().empty());

    const auto changing = Ini("[S]\nk=1\n");
    EXPECT_EQ(changing.ReadString("S", "k"), "1");
    std::ofstream(path_, std::ios::binary) << "[S]\nk=2\n";
    EXPECT_EQ(changing.ReadString("S", "k"), "2");
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

TEST_F(IniFileTest, NewFileAndFailedWriteLeavesTheOldFile) {
    IniFile fresh(dir_.Path() / "fresh.ini");
    ASSERT_TRUE(fresh.WriteString("MAIN", "current", "DEFAULT"));
    EXPECT_EQ(fresh.ReadString("main", "CURRENT"), "DEFAULT");

    // The new file cannot be made (a folder stands in its place): the old file stays.
    auto ini = Ini("[S]\nk=1\n");
    std::filesystem::create_directory(path_.string() + ".new");
    EXPECT_FALSE(ini.WriteString("S", "k", "2"));
    EXPECT_EQ(Contents(), "[S]\nk=1\n");
    IniFile in_missing_dir(dir_.Path() / "no" / "such" / "dir.ini");
    EXPECT_FALSE(in_missing_dir.WriteString("S", "k", "2"));
}

}  // namespace
}  // namespace cardwright
