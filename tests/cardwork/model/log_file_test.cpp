#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "cardwork/model/log_file.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace cardwright {
namespace {

using testsupport::Contents;

TEST(LogFile, ARewriteThatCannotFinishLosesNoEarlierRun) {
    testsupport::TempDir dir;
    const auto path = dir.Path() / "ConfigLog.txt";
    const std::string earlier = "run 1 a\r\nrun 1 b\r\n";
    std::ofstream(path, std::ios::binary) << earlier;
    LogFile log(path);
    const std::vector<std::string> lines = {
        "run 1 a", "run 1 b", "", "", "", "", std::string(200, 'x')};
    {
        const testsupport::FileSizeLimit disk_full(64);
        EXPECT_FALSE(log.Rewrite(lines));
    }
    EXPECT_FALSE(log.LastError().empty());
    EXPECT_EQ(Contents(path), earlier);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                            std::filesystem::directory_iterator()),
              1)
        << "no temporary file is left behind";

    ASSERT_TRUE(log.Rewrite(lines));
    EXPECT_EQ(log.ReadLines(), lines);
}

TEST(LogFile, WritesKeepTheFileItself) {
    testsupport::TempDir dir;
    const auto target = dir.Path() / "logs" / "ConfigLog.txt";
    std::filesystem::create_directory(target.parent_path());
    std::ofstream(target, std::ios::binary) << "old\r\n";
    const auto mode = std::filesystem::perms::owner_read | std::filesystem::perms::owner_write;
    std::filesystem::permissions(target, mode);
    const auto link = dir.Path() / "ConfigLog.txt";
    std::filesystem::create_symlink("logs/ConfigLog.txt", link);

    LogFile log(link);
    ASSERT_TRUE(log.Rewrite({"old", "", "new"}));
    ASSERT_TRUE(log.Append("more"));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(Contents(target), "old\r\n\r\nnew\r\nmore\r\n");
    EXPECT_EQ(std::filesystem::status(target).permissions(), mode);
}

}  // namespace
}  // namespace cardwright
