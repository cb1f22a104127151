#include <gtest/gtest.h>

#include "app/startup.h"

namespace spadrim {
namespace {

TEST(Startup, FolderArgumentIsTheFirstThatIsNotAnOption) {
    EXPECT_EQ(folder_argument({"D:\""}), "D:\\");  // Explorer's quoting of a drive root
    EXPECT_EQ(folder_argument({"D:"}), "D:\\");
    EXPECT_EQ(folder_argument({"--foo", "C:\\Data"}), "C:\\Data");
    EXPECT_EQ(folder_argument({"--foo"}), std::nullopt);
    EXPECT_EQ(folder_argument({}), std::nullopt);
    EXPECT_EQ(folder_argument({"  C:\\My Files\\\"\"\u3000"}), "C:\\My Files\\");  // Unicode blanks trimmed
    EXPECT_EQ(folder_argument({"-x", "--"}), "-x");                                // one dash is no option
    EXPECT_TRUE(wants_unregister({"a", "--unregister"}));
    EXPECT_FALSE(wants_unregister({"--UNREGISTER", "--unregister=1"}));
    EXPECT_TRUE(wants_register({"--register", "C:\\Data"}));
    EXPECT_FALSE(wants_register({"--unregister", "--register=1", "register"}));
    EXPECT_EQ(folder_argument({"--register"}), std::nullopt);  // an option, never a folder to scan
}

TEST(Startup, ScanFilesAreToldByTheirNames) {
    EXPECT_TRUE(is_scan_file_name("D:\\scans\\nas.json"));
    EXPECT_TRUE(is_scan_file_name("nas.JSON.GZ"));
    EXPECT_TRUE(is_scan_file_name("a.Json"));
    EXPECT_FALSE(is_scan_file_name(".json"));  // a name that is only the ending
    EXPECT_FALSE(is_scan_file_name("D:\\scans"));
    EXPECT_FALSE(is_scan_file_name("scan.json.zip"));
    EXPECT_FALSE(is_scan_file_name("scan.gz"));
}

TEST(Startup, VerbCommandAndElevatedArgumentQuoteTheirPaths) {
    EXPECT_EQ(verb_command("C:\\Program Files\\Spadrim\\Spadrim.exe", "%V"),
              "\"C:\\Program Files\\Spadrim\\Spadrim.exe\" \"%V\"");
    EXPECT_EQ(elevated_argument("D:\\"), "\"D:\"");
    EXPECT_EQ(elevated_argument("C:\\My Data\\"), "\"C:\\My Data\"");
    EXPECT_EQ(folder_argument({"D:"}), "D:\\");  // and the elevated instance reads it back as the root
}

TEST(Startup, DailyUpdateCheck) {
    EXPECT_EQ(parse_check_time("1700000000"), 1700000000u);
    EXPECT_EQ(parse_check_time("+5"), 5u);
    for (const char* bad : {"", "+", "-5", "abc", "12a", " 5", "99999999999999999999999"}) {
        EXPECT_EQ(parse_check_time(bad), 0u) << bad;
    }
    constexpr std::uint64_t NOW = 2'000'000'000;
    EXPECT_TRUE(update_check_due(std::nullopt, NOW - 86400, NOW));  // a day since: due
    EXPECT_FALSE(update_check_due(std::nullopt, NOW - 86399, NOW));
    EXPECT_FALSE(update_check_due(0u, 0, NOW));                       // switched off
    EXPECT_TRUE(update_check_due(1u, parse_check_time("abc"), NOW));  // unreadable: check now
    EXPECT_FALSE(update_check_due(1u, NOW + 10, NOW));                // a time in the future waits
}

}  // namespace
}  // namespace spadrim
