#include <gtest/gtest.h>

#include "scan/paths.h"

namespace spadrim {
namespace {

TEST(LongPath, DrivesFoldersSharesAndPrefixedPaths) {
    EXPECT_EQ(to_long_path("C:\\"), "\\\\?\\C:");
    EXPECT_EQ(to_long_path("C:\\Data\\"), "\\\\?\\C:\\Data");
    EXPECT_EQ(to_long_path("C:\\Data\\\\"), "\\\\?\\C:\\Data");
    EXPECT_EQ(to_long_path("D:\\Photos"), "\\\\?\\D:\\Photos");
    EXPECT_EQ(to_long_path("\\\\server\\share"), "\\\\?\\UNC\\server\\share");
    EXPECT_EQ(to_long_path("\\\\server\\share\\x\\"), "\\\\?\\UNC\\server\\share\\x");
    EXPECT_EQ(to_long_path("\\\\?\\C:\\Deep"), "\\\\?\\C:\\Deep");
    EXPECT_EQ(to_long_path("\\\\?\\UNC\\s\\x\\"), "\\\\?\\UNC\\s\\x");
}

TEST(DisplayPath, DropsTheLongPrefix) {
    EXPECT_EQ(display_path("\\\\?\\C:\\Users"), "C:\\Users");
    EXPECT_EQ(display_path("\\\\?\\C:"), "C:");
    EXPECT_EQ(display_path("\\\\?\\UNC\\server\\share\\x"), "\\\\server\\share\\x");
    EXPECT_EQ(display_path("\\\\?\\\\\\?\\C:"), "C:");
    EXPECT_EQ(display_path("C:\\plain"), "C:\\plain");
    EXPECT_EQ(display_path(to_long_path("\\\\server\\share")), "\\\\server\\share");
}

TEST(AppendPath, InsertsExactlyOneSeparator) {
    EXPECT_EQ(join_path("C:\\", "Users", '\\'), "C:\\Users");  // no doubled separator after a drive root
    EXPECT_EQ(join_path("\\\\?\\C:", "Users", '\\'), "\\\\?\\C:\\Users");
    EXPECT_EQ(join_path("\\\\?\\C:\\a", "*", '\\'), "\\\\?\\C:\\a\\*");
    EXPECT_EQ(join_path("/", "home", '/'), "/home");
    EXPECT_EQ(join_path("/home", "a b", '/'), "/home/a b");
    std::string path = "D:\\Photos";
    append_path(path, "2024", '\\');
    append_path(path, "a.jpg", '\\');
    EXPECT_EQ(path, "D:\\Photos\\2024\\a.jpg");
}

}  // namespace
}  // namespace spadrim
