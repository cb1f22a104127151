#include <gtest/gtest.h>

#include <map>

#include "app/protect.h"
#include "strings/case.h"

namespace spadrim {
namespace {

// A Windows environment as the shell sets it, without OneDrive; PUBLIC set but empty.
std::optional<std::string> windows_environment(const char* name) {
    static const std::map<std::string, std::string> values = {
        {"SystemRoot", "C:\\Windows"},
        {"ProgramFiles", "C:\\Program Files"},
        {"ProgramFiles(x86)", "C:\\Program Files (x86)"},
        {"ProgramW6432", "C:\\Program Files"},
        {"ProgramData", "C:\\ProgramData"},
        {"USERPROFILE", "C:\\Users\\Ελένη"},
        {"APPDATA", "C:\\Users\\Ελένη\\AppData\\Roaming"},
        {"LOCALAPPDATA", "C:\\Users\\Ελένη\\AppData\\Local"},
        {"PUBLIC", ""}};
    const auto found = values.find(name);
    if (found == values.end()) return std::nullopt;
    return found->second;
}

TEST(Protected, SystemProgramAndProfileFoldersAndWhatHoldsThem) {
    const auto is = [](std::string_view path) { return is_protected(path, windows_environment); };
    EXPECT_TRUE(is("C:\\"));
    EXPECT_TRUE(is(""));
    EXPECT_TRUE(is("C:\\Users"));  // holds the profile
    EXPECT_TRUE(is("C:\\Users\\Ελένη\\Downloads"));
    EXPECT_TRUE(is("C:\\USERS\\ΕΛΈΝΗ\\DOWNLOADS\\"));  // case and trailing separators do not matter
    EXPECT_FALSE(is("C:\\Users\\Ελένη\\Downloads\\setup.exe"));
    EXPECT_FALSE(is("C:\\Program Files\\Vendor"));
    EXPECT_TRUE(is("C:\\PROGRAM FILES"));
    EXPECT_TRUE(is("C:\\Users\\Ελένη\\Saved Games"));
    EXPECT_FALSE(is("C:\\Users\\Ελένη2"));  // a neighbour, not a parent
    EXPECT_FALSE(is("D:\\Data"));
}

TEST(Protected, FullUnicodeLowerCase) {
    EXPECT_EQ(lower_case("ÄÖÜ ÀÉ"), "äöü àé");
    EXPECT_EQ(lower_case("ΟΔΟΣ ΣΟΦΟΣ"), "οδος σοφος");  // final sigma at word ends only
    EXPECT_EQ(lower_case("Σ"), "σ");
    EXPECT_EQ(lower_case("İ"), "i\u0307");  // one capital, two characters in lower case
    EXPECT_EQ(lower_case("ДОКУМЕНТЫ"), "документы");
    EXPECT_EQ(lower_case("日本語 ok"), "日本語 ok");
}

}  // namespace
}  // namespace spadrim
