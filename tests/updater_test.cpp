#include <gtest/gtest.h>

#include "updater/download.h"
#include "updater/mailbox.h"
#include "updater/manifest.h"

namespace spadrim {
namespace {

std::string manifest_text(std::string_view version, std::string_view url = "https://brightfen.example/s.exe",
                          std::string_view extra = "") {
    return "{\"version\": \"" + std::string(version) + "\", \"url\": \"" + std::string(url) +
           "\", \"sha256\": \"AbC0\"" + std::string(extra) + "}";
}

TEST(Updater, VersionsCompareByComponentWithMissingOnesZero) {
    EXPECT_EQ(parse_version("1..2"), (VersionNumber{1, 0, 2}));
    EXPECT_EQ(parse_version(""), (VersionNumber{0}));
    EXPECT_EQ(parse_version("\u00A0 vv0.3\u3000\n"), (VersionNumber{0, 3}));  // Unicode blanks, every "v"
    EXPECT_EQ(parse_version("V1.+5.-1.x.+.4294967295.4294967296"),
              (VersionNumber{0, 5, 0, 0, 0, 4294967295u, 0}));
    EXPECT_EQ(compare_versions(parse_version("0.2"), parse_version("0.2.0")), 0);
    EXPECT_GT(compare_versions(parse_version("0.2.0.1"), parse_version("0.2.0")), 0);
    EXPECT_GT(compare_versions(parse_version("0.10.0"), parse_version("0.2.0")), 0);  // not text order
    EXPECT_LT(compare_versions(parse_version("0.1.99"), parse_version("0.2")), 0);
}

TEST(Updater, ManifestIsJudgedAgainstTheRunningVersion) {
    EXPECT_EQ(judge_manifest(manifest_text("0.2"), "0.2.0").kind, CheckOutcome::Kind::UpToDate);
    EXPECT_EQ(judge_manifest(manifest_text("0.1.9"), "0.2.0").kind, CheckOutcome::Kind::UpToDate);
    for (const char* newer : {"0.2.0.1", "0.10.0"}) {
        const CheckOutcome outcome = judge_manifest(manifest_text(newer), "0.2.0");
        EXPECT_EQ(outcome.kind, CheckOutcome::Kind::Newer) << newer;
        EXPECT_EQ(outcome.manifest.version, newer);
    }
    const CheckOutcome bad = judge_manifest(manifest_text("v0.3.0"), "0.2.0");
    EXPECT_EQ(bad.kind, CheckOutcome::Kind::Failed);
    EXPECT_EQ(bad.message, "The update information could not be read");  // a sentence, not a bare word
}

TEST(Updater, ManifestRulesAreStrict) {
    const std::string v32(32, '1');
    EXPECT_TRUE(parse_manifest(manifest_text(v32)));
    for (const std::string& text : {
             manifest_text(v32 + "1"),                                // 33 characters
             manifest_text(""),                                       // empty version
             manifest_text("0.3", "http://brightfen.example/s.exe"),  // not HTTPS
             manifest_text("0.3", "https:/"),                         // too short
             manifest_text("0.3") + " x",                             // trailing text
             manifest_text("0.3") + "{}",                             // a second document
             manifest_text("0.3") + std::string(1, '\0') + "x",       // hidden behind a zero byte
             std::string("[") + manifest_text("0.3") + "]",           // not an object
             std::string("{\"version\": \"0.3\", \"url\": \"https://a.example/\"}"),  // no sha256
             std::string("{\"version\": 3, \"url\": \"https://a.example/\", \"sha256\": \"\"}"),
             manifest_text("0.3", "https://a.example/\xC3\x28"),  // not UTF-8
             // Blanks and control characters in an address: the command line or curl would cut it.
             manifest_text("0.3", "https://a.example/s.exe\\u0000 -o C:\\\\x"),
             manifest_text("0.3", "https://a.example/s.exe\\r\\nx"),
             manifest_text("0.3", "https://a.example/a b.exe"),
             manifest_text("0.3", "https://a.example/\\u007F"),
         }) {
        EXPECT_FALSE(parse_manifest(text)) << text;
    }
    const auto taken =
        parse_manifest(" \r\n\t" + manifest_text("0.3", "https://", ", \"other\": [1]") + "\n ");
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->url, "https://");
    EXPECT_EQ(taken->sha256, "abc0");  // lower-cased on reading
    EXPECT_EQ(taken->size, 0u);
}

TEST(Updater, OnlyANonNegativeWholeSizeIsTaken) {
    const auto size_of = [](std::string_view size) {
        return parse_manifest(manifest_text("0.3", "https://a.example/", ", \"size\": " + std::string(size)))
            ->size;
    };
    EXPECT_EQ(size_of("123"), 123u);
    EXPECT_EQ(size_of("18446744073709551615"), 18446744073709551615u);
    EXPECT_EQ(size_of("\"123\""), 0u);
    EXPECT_EQ(size_of("-1"), 0u);
    EXPECT_EQ(size_of("1.5"), 0u);
    EXPECT_EQ(size_of("null"), 0u);
    // Out of a double's range: the size is unusable, not the manifest.
    EXPECT_EQ(size_of("1e309"), 0u);
    EXPECT_EQ(size_of("-1e309"), 0u);
    EXPECT_EQ(size_of("1" + std::string(400, '0')), 0u);
    EXPECT_EQ(size_of("1e-400"), 0u);
    // Only numbers are rewritten: the same text inside a string stays, and broken numbers still fail.
    const auto url = parse_manifest(manifest_text("0.3", "https://a.example/1e309", ", \"size\": 1e309"));
    ASSERT_TRUE(url);
    EXPECT_EQ(url->url, "https://a.example/1e309");
    EXPECT_FALSE(parse_manifest(manifest_text("0.3", "https://a.example/", ", \"size\": 1e309e")));
    EXPECT_FALSE(parse_manifest(manifest_text("0.3", "https://a.example/", ", \"size\": --1")));
}

TEST(Updater, ManifestAddressCarriesVersionAndLanguage) {
    EXPECT_EQ(manifest_address("https://brightfen.example/", "0.2.0", "de"),
              "https://brightfen.example/Spadrim/update.json?v=0.2.0&lang=de");
    EXPECT_EQ(manifest_address("https://brightfen.example", "0.2.0", "zh-Hans"),
              "https://brightfen.example/Spadrim/update.json?v=0.2.0&lang=zh-Hans");
}

TEST(Updater, CurlRunsWithTheFixedArgumentsQuotedForItsRuntime) {
    const std::vector<std::string> arguments =
        curl_arguments("https://a.example/u.json?v=1&lang=en",
                       "C:\\Users\\Jo Doe\\Temp\\Spadrim\\update.json", MANIFEST_CEILING);
    // -q only counts first: anywhere else curl would already have read the user's configuration.
    EXPECT_EQ(arguments, (std::vector<std::string>{"-q", "--globoff", "-fsSL", "--proto", "=https",
                                                   "--max-time", "600", "--max-filesize", "65536", "-o",
                                                   "C:\\Users\\Jo Doe\\Temp\\Spadrim\\update.json",
                                                   "https://a.example/u.json?v=1&lang=en"}));
    EXPECT_EQ(curl_arguments("https://a.example/", "f", 7, 3)[6], "3");
    EXPECT_EQ(curl_program("D:\\WINNT"), "D:\\WINNT\\System32\\curl.exe");
    EXPECT_EQ(curl_program("D:\\WINNT\\"), "D:\\WINNT\\System32\\curl.exe");
    EXPECT_EQ(curl_program(""), "C:\\Windows\\System32\\curl.exe");  // unset: never the search path
    EXPECT_EQ(command_line({"C:\\Windows\\System32\\curl.exe", "-o", "C:\\Jo Doe\\u.json", ""}),
              "C:\\Windows\\System32\\curl.exe -o \"C:\\Jo Doe\\u.json\" \"\"");
    // Backslashes before a quote, and before the closing quote, are doubled; others stay single.
    EXPECT_EQ(command_line({"C:\\a b\\", "say \"hi\"", "x\\\"y"}),
              "\"C:\\a b\\\\\" \"say \\\"hi\\\"\" \"x\\\\\\\"y\"");
}

TEST(Updater, InstallerIsAcceptedOnlyWhenEveryCheckPasses) {
    UpdateManifest manifest = *parse_manifest(manifest_text("0.3", "https://a.example/", ", \"size\": 10"));
    EXPECT_EQ(installer_file_name(manifest.version), "Spadrim-Setup-0.3.exe");
    EXPECT_EQ(check_installer_bytes(10, "abc0", manifest), InstallerCheck::Passed);  // upper-case given
    EXPECT_EQ(check_installer_bytes(11, "abc0", manifest), InstallerCheck::SizeMismatch);
    EXPECT_EQ(check_installer_bytes(10, "abc1", manifest), InstallerCheck::HashMismatch);
    manifest.size = 0;  // none given: the digest decides, under the ceiling
    EXPECT_EQ(check_installer_bytes(99, "abc0", manifest), InstallerCheck::Passed);
    EXPECT_EQ(check_installer_bytes(INSTALLER_CEILING, "abc0", manifest), InstallerCheck::Passed);
    EXPECT_EQ(check_installer_bytes(INSTALLER_CEILING + 1, "abc0", manifest), InstallerCheck::SizeMismatch);
    manifest.sha256 = " abc0";
    EXPECT_EQ(check_installer_bytes(99, "abc0", manifest), InstallerCheck::HashMismatch);

    EXPECT_EQ(check_signer(true, "Brightfen Co., Ltd."), InstallerCheck::Passed);
    EXPECT_EQ(check_signer(true, "Brightfen Co., Ltd"), InstallerCheck::Unsigned);
    EXPECT_EQ(check_signer(true, "Other Company Ltd."), InstallerCheck::Unsigned);
    EXPECT_EQ(check_signer(false, "Brightfen Co., Ltd."), InstallerCheck::Unsigned);
    EXPECT_EQ(check_signer(true, std::nullopt), InstallerCheck::Unsigned);
    EXPECT_EQ(installer_check_text(InstallerCheck::Unsigned),
              "The installer's digital signature could not be verified");
}

// A genuinely signed installer is still refused unless its own version block names the manifest's
// version, and that version is newer than the running one: a tampered manifest cannot roll back.
TEST(Updater, InstallerVersionBlockMustNameANewerManifestVersion) {
    const VersionBlock release{{0, 3, 0, 0}, {0, 3, 0, 0}};
    const struct {
        std::optional<VersionBlock> block;
        const char* manifest;
        const char* current;
        InstallerCheck expected;
    } cases[] = {
        {release, "0.3.0", "0.2.0", InstallerCheck::Passed},
        {release, "0.3", "0.2.9", InstallerCheck::Passed},  // missing components are 0
        {VersionBlock{{0, 0, 0, 0}, {0, 3, 0, 0}}, "0.3.0", "0.2.0", InstallerCheck::Passed},  // file version
        {VersionBlock{{0, 3, 0, 0}, {1, 0, 0, 0}}, "0.3.0", "0.2.0",
         InstallerCheck::Passed},  // product version
        // An old signed installer behind a manifest that claims a newer version.
        {VersionBlock{{0, 1, 9, 0}, {0, 1, 9, 0}}, "0.3.0", "0.2.0", InstallerCheck::VersionMismatch},
        {VersionBlock{{0, 3, 0, 1}, {0, 3, 0, 1}}, "0.3.0", "0.2.0", InstallerCheck::VersionMismatch},
        {std::nullopt, "0.3.0", "0.2.0", InstallerCheck::VersionMismatch},  // no version block at all
        // The manifest itself names the running or an older version.
        {VersionBlock{{0, 1, 9, 0}, {0, 1, 9, 0}}, "0.1.9", "0.2.0", InstallerCheck::NotNewer},
        {VersionBlock{{0, 2, 0, 0}, {0, 2, 0, 0}}, "0.2", "0.2.0", InstallerCheck::NotNewer},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(check_installer_version(c.block, c.manifest, c.current), c.expected)
            << c.manifest << " running " << c.current;
    }
    EXPECT_EQ(installer_check_text(InstallerCheck::VersionMismatch),
              "The installer's version does not match the update");
    EXPECT_EQ(installer_check_text(InstallerCheck::NotNewer),
              "The installer is not newer than the running version");
}

TEST(Updater, DownloadsAreBoundedInSizeAndTime) {
    UpdateManifest manifest;
    EXPECT_EQ(installer_ceiling(manifest), INSTALLER_CEILING);
    manifest.size = 1234;
    EXPECT_EQ(installer_ceiling(manifest), 1234u);

    EXPECT_EQ(transfer_seconds(std::nullopt), 600u);
    EXPECT_EQ(transfer_seconds("3"), 3u);
    EXPECT_EQ(transfer_seconds("6000"), 600u);  // the environment only ever shortens it
    for (const char* bad : {"", "0", "-3", "3s", " 3", "99999999999999999999"})
        EXPECT_EQ(transfer_seconds(bad), 600u) << bad;
    EXPECT_EQ(curl_wait_milliseconds(600), 630'000u);  // curl's limit and a margin
    EXPECT_EQ(curl_wait_milliseconds(3), 8'000u);

    EXPECT_TRUE(usable_working_folder(0x10));
    EXPECT_FALSE(usable_working_folder(0x10 | 0x400));  // a junction or a folder link
    EXPECT_FALSE(usable_working_folder(0x20));          // a file where the folder should be
}

TEST(Updater, TextsOfTheQuestionAndTheNotice) {
    EXPECT_EQ(update_question("0.3.0", "0.2.0"),
              "A new version is available: 0.3.0\n(current 0.2.0)\n\nUpdate now?");
    EXPECT_EQ(up_to_date_notice("0.2.0"), "You're up to date (0.2.0)");
}

TEST(Updater, MailboxHoldsOneValueAndEmptiesOnTaking) {
    Mailbox<int> box;
    EXPECT_FALSE(box.take());
    box.put(1);
    box.put(2);
    EXPECT_EQ(box.take(), 2);
    EXPECT_FALSE(box.take());
}

}  // namespace
}  // namespace spadrim
