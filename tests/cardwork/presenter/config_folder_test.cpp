// Where the configurator keeps its INI files and its log.
#include <gtest/gtest.h>

#include "cardwork/presenter/config_folder.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using cardwright::ChooseConfigFolder;
using cardwright::ConfigFolderPlaces;
using Names = std::vector<std::string>;

class ConfigFolderTest : public ::testing::Test {
  protected:
    ConfigFolderTest() {
        fs::create_directories(Program());
        fs::create_directories(Examples());
        testsupport::Put(Examples() / "Config_Info.ini", "example description\r\n");
        testsupport::Put(Examples() / "config_value.ini", "example values\r\n");
    }

    fs::path Program() const { return dir_.Path() / "bin"; }
    fs::path Examples() const { return dir_.Path() / "share" / "examples"; }
    fs::path User() const { return dir_.Path() / "xdg"; }

    ConfigFolderPlaces Places() const { return {std::nullopt, Program(), Examples(), User()}; }

    testsupport::TempDir dir_;
};

TEST_F(ConfigFolderTest, ANamedFolderWinsAndIsSeeded) {
    for (const char* file : {"Config_Info.ini", "config_value.ini"}) {
        testsupport::Put(Program() / file, "portable\r\n");
    }
    ConfigFolderPlaces places = Places();
    places.named = dir_.Path() / "named" / "folder" / "";
    const auto folder = ChooseConfigFolder(places);
    EXPECT_EQ(folder.path, dir_.Path() / "named" / "folder");
    EXPECT_TRUE(folder.complete);
    EXPECT_EQ(folder.seeded, (Names{"Config_Info.ini", "config_value.ini"}));
    EXPECT_EQ(testsupport::Contents(folder.path / "config_value.ini"), "example values\r\n");
}

// Both files beside the program make a portable copy, used as it is; one alone does not.
TEST_F(ConfigFolderTest, APortableCopyBesideTheProgram) {
    testsupport::Put(Program() / "Config_Info.ini", "portable\r\n");
    auto folder = ChooseConfigFolder(Places());
    EXPECT_EQ(folder.path, User() / "cardwright");
    EXPECT_TRUE(folder.complete);

    testsupport::Put(Program() / "config_value.ini", "portable\r\n");
    folder = ChooseConfigFolder(Places());
    EXPECT_EQ(folder.path, Program());
    EXPECT_TRUE(folder.seeded.empty());
}

TEST_F(ConfigFolderTest, AFileThatIsThereIsNeverOverwrittenAndCopiesAreTheUsers) {
    testsupport::Put(Examples() / "Config_Info.ini", "example description\r\n");
    fs::permissions(Examples() / "config_value.ini",
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::create_directories(User() / "cardwright");
    testsupport::Put(User() / "cardwright" / "Config_Info.ini", "mine\r\n");
    const auto folder = ChooseConfigFolder(Places());
    EXPECT_EQ(folder.seeded, Names{"config_value.ini"});
    EXPECT_EQ(testsupport::Contents(folder.path / "Config_Info.ini"), "mine\r\n");
    const fs::perms perms = fs::status(folder.path / "config_value.ini").permissions();
    EXPECT_NE(perms & fs::perms::owner_write, fs::perms::none);
}

TEST_F(ConfigFolderTest, WhatCannotBeMadeIsSaid) {
    fs::remove_all(Examples());
    auto folder = ChooseConfigFolder(Places());
    EXPECT_TRUE(fs::is_directory(User() / "cardwright"));
    EXPECT_FALSE(folder.complete);
    ASSERT_EQ(folder.problems.size(), 2u);
    EXPECT_EQ(folder.problems[0],
              "no example " + (Examples() / "Config_Info.ini").string() + " to copy");

    testsupport::Put(dir_.Path() / "named", "a file where the folder should go");
    ConfigFolderPlaces places = Places();
    places.named = dir_.Path() / "named" / "folder";
    folder = ChooseConfigFolder(places);
    EXPECT_FALSE(folder.complete);
    EXPECT_EQ(folder.problems,
              Names{"cannot create the folder " + (dir_.Path() / "named" / "folder").string()});
}

TEST(XdgConfigHome, ARelativeOneCountsAsUnset) {
    EXPECT_EQ(cardwright::XdgConfigHome("/srv/config", "/home/tech"), fs::path("/srv/config"));
    EXPECT_EQ(cardwright::XdgConfigHome("relative/config", "/home/tech"),
              fs::path("/home/tech/.config"));
    EXPECT_EQ(cardwright::XdgConfigHome("", "/home/tech"), fs::path("/home/tech/.config"));
}

}  // namespace
