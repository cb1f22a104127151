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

// Names Win32 would rewrite into another item's (or a device's) are caught anywhere in the path.
TEST(PlainPath, ExactOnlyWhereWin32KeepsEveryName) {
    const struct {
        const char* path;
        bool exact;
    } CASES[] = {
        {"C:\\Data\\report", true},
        {"C:\\Data\\report.txt", true},
        {"C:\\Data\\...x", true},
        {"C:\\Data\\ lead", true},
        {"C:\\", true},
        {"\\\\server\\share\\a b\\c.d", true},
        {"\\\\server\\share", true},
        {"C:\\Data\\Ελένη\\console.log", true},
        {"C:\\Data\\com10", true},
        {"C:\\Data\\report.", false},
        {"C:\\Data\\report ", false},
        {"C:\\Data\\report. .", false},
        {"C:\\Data.\\report", false},  // a folder on the way
        {"\\\\server\\share\\x \\y", false},
        {"C:\\Data\\*", false},
        {"C:\\Data\\a?b", false},
        {"C:\\Data\\a:stream", false},
        {"C:\\Data\\a|b", false},
        {"C:\\Data\\tab\there", false},
        {"C:\\Data\\NUL", false},
        {"C:\\Data\\con.txt", false},
        {"C:\\Data\\Aux .c", false},
        {"C:\\Data\\lpt1", false},
        {"C:\\Data\\COM\u00b9", false},
        {"C:\\Data\\conout$", false},
        {"C:\\Data\\\\x", false},  // an empty name collapses
        {"C:\\Data\\..\\x", false},
        {"\\\\?\\C:\\Data", false},  // long forms and relative paths are not plain full paths
        {"Data\\x", false},
        {"\\\\server", false},
    };
    for (const auto& c : CASES)
        EXPECT_EQ(plain_path_is_exact(c.path), c.exact) << c.path;
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
