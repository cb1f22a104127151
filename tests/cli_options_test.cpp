#include <gtest/gtest.h>

#include "cli/options.h"

namespace spadrim {
namespace {

TEST(CliOptions, AcceptsTheDocumentedForms) {
    const ParsedOptions full =
        parse_options({"--json", "--threads", "3", "--top", "0", "--lang", "ko", "D:\\x"});
    ASSERT_TRUE(full.options);
    EXPECT_TRUE(full.options->json);
    EXPECT_EQ(full.options->threads, 3u);
    EXPECT_EQ(full.options->top, 0u);
    EXPECT_EQ(full.options->language, "ko");
    EXPECT_EQ(full.options->folder, "D:\\x");

    const ParsedOptions plain = parse_options({"/data"});
    ASSERT_TRUE(plain.options);
    EXPECT_EQ(plain.options->top, 20u);
    EXPECT_EQ(plain.options->threads, 0u);

    EXPECT_TRUE(parse_options({"--drives"}).options);
    EXPECT_TRUE(parse_options({"--help"}).options->help);
    EXPECT_EQ(parse_options({"--", "--json"}).options->folder, "--json");  // a folder with a dash

    const ParsedOptions volume = parse_options({"--volume", "\\\\.\\C:", "--depth", "3", "--json"});
    ASSERT_TRUE(volume.options);
    EXPECT_EQ(volume.options->volume, "\\\\.\\C:");
    EXPECT_EQ(volume.options->depth, 3u);
    EXPECT_TRUE(volume.options->folder.empty());

    const ParsedOptions scan_file = parse_options({"--import", "-", "--export", "out.json.gz", "--by-type"});
    ASSERT_TRUE(scan_file.options);
    EXPECT_EQ(scan_file.options->import_file, "-");  // standard input
    EXPECT_EQ(scan_file.options->export_file, "out.json.gz");
    EXPECT_TRUE(scan_file.options->folder.empty());
    EXPECT_EQ(parse_options({"/data", "--export", "-"}).options->export_file, "-");

    const ParsedOptions find = parse_options({"--find", "*.iso size:>1GB", "--csv", "/data"});
    ASSERT_TRUE(find.options);
    EXPECT_EQ(find.options->find, "*.iso size:>1GB");
    EXPECT_TRUE(find.options->csv);
    EXPECT_EQ(parse_options({"--find", "", "/data"}).options->find, "");  // everything
    EXPECT_FALSE(plain.options->find);

    const ParsedOptions compare =
        parse_options({"--compare", "old.json.gz", "--import", "-", "--depth", "2"});
    ASSERT_TRUE(compare.options);
    EXPECT_EQ(compare.options->compare_file, "old.json.gz");
    EXPECT_EQ(compare.options->import_file, "-");
    EXPECT_EQ(parse_options({"--compare", "-", "/data"}).options->compare_file, "-");
}

TEST(CliOptions, RejectsBadUsageWithAReason) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {},
             {"a", "b"},
             {"--drives", "a"},
             {"--threads"},
             {"--threads", "0", "a"},
             {"--threads", "65", "a"},
             {"--threads", "2x", "a"},
             {"--top", "-1", "a"},
             {"--lang", "KO", "a"},
             {"--verbose", "a"},
             {"--volume", "x.img", "a"},  // a folder and a volume: which?
             {"--volume", "x.img", "--volume", "y.img"},
             {"--volume"},
             {"--drives", "--volume", "x.img"},
             {"--depth", "many", "a"},
             {"--import", "x.json", "a"},  // a scan file and a folder
             {"--import", "x.json", "--volume", "y.img"},
             {"--import", "x.json", "--import", "y.json"},
             {"--import", "x.json", "--duplicates"},  // the contents are not in the file
             {"--import", ""},
             {"--drives", "--export", "x.json"},
             {"--find"},
             {"--find", "a", "--find", "b", "x"},
             {"--json", "--csv", "x"},
             {"--drives", "--find", "a"},
             {"--drives", "--csv"},
             {"--compare", "", "x"},
             {"--compare", "a.json", "--compare", "b.json", "x"},
             {"--compare", "-", "--import", "-"},  // both from standard input
             {"--compare", "a.json", "--drives"},
             {"--compare", "a.json", "--csv", "x"},
             {"--compare", "a.json", "--find", "iso", "x"},
             {"--compare", "a.json"},  // nothing to compare it with
         }) {
        const ParsedOptions parsed = parse_options(args);
        EXPECT_FALSE(parsed.options) << ::testing::PrintToString(args);
        EXPECT_FALSE(parsed.error.empty());
    }
}

}  // namespace
}  // namespace spadrim
