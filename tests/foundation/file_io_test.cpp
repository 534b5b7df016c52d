#include <cerrno>

#include <gtest/gtest.h>

#include "foundation/file_io.h"
#include "tests/support/temp_home.h"

namespace tellumic {
namespace {

class FileIoTest : public test::HomeTest
{
};

TEST_F(FileIoTest, AppendsToExistingFileAndCreatesMissingOne)
{
    const auto path = home.root() / "log.csv";
    EXPECT_FALSE(FileExists(path));
    {
        auto f = OpenFileForAppend(path);
        ASSERT_TRUE(f);
        EXPECT_EQ(f->sizeAtOpen(), 0u);
        f->writeLine("first");
        f->close();
    }
    EXPECT_TRUE(FileExists(path));
    {
        auto f = OpenFileForAppend(path);
        ASSERT_TRUE(f);
        EXPECT_EQ(f->sizeAtOpen(), 7u);
        f->writeLine("second");
    }
    EXPECT_EQ(test::readFile(path), "first\r\nsecond\r\n");
    EXPECT_FALSE(FileExists(home.root()));  // a folder is not a file
}

TEST_F(FileIoTest, FailureShowsTheMessageAndReturnsNothing)
{
    auto f = OpenFileForAppend(home.root() / "missing-folder" / "log.csv");
    EXPECT_FALSE(f);
    ASSERT_EQ(home.dialogs.shown().size(), 1u);
    EXPECT_EQ(home.dialogs.shown()[0].caption, "Error writing log file");
    EXPECT_EQ(home.dialogs.shown()[0].text, "Error opening file for writing: Path not found");
}

TEST(FileErrorTest, PermissionDeniedExplainsTheFileMayBeOpenElsewhere)
{
    const RuntimeError denied = fileError(EACCES);
    EXPECT_EQ(denied.number(), 70);
    EXPECT_EQ(openFailureMessage(denied),
              "Error opening file for writing: Permission denied\r\n"
              "This can happen if you have the log CSV file\r\n open in another application such as Excel");
    EXPECT_EQ(openFailureMessage(fileError(ENOSPC)), "Error opening file for writing: Disk full");
    EXPECT_EQ(fileError(ENOENT).number(), 76);
}

TEST_F(FileIoTest, TruncateTakesBackAppendedBytes)
{
    const auto path = home.root() / "t.csv";
    test::writeFile(path, "kept\r\n");
    auto f = AppendFile::open(path);
    f->writeLine("partial");
    f->truncate(f->sizeAtOpen());
    f->close();
    EXPECT_EQ(test::readFile(path), "kept\r\n");
}

}  // namespace
}  // namespace tellumic
