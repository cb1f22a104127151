#include <gtest/gtest.h>

#include <map>
#include <vector>

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

// Known folders that Windows says live elsewhere than in the profile: moved by OneDrive's backup, by the
// user to another drive, or to a server.
TEST(Protected, KnownFoldersWhereverTheyLive) {
    const std::vector<std::string> known = {"C:\\Users\\Ελένη\\OneDrive\\Documents", "D:\\Desktop\\",
                                            "\\\\nas\\home\\Pictures"};
    const struct {
        const char* path;
        bool protected_;
    } CASES[] = {
        {"C:\\Users\\Ελένη\\OneDrive\\Documents", true},
        {"c:\\users\\ελένη\\onedrive\\DOCUMENTS\\", true},
        {"C:\\Users\\Ελένη\\OneDrive", true},  // holds Documents
        {"C:\\Users\\Ελένη\\OneDrive\\Documents\\notes.txt", false},
        {"C:\\Users\\Ελένη\\OneDrive\\Documents old", false},
        {"D:\\Desktop", true},
        {"D:\\Desktop\\todo.txt", false},
        {"\\\\nas\\home\\Pictures", true},
        {"\\\\nas\\home", true},
        {"\\\\nas\\home\\Pictures\\2024", false},
        {"\\\\nas\\home\\Music", false},
    };
    for (const auto& c : CASES) {
        EXPECT_EQ(is_protected(c.path, windows_environment, known), c.protected_) << c.path;
        // Without the known folders only what lies in the profile's default places is known.
        if (c.protected_ && !std::string_view(c.path).starts_with("C:\\Users\\Ελένη\\OneDrive")) {
            EXPECT_FALSE(is_protected(c.path, windows_environment)) << c.path;
        }
    }
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
