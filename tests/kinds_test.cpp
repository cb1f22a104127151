#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "kinds/kinds.h"
#include "kinds/times.h"

namespace spadrim {
namespace {

TEST(FileExtension, FollowsTheLastDotAndLowersAsciiOnly) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Photo.JPG", "jpg"},
        {"archive.tar.gz", "gz"},
        {"..x", "x"},
        {"a.crdownload", "crdownload"},
        {"noext", ""},
        {".gitignore", ""},
        {"ends.", ""},
        {"a.12345678901", "12345678901"},  // 11 bytes after the dot: still an extension
        {"a.123456789012", ""},            // 12 bytes: none at all
        {"photo.jpg ", "jpg "},            // never trimmed
        {"Straße.ÄBC", "Äbc"},             // non-ASCII capitals keep their case
        {"x.", ""},
        {".", ""},
        {"", ""},
    };
    for (const auto& [name, extension] : cases) {
        EXPECT_EQ(file_extension(name), extension) << name;
        EXPECT_EQ(classify_name(name), classify_extension(extension)) << name;
    }
}

TEST(ClassifyExtension, EveryListedExtensionHasItsKind) {
    const std::vector<std::pair<FileKind, std::vector<std::string>>> lists = {
        {FileKind::Pictures,
         {"arw", "bmp", "cr2", "cr3", "dng", "gif", "ico",  "jpg",  "jxl",  "nef",  "orf",  "png",
          "psd", "raf", "raw", "rw2", "svg", "tif", "avif", "heic", "heif", "jpeg", "tiff", "webp"}},
        {FileKind::Videos,
         {"ts", "3gp", "avi", "flv", "m4v", "mkv", "mov", "mp4", "mpg", "mts", "vob", "wmv", "m2ts", "mpeg",
          "webm"}},
        {FileKind::Music,
         {"aac", "m4a", "mid", "mp3", "ogg", "wav", "wma", "aiff", "alac", "flac", "midi", "opus"}},
        {FileKind::Documents,
         {"md",  "csv", "doc", "hwp",  "key",  "odp",  "ods",  "odt",  "pdf",   "ppt",
          "rtf", "txt", "xls", "docx", "epub", "hwpx", "pptx", "xlsx", "pages", "numbers"}},
        {FileKind::Archives,
         {"7z", "gz", "xz", "alz", "bz2", "cab", "egg", "esd", "img", "iso", "rar", "tar", "tgz", "vhd",
          "wim", "zip", "zst", "vhdx", "vmdk"}},
        {FileKind::Programs,
         {"bat", "cmd", "com", "dll", "exe", "jar", "msi", "msp", "msu", "ocx", "pak", "pck", "ps1", "sys",
          "appx", "msix", "node", "bundle"}},
        {FileKind::Temporary,
         {"pf", "bak", "dmp", "etl", "log", "old", "tmp", "part", "temp", "cache", "crdownload"}},
    };
    std::set<std::string> seen;
    for (const auto& [kind, extensions] : lists) {
        for (const std::string& extension : extensions) {
            EXPECT_EQ(classify_extension(extension), kind) << extension;
            EXPECT_TRUE(seen.insert(extension).second) << extension << " listed twice";
        }
    }
    EXPECT_EQ(seen.size(), 119u);
}

TEST(ClassifyExtension, NearMissesAreOther) {
    // Prefixes, extensions, other cases and lengths that share a word with a listed entry.
    for (const char* extension : {"", "j", "jp", "jpgx", "JPG", "t", "tsx", "7zz", "crdownloa", "crdownloadx",
                                  "numberss", "bundl", "jpg ", "cach", "mp"}) {
        EXPECT_EQ(classify_extension(extension), FileKind::Other) << extension;
    }
    EXPECT_EQ(classify_extension(std::string("gz\0", 3)), FileKind::Other);
}

TEST(ClassifyExtension, NamesThroughTheirExtension) {
    EXPECT_EQ(classify_extension(file_extension("IMG_0001.JPG")), FileKind::Pictures);
    EXPECT_EQ(classify_extension(file_extension("Movie.Mp4")), FileKind::Videos);
    EXPECT_EQ(classify_extension(file_extension("backup.tar.gz")), FileKind::Archives);
    EXPECT_EQ(classify_extension(file_extension("setup.exe.crdownload")), FileKind::Temporary);
    EXPECT_EQ(classify_extension(file_extension("photo.jpg ")), FileKind::Other);
    EXPECT_EQ(classify_extension(file_extension(".profile")), FileKind::Other);
}

TEST(KindTables, LabelsAndColours) {
    EXPECT_EQ(kind_label(FileKind::Archives), "Archives and disk images");
    EXPECT_EQ(kind_label(FileKind::Temporary), "Temporary and logs");
    EXPECT_EQ(kind_colour(FileKind::Pictures), 0x3B82F6u);
    EXPECT_EQ(kind_colour(FileKind::Other), 0x14B8A6u);
}

TEST(FormatSize, RoundsAtEveryUnitAndDecimalEdge) {
    const std::vector<std::pair<std::uint64_t, std::string>> cases = {
        {0, "0 B"},
        {512, "512 B"},
        {1023, "1023 B"},
        {1024, "1.00 KB"},
        {1104, "1.08 KB"},    // 1.078125
        {1152, "1.12 KB"},    // exactly 1.125: the tie goes to the even digit
        {1168, "1.14 KB"},    // exactly 1.140625: no tie
        {1175, "1.15 KB"},    // 1.1474609375
        {10239, "10.00 KB"},  // 9.999...: decimals chosen before rounding
        {10240, "10.0 KB"},
        {102399, "100.0 KB"},  // 99.999...
        {102400, "100 KB"},
        {1048575, "1024 KB"},  // 1023.999...: stays in KB
        {1048576, "1.00 MB"},
        {1320702443ull, "1.23 GB"},
        {263066746880ull, "245 GB"},
        {1ull << 40, "1.00 TB"},
        {1ull << 50, "1.00 PB"},
        {1ull << 60, "1024 PB"},  // PB is the last unit
        {std::numeric_limits<std::uint64_t>::max(), "16384 PB"},
    };
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(format_size(bytes), text) << bytes;
}

TEST(FormatCount, GroupsOfThree) {
    const std::vector<std::pair<std::uint64_t, std::string>> cases = {
        {0, "0"},
        {999, "999"},
        {1000, "1,000"},
        {12345, "12,345"},
        {1000000, "1,000,000"},
        {1234567, "1,234,567"},
        {std::numeric_limits<std::uint64_t>::max(), "18,446,744,073,709,551,615"},
    };
    for (const auto& [count, text] : cases)
        EXPECT_EQ(format_count(count), text) << count;
}

}  // namespace
}  // namespace spadrim

TEST(Times, SourcesToNodeTimesAndBackToText) {
    // Each time in UTC and as shown at an offset from UTC, across a day's, a year's and the range's ends.
    struct Case {
        std::uint32_t mtime;
        const char* iso;
        std::int32_t offset;
        const char* shown;
    };
    const Case cases[] = {
        {0, "", 9 * 3600, ""},
        {1, "1970-01-01T00:00:01Z", -3600, "1969-12-31 23:00"},
        {951782400, "2000-02-29T00:00:00Z", 9 * 3600, "2000-02-29 09:00"},  // a leap day of a leap century
        {1719848096, "2024-07-01T15:34:56Z", 19800, "2024-07-01 21:04"},    // +5:30
        {4107542399u, "2100-02-28T23:59:59Z", 60, "2100-03-01 00:00"},      // 2100 is not a leap year
        {UINT32_MAX, "2106-02-07T06:28:15Z", -8 * 3600, "2106-02-06 22:28"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(spadrim::iso_8601_utc(c.mtime), c.iso) << c.mtime;
        EXPECT_EQ(spadrim::format_time_at(c.mtime, c.offset), c.shown) << c.mtime;
    }
    EXPECT_EQ(spadrim::format_time(0), "");
    EXPECT_EQ(spadrim::format_time(1719848096),
              spadrim::format_time_at(1719848096, spadrim::local_offset(1719848096)));

    EXPECT_EQ(spadrim::mtime_from_unix(-5), 1u);  // before 1970 is still a known time
    EXPECT_EQ(spadrim::mtime_from_unix(0), 1u);
    EXPECT_EQ(spadrim::mtime_from_unix(1719848096), 1719848096u);
    EXPECT_EQ(spadrim::mtime_from_unix(std::int64_t{1} << 40), UINT32_MAX);
    EXPECT_EQ(spadrim::mtime_from_filetime(0), 0u);                                   // not set
    EXPECT_EQ(spadrim::mtime_from_filetime(116444736000000000ull + 10'000'000), 1u);  // 1970-01-01T00:00:01
    EXPECT_EQ(spadrim::mtime_from_filetime(1), 1u);                                   // 1601
    EXPECT_EQ(spadrim::mtime_from_filetime(133643216960000000ull), 1719848096u);
}
