#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "cardwork/model/config_item.h"
#include "cardwork/model/ini_file.h"
#include "cardwork/model/program_settings.h"
#include "cardwork/model/setting_crc.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace cardwright {
namespace {

using testsupport::Contents;
using testsupport::Put;
using Encoding = FileText::Encoding;

// Every Chinese word of these tests, as a Chinese Windows writes it (CP936; made with iconv).
const std::pair<std::string, std::string> kCp936Words[] = {
    {"网络设置", "\xcd\xf8\xc2\xe7\xc9\xe8\xd6\xc3"},
    {"指示灯", "\xd6\xb8\xca\xbe\xb5\xc6"},
    {"搜网", "\xcb\xd1\xcd\xf8"},
    {"注册上", "\xd7\xa2\xb2\xe1\xc9\xcf"},
    {"颜色", "\xd1\xd5\xc9\xab"},
    {"灭", "\xc3\xf0"},
    {"蓝色", "\xc0\xb6\xc9\xab"},
    {"绿色", "\xc2\xcc\xc9\xab"},
    {"红色", "\xba\xec\xc9\xab"},
    {"方案一", "\xb7\xbd\xb0\xb8\xd2\xbb"},
    {"数据卡", "\xca\xfd\xbe\xdd\xbf\xa8"},
};

// The text with each Chinese word in CP936; a word missing from the table fails the test.
std::string Cp936(std::string text) {
    std::string rest = text;
    for (const auto& [utf8, cp936] : kCp936Words) {
        for (size_t at = text.find(utf8); at != std::string::npos;
             at = text.find(utf8, at + cp936.size())) {
            text.replace(at, utf8.size(), cp936);
        }
        for (size_t at = rest.find(utf8); at != std::string::npos; at = rest.find(utf8, at)) {
            rest.erase(at, utf8.size());
        }
    }
    for (const char c : rest) {
        EXPECT_LT(static_cast<unsigned char>(c), 0x80) << "no CP936 bytes for a word of " << rest;
    }
    return text;
}

const std::string kDescription =
    "; 指示灯 and 搜网: captions of the Windows program's own pages\r\n"
    "[CONFIG_PAGE]\r\n"
    "PAGE_NET=网络设置\r\n"
    "PAGE_LIGHT=指示灯\r\n"
    "[CONFIG_ITEM]\r\n"
    "SEARCH=1\r\n"
    "COLOUR=1\r\n"
    "[SEARCH]\r\n"
    "ALONG_PAGE=PAGE_NET\r\n"
    "DISPLAY=搜网\r\n"
    "RANGE=注册上G,注册上W\r\n"
    "RANGE_VALUE=0,1\r\n"
    "NV_ID=60000\r\n"
    "TYPE=BYTE\r\n"
    "DEFAULT_VALUE=注册上W\r\n"
    "VISIBLE=1\r\n"
    "[COLOUR]\r\n"
    "ALONG_PAGE=PAGE_LIGHT\r\n"
    "DISPLAY=颜色\r\n"
    "RANGE=灭,蓝色,绿色,红色\r\n"
    "RANGE_VALUE=0,1,2,4\r\n"
    "NV_ID=60001\r\n"
    "TYPE=BYTE\r\n"
    "DEFAULT_VALUE=蓝色\r\n"
    "VISIBLE=1\r\n";

const std::string kValues =
    "; 方案一 is the bench's solution\r\n"
    "[MAIN]\r\n"
    "current=方案一\r\n"
    "\r\n"
    "[方案一]\r\n"
    "ConfigLed=1\r\n"
    "SEARCH=1\r\n"
    "COLOUR=2\r\n"
    "NOTE=绿色\r\n";

class CodePageFilesTest : public ::testing::Test {
  protected:
    IniFile Cp936File(const std::string& name, const std::string& text) {
        Put(dir_.Path() / name, Cp936(text));
        return IniFile(dir_.Path() / name, carvex::CodePage("CP936"));
    }
    std::string Bytes(const std::string& name) const { return Contents(dir_.Path() / name); }

    testsupport::TempDir dir_;
};

TEST_F(CodePageFilesTest, ACp936DescriptionShowsItsCaptions) {
    const IniFile description = Cp936File("Config_Info.ini", kDescription);
    EXPECT_EQ(description.TextEncoding(), Encoding::kCodePage);

    const auto pages = ReadConfigPages(description);
    ASSERT_TRUE(pages && pages->size() == 2);
    EXPECT_EQ((*pages)[0].caption, "网络设置");
    EXPECT_EQ((*pages)[1].caption, "指示灯");

    const auto items = ReadConfigItems(description);
    ASSERT_TRUE(items && items->size() == 2);
    const TConfigItem& search = (*items)[0];
    EXPECT_EQ(DisplayText(search), "搜网");
    EXPECT_EQ(SplitList(search.Range), (std::vector<std::string>{"注册上G", "注册上W"}));
    EXPECT_EQ(search.DefaultValue, "注册上W");
    const TConfigItem& colour = (*items)[1];
    EXPECT_EQ(DisplayText(colour), "颜色");
    EXPECT_EQ(SplitList(colour.Range), (std::vector<std::string>{"灭", "蓝色", "绿色", "红色"}));
}

TEST_F(CodePageFilesTest, ACp936ValuesFileSavedBackIsStillCp936AndChangedOnlyWhereWritten) {
    IniFile values = Cp936File("config_value.ini", kValues);
    EXPECT_EQ(values.ReadString("MAIN", "current"), "方案一");
    EXPECT_EQ(values.ReadString("方案一", "NOTE"), "绿色");

    // A solution saved: its keys, and the current one named.
    ASSERT_TRUE(values.WriteStrings("方案一", {{"COLOUR", "4"}, {"NOTE", "红色"}}))
        << values.LastError();
    ASSERT_TRUE(values.WriteString("MAIN", "current", "数据卡")) << values.LastError();
    std::string expected = kValues;
    expected.replace(expected.find("current=方案一"), std::string("current=方案一").size(),
                     "current=数据卡");
    expected.replace(expected.find("COLOUR=2"), 8, "COLOUR=4");
    expected.replace(expected.find("NOTE=绿色"), std::string("NOTE=绿色").size(), "NOTE=红色");
    EXPECT_EQ(Bytes("config_value.ini"), Cp936(expected));

    // A new solution, and one removed: what is left is still the Windows program's bytes.
    ASSERT_TRUE(values.WriteString("灭", "ConfigLed", "0")) << values.LastError();
    EXPECT_EQ(Bytes("config_value.ini"), Cp936(expected + "[灭]\r\nConfigLed=0\r\n"));
    ASSERT_TRUE(values.EraseSection("方案一"));
    ASSERT_TRUE(values.DeleteKey("MAIN", "current"));
    EXPECT_EQ(Bytes("config_value.ini"),
              Cp936("; 方案一 is the bench's solution\r\n[MAIN]\r\n\r\n[灭]\r\nConfigLed=0\r\n"));

    const IniFile again(dir_.Path() / "config_value.ini", carvex::CodePage("CP936"));
    EXPECT_EQ(again.TextEncoding(), Encoding::kCodePage);
    EXPECT_EQ(again.ReadString("灭", "ConfigLed"), "0");
}

TEST_F(CodePageFilesTest, AUtf8FileStaysUtf8) {
    const auto path = dir_.Path() / "config_value.ini";
    for (const std::string& start : {kValues, std::string("[MAIN]\r\ncurrent=DEFAULT\r\n")}) {
        Put(path, start);
        IniFile values(path, carvex::CodePage("CP936"));
        EXPECT_EQ(values.TextEncoding(), Encoding::kUtf8);
        ASSERT_TRUE(values.WriteString("MAIN", "current", "蓝色")) << values.LastError();
        std::string expected = start;
        const size_t line = expected.find("current=");
        expected.replace(line, expected.find('\r', line) - line, "current=蓝色");
        EXPECT_EQ(Contents(path), expected);
    }
}

TEST_F(CodePageFilesTest, WhatTheCodePageCannotHoldIsRefusedAndTheFileKept) {
    IniFile values = Cp936File("config_value.ini", kValues);
    const std::string before = Bytes("config_value.ini");
    EXPECT_FALSE(values.WriteString("方案一", "NOTE", "한국"));
    EXPECT_NE(values.LastError().find("CP936 has no \"한\""), std::string::npos)
        << values.LastError();
    // All or nothing: the key that could be written is not either.
    EXPECT_FALSE(values.WriteStrings("方案一", {{"COLOUR", "4"}, {"NOTE", "ok 😀"}}));
    EXPECT_FALSE(values.WriteString("Solution 😀", "ConfigLed", "1"));
    EXPECT_EQ(Bytes("config_value.ini"), before);
    EXPECT_EQ(values.ReadString("方案一", "COLOUR"), "2");
}

TEST_F(CodePageFilesTest, AFileOfNeitherEncodingReadsAndTakesOnlyAscii) {
    // 0xFF is no byte of UTF-8 nor of CP936; the line after it is whole.
    const std::string text = Cp936("[S]\r\nbad=") + "\xff" + Cp936("蓝色\r\ngood=灭\r\n");
    Put(dir_.Path() / "x.ini", text);
    IniFile file(dir_.Path() / "x.ini", carvex::CodePage("CP936"));
    EXPECT_EQ(file.TextEncoding(), Encoding::kNeither);
    EXPECT_EQ(file.ReadString("S", "bad"), "\xEF\xBF\xBD蓝色");
    EXPECT_EQ(file.ReadString("S", "good"), "灭");

    EXPECT_FALSE(file.WriteString("S", "good", "红色"));
    EXPECT_NE(file.LastError().find("neither UTF-8 nor CP936"), std::string::npos);
    EXPECT_EQ(Bytes("x.ini"), text);
    ASSERT_TRUE(file.WriteString("S", "good", "2")) << file.LastError();
    EXPECT_EQ(Bytes("x.ini"), Cp936("[S]\r\nbad=") + "\xff" + Cp936("蓝色\r\ngood=2\r\n"));
}

TEST_F(CodePageFilesTest, AChangeThatWouldMakeTheFileReadOtherwiseIsRefused) {
    // "伞" (C9 A1) is also UTF-8 (U+0261): once "中" (D6 D0) went, the file would read as UTF-8.
    const std::string text = "[S]\r\na=\xc9\xa1\r\nb=\xd6\xd0\r\n";
    Put(dir_.Path() / "x.ini", text);
    IniFile file(dir_.Path() / "x.ini", carvex::CodePage("CP936"));
    EXPECT_EQ(file.ReadString("S", "a"), "伞");
    EXPECT_FALSE(file.WriteString("S", "b", "1"));
    EXPECT_NE(file.LastError().find("taken for UTF-8"), std::string::npos) << file.LastError();
    EXPECT_EQ(Bytes("x.ini"), text);

    // Bytes that are no UTF-8 (from a command line) would turn a UTF-8 file into CP936.
    Put(dir_.Path() / "y.ini", "[S]\r\na=蓝色\r\n");
    IniFile utf8(dir_.Path() / "y.ini", carvex::CodePage("CP936"));
    EXPECT_FALSE(utf8.WriteString("S", "b", "\xc0\xb6"));
    EXPECT_EQ(Bytes("y.ini"), "[S]\r\na=蓝色\r\n");
}

TEST_F(CodePageFilesTest, ASettingFileIsSealedOverItsOwnBytes) {
    const std::string lines = Cp936("颜色=2\r\n");
    const std::string file = Cp936("[DATACARD_TYPE]\r\nVALUE=LW-X4201\r\n[DEFAULT]\r\n颜色=2\r\n") +
                             "[CRC]\r\nVALUE=" + std::to_string(SettingCrc(lines)) + "\r\n";
    Put(dir_.Path() / "cp936.ini", file);
    EXPECT_TRUE(
        VerifySettingCrc(IniFile(dir_.Path() / "cp936.ini", carvex::CodePage("CP936")), false));
    // Sealed over the UTF-8 text, the CP936 file's own lines do not give its CRC.
    const std::string resealed = Cp936("[DEFAULT]\r\n颜色=2\r\n") +
                                 "[CRC]\r\nVALUE=" + std::to_string(SettingCrc("颜色=2\r\n")) +
                                 "\r\n";
    Put(dir_.Path() / "resealed.ini", resealed);
    EXPECT_FALSE(
        VerifySettingCrc(IniFile(dir_.Path() / "resealed.ini", carvex::CodePage("CP936")), false));
}

TEST_F(CodePageFilesTest, SettingsNameTheCodePageAndReportWhatTheyCannotTake) {
    const auto path = dir_.Path() / std::string(kProgramSettingsFile);
    const auto missing = ReadProgramSettings(path);
    EXPECT_EQ(missing.legacy_code_page.Name(), "CP936");
    EXPECT_TRUE(missing.problems.empty());

    Put(path, "# files from the office in Lyon\nlegacy_codepage = CP1252  # western\n");
    const auto western = ReadProgramSettings(path);
    EXPECT_TRUE(western.problems.empty());
    Put(dir_.Path() / "x.ini", "[S]\r\nk=Caf\xe9\r\n");
    EXPECT_EQ(IniFile(dir_.Path() / "x.ini", western.legacy_code_page).ReadString("S", "k"),
              "Café");

    Put(path,
        "nonsense\nleave_modemmanager = yes\nlegacy_codepage = CP9366\n"
        "legacy_codepage = UTF-16\nlegacy_codepage =\n");
    const auto bad = ReadProgramSettings(path);
    EXPECT_EQ(bad.legacy_code_page.Name(), "CP936");
    EXPECT_EQ(bad.problems,
              (std::vector<std::string>{
                  "cardwright.conf, line 1: expected \"key = value\"",
                  "cardwright.conf, line 2: unknown setting \"leave_modemmanager\"",
                  "cardwright.conf, line 3: no code page \"CP9366\" is known; files that are not "
                  "UTF-8 are read in CP936",
                  "cardwright.conf, line 4: no code page \"UTF-16\" is known; files that are not "
                  "UTF-8 are read in CP936",
                  "cardwright.conf, line 5: no code page \"\" is known; files that are not UTF-8 "
                  "are read in CP936",
              }));
}

}  // namespace
}  // namespace cardwright
