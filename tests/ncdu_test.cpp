// Scan files in ncdu's format: what an import counts, the damaged documents it refuses with a place,
// and trees written and read back. The comparison with the real ncdu is tests/e2e/ncdu_test.py.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>

#include "ncdu/ncdu.h"
#include "strings/utf.h"
#include "support/ncdu_reference.h"

namespace spadrim {
namespace {

// Hands out the text `step` bytes at a time, so that every boundary case of the reader's chunks is met.
PullBytes from_text(std::string text, std::size_t step = 1 << 20) {
    auto at = std::make_shared<std::size_t>(0);
    return [text = std::move(text), step, at](std::span<char> into) -> std::optional<std::size_t> {
        const std::size_t n = std::min({step, into.size(), text.size() - *at});
        std::copy_n(text.data() + *at, n, into.data());
        *at += n;
        return n;
    };
}

ImportOutcome import(const std::string& text, std::size_t step = 1 << 20) {
    ScanProgress progress;
    return read_ncdu(from_text(text, step), progress);
}

std::string document(const std::string& root_entries) {
    return R"([1,2,{"progname":"ncdu","progver":"1.18","timestamp":1},)"
           "\n" +
           root_entries + "]\n";
}

// path below the root, "/" between names -> (size, flags)
std::map<std::string, std::pair<std::uint64_t, int>> entries_of(const FileTree& tree) {
    std::map<std::string, std::pair<std::uint64_t, int>> out;
    for (NodeIndex i = 1; i < tree.nodes.size(); ++i) {
        if (node_at(tree, i).flags & FLAG_REMOVED) continue;
        std::string path;  // joined with "/" whatever the tree's own separator
        for (const NodeIndex step : chain_to(tree, i))
            if (step != 0) path += "/" + std::string(name_of(tree, step));
        out[path] = {node_at(tree, i).size, node_at(tree, i).flags};
    }
    return out;
}

// Times as ncdu -e writes them (with uid, gid and mode, which are not read), and some it never would.
const char* const SAMPLE = R"([{"name":"/srv/data","asize":4096,"dsize":4096,"dev":2049,"mtime":1800000000},
{"name":"plain.txt","asize":1000,"dsize":4096,"ino":11,"uid":1000,"gid":1000,"mode":33188,"mtime":1700000000},
{"name":"sparse.img","asize":1000000,"dsize":8192,"mtime":-5},
{"name":"empty"},
{"name":"link","asize":12,"notreg":true},
{"name":"mnt","excluded":"otherfs"},
{"name":"skipped.tmp","asize":5000,"dsize":8192,"excluded":"pattern"},
{"name":"hard1","asize":300,"dsize":300,"hlnkc":true,"ino":7,"nlink":2,"mtime":18446744073709551615},
{"name":"hard2","asize":300,"dsize":300,"hlnkc":true,"ino":7,"nlink":2},
[{"name":"sub","asize":4096,"dsize":4096,"future":{"a":[1,{"b":2}]},"mtime":1000},
 {"name":"deep.mp4","asize":70000,"dsize":73728,"mtime":1650000000.7}],
[{"name":"locked","read_error":true}],
[{"name":"proc","dev":40,"excluded":"othfs"},{"name":"never-read"}],
[{"name":"cache","excluded":"pattern"},[{"name":"inner"}]]])";

TEST(NcduRead, CountsEntriesAsTheWalkDoes) {
    const ImportOutcome out = import(document(SAMPLE));
    ASSERT_TRUE(out.tree) << out.error;
    const FileTree& tree = *out.tree;
    EXPECT_TRUE(tree.imported);
    EXPECT_EQ(tree.root_path, "/srv/data");
    EXPECT_EQ(name_of(tree, 0), "/srv/data");
    const auto entries = entries_of(tree);
    const auto at = [&](const std::string& name) { return entries.at("/" + name); };
    EXPECT_EQ(at("plain.txt"), std::make_pair(std::uint64_t{1000}, 0));       // asize, the smaller
    EXPECT_EQ(at("sparse.img"), std::make_pair(std::uint64_t{8192}, 0));      // dsize, the smaller
    EXPECT_EQ(at("empty"), std::make_pair(std::uint64_t{0}, 0));              // missing sizes are 0
    EXPECT_EQ(at("link"), std::make_pair(std::uint64_t{0}, int{FLAG_LINK}));  // notreg: no size
    EXPECT_EQ(at("mnt"), std::make_pair(std::uint64_t{0}, FLAG_DIR | FLAG_LINK));
    EXPECT_FALSE(entries.contains("/skipped.tmp"));
    // ncdu 1 writes a folder it did not enter as an array: a mount point, or left out with its content.
    EXPECT_EQ(at("proc"), std::make_pair(std::uint64_t{0}, FLAG_DIR | FLAG_LINK));
    EXPECT_FALSE(entries.contains("/proc/never-read"));
    EXPECT_FALSE(entries.contains("/cache"));
    EXPECT_FALSE(entries.contains("/cache/inner"));
    EXPECT_EQ(at("hard1").first, 300u);  // each name of a hard link counts in full
    EXPECT_EQ(at("hard2").first, 300u);
    EXPECT_EQ(at("sub").first, 70000u);  // the folder's own 4096 bytes are not counted
    EXPECT_EQ(at("locked").second, FLAG_DIR | FLAG_UNREADABLE);
    EXPECT_EQ(tree.unreadable_folders, 1u);
    std::map<std::string, std::uint32_t> times;
    for (NodeIndex i = 1; i < tree.nodes.size(); ++i)
        times[std::string(name_of(tree, i))] = node_at(tree, i).mtime;
    EXPECT_EQ(times.at("plain.txt"), 1700000000u);
    EXPECT_EQ(times.at("sparse.img"), 1u);         // before 1970: still a known time
    EXPECT_EQ(times.at("hard1"), UINT32_MAX);      // past 2106: the latest a node holds
    EXPECT_EQ(times.at("deep.mp4"), 1650000000u);  // a fraction of a second is cut
    EXPECT_EQ(times.at("sub"), 1650000000u);       // a folder: the newest below it
    EXPECT_EQ(times.at("empty"), 0u);              // not written: unknown
    EXPECT_EQ(node_at(tree, 0).mtime, UINT32_MAX);
    const Node& root = node_at(tree, 0);
    EXPECT_EQ(root.size, 1000u + 8192 + 300 + 300 + 70000);
    EXPECT_EQ(root.file_count, 7u);  // the link is a file; the mount point is not
}

// Metadata objects and the timestamp they give.
const std::vector<std::pair<std::string, std::int64_t>> METADATA = {
    {R"({"progname":"ncdu","timestamp":1700000000})", 1700000000},
    {R"({"progname":"gdu"})", 0},
    {R"({"x":{"timestamp":5},"y":[{"timestamp":6}],"timestamp":"7"})", 0},
    {R"({"timestamp":8,"x":{"timestamp":5},"z":9})", 8},
    {R"({"timestamp":-3})", 0},
};

std::string with_metadata(const std::string& metadata) {
    return "[1,2," + metadata + R"(,[{"name":"/r","timestamp":11},{"name":"f","timestamp":12}]])";
}

// When the scan was made: the metadata's own "timestamp", and nothing else named so.
TEST(NcduRead, TheMetadataTimestampSaysWhenTheScanWasMade) {
    for (const auto& [metadata, when] : METADATA) {
        const ImportOutcome back = import(with_metadata(metadata));
        ASSERT_TRUE(back.tree) << back.error;
        EXPECT_EQ(back.timestamp, when) << metadata;
        EXPECT_EQ(back.tree->when, when) << metadata;
    }
}

// "é" whole, then a lone continuation byte, a cut three-byte sequence and a stray lead byte.
const std::string BROKEN_NAMES =
    "[{\"name\":\"/r\"},{\"name\":\"caf\xC3\xA9\"},{\"name\":\"a\x80z\"},"
    "{\"name\":\"b\xE2\x82\"},{\"name\":\"\xF0\"}]";

TEST(NcduRead, NamesAreRepairedWhereverTheChunksEnd) {
    const std::string& names = BROKEN_NAMES;
    for (const std::size_t step : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{1} << 20}) {
        const ImportOutcome out = import(document(names), step);
        ASSERT_TRUE(out.tree) << out.error << " in steps of " << step;
        const auto entries = entries_of(*out.tree);
        std::vector<std::string> found;
        for (const auto& [path, _] : entries)
            found.push_back(path.substr(1));
        EXPECT_EQ(found, (std::vector<std::string>{"a\xEF\xBF\xBDz", "b\xEF\xBF\xBD", "caf\xC3\xA9",
                                                   "\xEF\xBF\xBD"}))
            << "in steps of " << step;
    }
}

TEST(NcduRead, ProgressAdvancesAndCancelStops) {
    std::string many = "[{\"name\":\"/r\"}";
    for (int i = 0; i < 10000; ++i)
        many += ",{\"name\":\"f" + std::to_string(i) + "\",\"asize\":2,\"dsize\":2}";
    many += "]";
    ScanProgress progress;
    const ImportOutcome out = read_ncdu(from_text(document(many)), progress);
    ASSERT_TRUE(out.tree);
    EXPECT_EQ(progress.files, 10000u);
    EXPECT_EQ(progress.bytes, 20000u);
    EXPECT_EQ(progress.folders, 1u);

    ScanProgress cancelled;
    cancelled.cancel = true;
    const ImportOutcome none = read_ncdu(from_text(document(many)), cancelled);
    EXPECT_FALSE(none.tree);
    EXPECT_EQ(none.error, "");  // a cancellation is not a failure
}

struct Damaged {
    const char* what;
    std::string text;
    std::string error;  // the error's start; the column is that of the token's end or the byte after it,
                        // which the parser had to read to know the token ended
};

// "line 1, column C: what", C counting from the start of `before`.
std::string at_column(const std::string& before, std::size_t column, const std::string& what) {
    return "line 1, column " + std::to_string(before.size() + column) + ": " + what;
}

// Names and the root path may be 32 KiB long; a token that could only make a longer one is not read to
// its end, and neither is a number of more than 1024 digits.
std::vector<Damaged> damaged_documents() {
    const std::string root = "[1,2,{},[{\"name\":\"";
    const std::string entry = root + "/r\"},{\"name\":\"";
    const std::string sized = entry + "a\",\"asize\":";
    const std::string over(32 * 1024 + 1, 'n');
    const std::string huge(2 << 20, 'n');
    return {
        {"a name one byte too long", entry + over + "\"}]]",
         at_column(entry, over.size() + 1, "a name longer than 32768")},
        {"a root path one byte too long", root + "/" + over.substr(1) + "\"}]]",
         at_column(root, over.size() + 1, "a root path longer than 32768")},
        {"a name of 2 MiB", entry + huge + "\"}]]",
         at_column(entry, 6 * 32 * 1024 + 1, "a string longer than 32768")},
        {"a size of 2 MiB of digits", sized + std::string(2 << 20, '1') + "}]]",
         at_column(sized, 1025, "a number longer than 1024 characters")},
        {"empty", "", "line 1, column 1: syntax error"},
        {"truncated", "[1,2,{},\n[{\"name\":\"/r\"},\n{\"name\":\"a\",\"as",
         "line 3, column 16: syntax error"},
        {"closed early", "[1,2,{}]", "line 1, column 8: the document ends before its root"},
        {"an object", "{\"name\":\"/r\"}", "line 1, column 1: not a scan file"},
        {"major 2", "[2,0,{},[{\"name\":\"/r\"}]]", "line 1, column 3: format version 2, not 1"},
        {"no version", "[\"x\",{},[{\"name\":\"/r\"}]]",
         "line 1, column 4: not a scan file: no format version"},
        {"no metadata", "[1,2,[{\"name\":\"/r\"}]]", "line 1, column 6: no metadata object"},
        {"root a file", "[1,2,{},{\"name\":\"/r\"}]", "line 1, column 9: the root is not a folder"},
        {"two roots", "[1,2,{},[{\"name\":\"/r\"}],[{\"name\":\"/s\"}]]",
         "line 1, column 25: more than one root"},
        {"folder without info", "[1,2,{},[{\"name\":\"/r\"},[[{\"name\":\"x\"}]]]]",
         "line 1, column 25: a folder whose array does not start with its info object"},
        {"empty folder array", "[1,2,{},[{\"name\":\"/r\"},[]]]",
         "line 1, column 25: a folder without its info"},
        {"no name", "[1,2,{},[{\"name\":\"/r\"},{\"asize\":1}]]",
         "line 1, column 34: an entry without a name"},
        {"NUL in a name", "[1,2,{},[{\"name\":\"/r\"},{\"name\":\"a\\u0000b\"}]]",
         "line 1, column 42: a name holding a NUL"},
        {"slash in a name", "[1,2,{},[{\"name\":\"/r\"},{\"name\":\"a/b\"}]]",
         "line 1, column 37: a name holding \"/\""},
        {"dot-dot", "[1,2,{},[{\"name\":\"/r\"},{\"name\":\"..\"}]]",
         "line 1, column 36: an entry named \"..\""},
        {"negative size", "[1,2,{},[{\"name\":\"/r\"},{\"name\":\"a\",\"asize\":-5}]]",
         "line 1, column 46: a size below"},
        {"size past 2^64",
         "[1,2,{},[{\"name\":\"/r\"},{\"name\":\"a\",\"asize\":18446744073709551616,\"dsize\":1}]]",
         "line 1, column 64: a size that is not a whole number"},
        {"sizes adding past 2^64",
         "[1,2,{},[{\"name\":\"/"
         "r\"},{\"name\":\"a\",\"asize\":18446744073709551615,\"dsize\":18446744073709551615},"
         "{\"name\":\"b\",\"asize\":1,\"dsize\":1}]]",
         "line 1, column 126: sizes that add up to more than 2^64"},
        {"a size as text", "[1,2,{},[{\"name\":\"/r\"},{\"name\":\"a\",\"asize\":\"5\"}]]",
         "line 1, column 46: \"asize\" has a value of the wrong type"},
        {"a time as text", "[1,2,{},[{\"name\":\"/r\"},{\"name\":\"a\",\"mtime\":\"5\"}]]",
         "line 1, column 46: \"mtime\" has a value of the wrong type"},
        {"a time as null", "[1,2,{},[{\"name\":\"/r\",\"mtime\":null}]]",
         "line 1, column 34: \"mtime\" has a value of the wrong type"},
        {"a number among entries", "[1,2,{},[{\"name\":\"/r\"},5]]",
         "line 1, column 25: an entry that is neither an object nor an array"},
        {"trailing text", "[1,2,{},[{\"name\":\"/r\"}]] x", "line 1, column 26: syntax error"},
    };
}

TEST(NcduRead, DamagedDocumentsAreRefusedWithTheirPlace) {
    for (const Damaged& c : damaged_documents()) {
        const ImportOutcome out = import(c.text);
        EXPECT_FALSE(out.tree) << c.what;
        EXPECT_TRUE(out.error.starts_with(c.error)) << c.what << ": " << out.error.substr(0, 200);
    }
}

TEST(NcduRead, HostileShapesEndWithinBoundedMemory) {
    // A million folders in a chain: no recursion anywhere, in the parser or here.
    constexpr int DEPTH = 1'000'000;
    std::string deep = "[1,2,{},[{\"name\":\"/r\"}";
    deep.reserve(static_cast<std::size_t>(DEPTH) * 20);
    for (int i = 0; i < DEPTH; ++i)
        deep += ",[{\"name\":\"d\"}";
    deep += ",{\"name\":\"f\",\"asize\":5,\"dsize\":5}" + std::string(DEPTH + 2, ']');
    const ImportOutcome out = import(deep);
    ASSERT_TRUE(out.tree) << out.error;
    EXPECT_EQ(out.tree->nodes.size(), static_cast<std::size_t>(DEPTH) + 2);
    EXPECT_EQ(node_at(*out.tree, 0).size, 5u);

    // 256 MB of blanks before the document, streamed: nothing of it is kept.
    ScanProgress progress;
    std::uint64_t blanks = 256 << 20;
    const std::string rest = document("[{\"name\":\"/r\"}]");
    std::size_t rest_at = 0;
    const ImportOutcome spaced = read_ncdu(
        [&](std::span<char> into) -> std::optional<std::size_t> {
            if (blanks > 0) {
                const std::size_t n = std::min<std::uint64_t>(blanks, into.size());
                std::fill_n(into.data(), n, ' ');
                blanks -= n;
                return n;
            }
            const std::size_t n = std::min(into.size(), rest.size() - rest_at);
            std::copy_n(rest.data() + rest_at, n, into.data());
            rest_at += n;
            return n;
        },
        progress);
    EXPECT_TRUE(spaced.tree) << spaced.error;

    // A name of the longest length allowed, every byte of it escaped (six bytes each), is read; 64 MiB of
    // a name that goes on are not, nor kept: the reading stops soon after the bound.
    std::string escaped;
    for (int i = 0; i < 32 * 1024; ++i)
        escaped += "\\u0001";
    const ImportOutcome longest = import(document("[{\"name\":\"/r\"},{\"name\":\"" + escaped + "\"}]"));
    ASSERT_TRUE(longest.tree) << longest.error;
    EXPECT_EQ(name_of(*longest.tree, 1), std::string(32 * 1024, '\x01'));
    std::uint64_t pulled = 0;
    const std::string start = "[1,2,{},[{\"name\":\"/r\"},{\"name\":\"";
    const ImportOutcome endless = read_ncdu(
        [&](std::span<char> into) -> std::optional<std::size_t> {
            const std::size_t n = std::min<std::uint64_t>(into.size(), (64u << 20) - pulled);
            std::fill_n(into.data(), n, 'n');
            if (pulled == 0) std::copy(start.begin(), start.end(), into.data());
            pulled += n;
            return n;
        },
        progress);
    EXPECT_FALSE(endless.tree);
    EXPECT_LT(pulled, 1u << 20);

    // A source that fails half way is a failure, not a shorter tree.
    bool first = true;
    const ImportOutcome broken = read_ncdu(
        [&](std::span<char> into) -> std::optional<std::size_t> {
            if (!first) return std::nullopt;
            first = false;
            const std::string part = "[1,2,{},[{\"name\":\"/r\"},{\"name\":\"a\"}";
            std::copy(part.begin(), part.end(), into.data());
            return part.size();
        },
        progress);
    EXPECT_FALSE(broken.tree);
    EXPECT_EQ(broken.error, "the file could not be read to its end");
}

// A scan file of every shape read, at random: nested folders, names with escapes, other scripts and
// bytes that are not UTF-8, each kind of number each field takes, entries left out and values skipped.
std::string generated_document(std::uint32_t seed, int entries) {
    std::mt19937 random(seed);
    const auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    static const char* const NAME_PARTS[] = {"a",
                                             "file",
                                             ".txt",
                                             "\xED\x95\x9C\xEA\xB8\x80",
                                             "caf\xC3\xA9",
                                             "\\\"",
                                             "\\\\",
                                             "\\u002e\\u002e\\u002e",
                                             "\\b\\f\\t",
                                             "\\u00e9",
                                             "\\ud83d\\ude00",
                                             "\\u0001",
                                             "\xFF",
                                             "\xC3",
                                             "\xE2\x82",
                                             "\xF0\x9F",
                                             "\xED\xA0\x80",
                                             "\xC0\xAF",
                                             " ",
                                             "\x7F",
                                             "9"};
    // The first three fit every field; the others only a time.
    static const char* const NUMBERS[] = {"0",
                                          "1",
                                          "4096",
                                          "-5",
                                          "-0",
                                          "1.5",
                                          "2e3",
                                          "1E+2",
                                          "-1e-2",
                                          "18446744073709551615",
                                          "18446744073709551616",
                                          "-9223372036854775809",
                                          "1e300"};
    static const char* const SKIPPED[] = {"null",  "true", "[1,{\"a\":[[]]},\"x\"]", "{\"name\":\"z\"}",
                                          "\"s\"", "-7.5"};
    static const char* const BLANKS[] = {"", "", "", " ", "\n", "\r\n\t "};
    std::string out = "[1,0,{\"progname\":\"gen\",\"timestamp\":" + std::string(NUMBERS[pick(4)]) + "},\n";
    out += "[{\"name\":\"/gen/r\\u00e9\"}";
    int depth = 1;
    for (int i = 0; i < entries; ++i) {
        const std::size_t shape = pick(20);
        if (shape == 0 && depth > 1) {  // close a folder instead
            out += ']';
            --depth;
            continue;
        }
        out += ',';
        out += BLANKS[pick(6)];
        const bool folder = shape < 4;
        if (folder) out += '[';
        out += "{\"name\":\"";
        for (std::size_t part = 0, parts = 1 + pick(3); part < parts; ++part)
            out += NAME_PARTS[pick(std::size(NAME_PARTS))];
        out += '"';
        for (std::size_t field = 0, fields = pick(5); field < fields; ++field) {
            const std::size_t which = pick(12);
            out += BLANKS[pick(3)];
            if (which < 3) {
                out += ",\"asize\":" + std::string(NUMBERS[pick(3)]);
            } else if (which < 5) {
                out += ",\"dsize\":" + std::string(NUMBERS[pick(3)]);
            } else if (which < 7) {
                out += ",\"mtime\":" + std::string(NUMBERS[pick(13)]);
            } else if (which == 7) {
                out += std::string(",\"notreg\":") + (pick(2) ? "true" : "false");
            } else if (which == 8) {
                out += ",\"read_error\":true";
            } else if (which == 9) {
                static const char* const WHY[] = {"otherfs", "othfs", "pattern", "", "frmlnk"};
                out += ",\"excluded\":\"" + std::string(WHY[pick(5)]) + "\"";
            } else {
                out += ",\"ino\":" + std::string(pick(2) ? "12" : SKIPPED[pick(6)]);
            }
        }
        out += '}';
        if (folder) ++depth;
    }
    out += std::string(static_cast<std::size_t>(depth), ']') + "]\n";
    return out;
}

// The document damaged once: cut, a byte changed, put in or taken out.
std::string damaged(std::string text, std::mt19937& random) {
    static const char BYTES[] = "\"\\{}[],:0-1e.E+\n \t\x00\xFF\xEFtnfu\x01/";
    const auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    const std::size_t at = pick(text.size());
    const char byte = BYTES[pick(sizeof BYTES - 1)];
    switch (pick(4)) {
        case 0: text.resize(at); break;
        case 1: text[at] = byte; break;
        case 2: text.insert(text.begin() + static_cast<std::ptrdiff_t>(at), byte); break;
        default: text.erase(at, 1);
    }
    return text;
}

std::string read_file_bytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The reader is held to the JSON library's: every document of these tests, the fuzz corpus, a large
// generated one and hundreds of damaged ones read alike, in chunks of every size a token can straddle.
TEST(NcduRead, ReadsAsTheJsonLibraryDoes) {
    std::vector<std::pair<std::string, std::string>> documents = {
        {"sample", document(SAMPLE)},
        {"broken names", document(BROKEN_NAMES)},
        {"a byte order mark", "\xEF\xBB\xBF" + document("[{\"name\":\"/r\"}]")},
        {"a broken byte order mark", "\xEF\xBB[1,2,{},[{\"name\":\"/r\"}]]"},
        {"a stray byte first", "\xFF[1,2,{},[{\"name\":\"/r\"}]]"},
        {"a NUL after the end", std::string("[1,2,{},[{\"name\":\"/r\"}]]\n\0 x", 29)},
        {"a newline after a number out of place", "[1,2,{},[{\"name\":\"/r\"},{5\n}]]"},
        {"a broken name last", "[1,2,{},[{\"name\":\"/r\"},{\"name\":\"a\xE2\x82"},
        {"an unpaired surrogate", "[1,2,{},[{\"name\":\"/r\"},{\"name\":\"\\ud800x\"}]]"},
        {"1024 digits, the most a number has",
         "[1,2,{\"a\":" + std::string(1024, '1') + "},[{\"name\":\"/r\"}]]"},
        {"a literal ending a run of 1024",
         "[1,2,{\"a\":[" + std::string(1021, '1') + "tru}]},[{\"name\":\"/r\"}]]"},
        {"a literal past a run of 1024",
         "[1,2,{\"a\":[" + std::string(1021, '1') + "trux]},[{\"name\":\"/r\"}]]"},
        {"a digit run after a literal",
         "[1,2,{\"a\":[true" + std::string(1100, '1') + "]},[{\"name\":\"/r\"}]]"},
    };
    for (const auto& [metadata, _] : METADATA)
        documents.emplace_back(metadata, with_metadata(metadata));
    for (const Damaged& c : damaged_documents())
        documents.emplace_back(c.what, c.text);
    const std::filesystem::path corpus = SPADRIM_NCDU_CORPUS;
    std::size_t corpus_files = 0;
    for (const auto& file : std::filesystem::directory_iterator(corpus)) {
        const std::string bytes = read_file_bytes(file.path());
        if (!bytes.empty()) documents.emplace_back(file.path().filename().string(), bytes.substr(1));
        ++corpus_files;
    }
    EXPECT_GE(corpus_files, 2u);
    const std::string small = generated_document(7, 300);
    documents.emplace_back("generated", small);
    std::mt19937 random(11);
    for (int i = 0; i < 400; ++i)
        documents.emplace_back("damaged " + std::to_string(i), damaged(small, random));

    for (const auto& [what, text] : documents) {
        for (const std::size_t step : {std::size_t{1}, std::size_t{5}, std::size_t{1} << 20}) {
            if (step == 1 && text.size() > 100'000) continue;  // the long tokens: read in big chunks only
            EXPECT_EQ(reading_difference(text, step), "") << what << ", in steps of " << step;
        }
    }
    const std::string large = generated_document(3, 60'000);
    EXPECT_EQ(reading_difference(large, 4093), "");
    const ImportOutcome whole = import(large);
    ASSERT_TRUE(whole.tree)
        << whole.error;  // most damage makes a document unreadable: make sure this one is not
}

FileTree written_and_read(const FileTree& tree) {
    std::string whole;
    std::string out;
    EXPECT_TRUE(write_ncdu(tree, "9.9", 1234, out, [&](std::string& piece) {
        whole += piece;
        piece.clear();
        return true;
    }));
    ImportOutcome back = import(whole);
    EXPECT_TRUE(back.tree) << back.error << "\n" << whole;
    return back.tree ? std::move(*back.tree) : FileTree{};
}

ListedEntry listed(std::string name, std::uint64_t size, std::uint8_t flags = 0, std::uint32_t mtime = 0) {
    ListedEntry entry;
    entry.name = std::move(name);
    entry.size = size;
    entry.flags = flags;
    entry.mtime = mtime;
    return entry;
}

TEST(NcduWrite, TreesComeBackAsTheyWere) {
    FileTree tree = make_tree("C:\\Users\\Ann \"Q\"");
    const std::vector<ListedEntry> top = {
        listed("a.txt", 10, 0, 1700000000), listed("tab\there\\\"quoted\"", 20),
        listed("docs", 0, FLAG_DIR),        listed("junction", 0, FLAG_DIR | FLAG_LINK),
        listed("link.lnk", 0, FLAG_LINK),   listed("locked", 0, FLAG_DIR),
        listed("gone", 0, FLAG_DIR)};
    append_listing(tree, 0, top);
    const std::vector<ListedEntry> docs = {listed("\xED\x95\x9C.doc", 3000, 0, 1600000000)};
    append_listing(tree, 3, docs);
    tree.nodes[0].mtime = 1750000000;  // the root's own, newer than anything below
    const std::vector<ListedEntry> gone = {listed("old.bin", 500)};
    append_listing(tree, 7, gone);
    mark_unreadable(tree, 6);
    roll_up(tree);
    remove_node(tree, 7);

    const FileTree back = written_and_read(tree);
    EXPECT_EQ(back.root_path, tree.root_path);
    const std::string sep = "/";
    auto expected = entries_of(tree);
    expected.erase(sep + "gone");  // moved to the Recycle Bin: not part of the scan any more
    expected.erase(sep + "gone" + sep + "old.bin");
    // A folder link stays a link, though the format cannot say that it leads to a folder.
    expected.at(sep + "junction").second = FLAG_LINK;
    EXPECT_EQ(entries_of(back), expected);
    EXPECT_EQ(node_at(back, 0).size, 3030u);
    // Paths keep the separator of the machine that scanned.
    NodeIndex doc = 0;
    for (NodeIndex i = 1; i < back.nodes.size(); ++i)
        if (name_of(back, i) == "\xED\x95\x9C.doc") doc = i;
    EXPECT_EQ(path_of(back, doc), "C:\\Users\\Ann \"Q\"\\docs\\\xED\x95\x9C.doc");
    EXPECT_EQ(back.unreadable_folders, 1u);
    // Every known time comes back (a folder's as the newest below it); unknown ones stay unknown.
    std::map<std::string, std::uint32_t> times;
    for (NodeIndex i = 0; i < back.nodes.size(); ++i)
        times[std::string(name_of(back, i))] = node_at(back, i).mtime;
    EXPECT_EQ(times, (std::map<std::string, std::uint32_t>{{tree.root_path, 1750000000},
                                                           {"a.txt", 1700000000},
                                                           {"tab\there\\\"quoted\"", 0},
                                                           {"docs", 1600000000},
                                                           {"\xED\x95\x9C.doc", 1600000000},
                                                           {"junction", 0},
                                                           {"link.lnk", 0},
                                                           {"locked", 0}}));
}

// A scan file names entries with the bytes the file system gave, UTF-8 or not: the tree shows them
// repaired and keeps them exactly, so that the scan written again names them as it read them.
TEST(NcduWrite, NamesComeBackByteForByte) {
    const std::vector<std::string> names = {"caf\xC3\xA9", "\xFF",      "a\x80z",
                                            "b\xE2\x82",   "\xF0",      "\xED\xA0\x80",
                                            "\xC0\xAF",    "tab\there", "\x7F\x01quote\"back\\"};
    std::string entries =
        "[{\"name\":\"/srv/\xFE"
        "data\"}";
    for (const std::string& name : names) {
        entries += ",{\"name\":\"";
        for (const char c : name)  // escaped as JSON wants, the other bytes as they are
            entries += c == '\t'               ? std::string("\\t")
                       : c == '\x01'           ? std::string("\\u0001")
                       : c == '"' || c == '\\' ? std::string("\\") + c
                                               : std::string(1, c);
        entries += "\"}";
    }
    entries += ",[{\"name\":\"\xE9t\xE9\"},{\"name\":\"\\u00e9\xFF\"}]]";
    const ImportOutcome first = import(document(entries), 3);
    ASSERT_TRUE(first.tree) << first.error;
    const FileTree& tree = *first.tree;
    EXPECT_EQ(tree.root_path,
              "/srv/\xFE"
              "data");
    EXPECT_EQ(name_of(tree, 0),
              "/srv/\xEF\xBF\xBD"
              "data");
    std::set<std::string> exact;
    for (NodeIndex i = 1; i < tree.nodes.size(); ++i) {
        const std::string_view real = real_name_of(tree, i);
        exact.insert(std::string(real));
        EXPECT_EQ(name_of(tree, i), valid_utf8(real));
    }
    std::set<std::string> expected(names.begin(), names.end());
    expected.insert({"\xE9t\xE9", "\xC3\xA9\xFF"});
    EXPECT_EQ(exact, expected);

    // Written again and read back: the same names, shown and exact, at the same places (the order of
    // siblings is not kept: a folder lists its children last appended first).
    const auto paths = [](const FileTree& of) {
        std::set<std::pair<std::string, std::string>> out;
        for (NodeIndex i = 0; i < of.nodes.size(); ++i)
            out.emplace(real_path_of(of, i), path_of(of, i));
        return out;
    };
    const FileTree back = written_and_read(tree);
    EXPECT_EQ(back.root_path, tree.root_path);
    EXPECT_EQ(paths(back), paths(tree));
}

TEST(NcduWrite, AFailedFlushStopsTheWriting) {
    FileTree tree = make_tree("/r");
    std::vector<ListedEntry> many;
    for (int i = 0; i < 40000; ++i)
        many.push_back(listed("a-rather-long-file-name-" + std::to_string(i) + ".dat", 1));
    append_listing(tree, 0, many);
    roll_up(tree);
    int calls = 0;
    std::string out;
    EXPECT_FALSE(write_ncdu(tree, "1", 0, out, [&](std::string&) { return ++calls, false; }));
    EXPECT_EQ(calls, 1);  // at the first megabyte, not after all of it
}

}  // namespace
}  // namespace spadrim
