#include <gtest/gtest.h>

#include <algorithm>

#include "kinds/kinds.h"
#include "query/fold.h"
#include "query/query.h"

namespace spadrim {
namespace {

constexpr std::int64_t NOW = 1796904000;  // 2026-12-10T12:00:00Z

QueryContext context(std::int64_t now = NOW) {
    QueryContext c;
    c.now = now;
    c.kind_labels[static_cast<std::size_t>(FileKind::Videos)] = "동영상";
    c.kind_labels[static_cast<std::size_t>(FileKind::Archives)] = "Archives and Disk Images";
    return c;
}

Query parsed(std::string_view text, std::int64_t now = NOW) {
    QueryParse result = parse_query(text, context(now));
    EXPECT_TRUE(result.query) << text << ": " << result.error;
    return result.query ? *result.query : Query{};
}

TEST(QueryParse, QualifiersUnitsDatesAndAges) {
    constexpr std::uint64_t KB = 1024, MB = KB * 1024, GB = MB * 1024, TB = GB * 1024;
    const struct {
        std::string_view text;
        std::uint64_t min_size = 0, max_size = UINT64_MAX;
        std::uint32_t after = 0, before = UINT32_MAX;
    } CASES[] = {
        {"size:>1GB", GB + 1},
        {"size:>=1gb", GB},
        {"size:<10MB", 0, 10 * MB - 1},
        {"size:<=10mB", 0, 10 * MB},
        {"size:1.5KB", 1536},  // a bare size is a lower bound
        {"size:100MB..1GB", 100 * MB, GB},
        {"size:2TB..", 2 * TB},
        {"size:..512", 0, 512},
        {"size:0.25gb..0.5GB size:>300MB", 300 * MB + 1, GB / 2},  // bounds narrow each other
        {"modified:<2023-01-01", 0, UINT64_MAX, 0, 1672531200},
        {"modified:>2024-06-01", 0, UINT64_MAX, 1717286400},  // after that day: from the next one on
        {"modified:>=2024-06-01", 0, UINT64_MAX, 1717200000},
        {"modified:2024-06-01", 0, UINT64_MAX, 1717200000, 1717286400},
        {"modified:2024-06-01..2024-06-30", 0, UINT64_MAX, 1717200000, 1719792000},
        {"older:2y", 0, UINT64_MAX, 0, 1733832000},
        {"newer:30D", 0, UINT64_MAX, 1796904000 - 30 * 86400},
        {"newer:1m older:1w", 0, UINT64_MAX, 1794312000, 1796904000 - 7 * 86400},
        {"newer:1y", 0, UINT64_MAX, 1765368000},
    };
    for (const auto& c : CASES) {
        const Query q = parsed(c.text);
        EXPECT_EQ(q.min_size, c.min_size) << c.text;
        EXPECT_EQ(q.max_size, c.max_size) << c.text;
        EXPECT_EQ(q.modified_after, c.after) << c.text;
        EXPECT_EQ(q.modified_before, c.before) << c.text;
        EXPECT_TRUE(q.files && q.folders) << c.text;
    }
    // A month back from the 31st lands on the last day of a shorter month.
    EXPECT_EQ(parsed("older:1m", 1774958400).modified_before, 1772280000u);  // 03-31 -> 02-28

    const Query typed =
        parsed("ext:ISO ext:.img,Tar kind:video kind:Pictures kind:동영상 kind:\"archives AND disk images\"");
    EXPECT_EQ(typed.extensions, (std::vector<std::string>{"iso", "img", "tar"}));
    EXPECT_EQ(typed.kinds, (1u << int(FileKind::Videos)) | (1u << int(FileKind::Pictures)) |
                               (1u << int(FileKind::Archives)));
    EXPECT_TRUE(typed.files);
    EXPECT_FALSE(typed.folders);  // extensions and kinds are files'
    const Query folders = parsed("folder: node_modules");
    EXPECT_TRUE(folders.folders && !folders.files);
    const Query files = parsed("FILE:");
    EXPECT_TRUE(files.files && !files.folders);
    EXPECT_TRUE(parsed("file: folder:").files && parsed("file: folder:").folders);
}

TEST(QueryParse, WordsAreFoldedAndQuotesKeepSpaces) {
    const struct {
        std::string_view text;
        std::vector<std::string> words;
    } CASES[] = {
        {"", {}},
        {"  ÄRGER  Report ", {"ärger", "report"}},
        {"ΟΔΟΣ 사진\u3000ŞİŞ", {"οδοσ", "사진", "şi\u0307ş"}},  // both sigmas as σ; ideographic space
        {"\"My File\" *.ISO", {"my file", "*.iso"}},
        {"Photos\\2023 a/B", {"photos/2023", "a/b"}},
        {"c:x \"ext:iso\"", {"c:x", "ext:iso"}},  // one letter, or quoted: a word
    };
    for (const auto& c : CASES) {
        const Query q = parsed(c.text);
        EXPECT_EQ(q.words, c.words) << c.text;
        EXPECT_EQ(q.text, c.text);
    }
}

TEST(QueryParse, UnreadableQueriesSayWhy) {
    const struct {
        std::string_view text;
        std::string_view error;
    } CASES[] = {
        {"colour:red", "Unknown qualifier: colour:red"},
        {"ext:", "A value is missing after ext:"},
        {"size: big", "A value is missing after size:"},
        {"folder:x", "Nothing may follow folder:"},
        {"size:>1XB", "Not a size: size:>1XB"},
        {"size:1.GB", "Not a size: size:1.GB"},
        {"size:<0", "Not a size: size:<0"},
        {"size:99999999999TB", "Not a size: size:99999999999TB"},
        {"size:1GB..1MB", "The range ends before it starts: size:1GB..1MB"},
        {"size:>1GB size:<1MB", "Nothing can match both size:>1GB and size:<1MB"},
        {"modified:<2023-02-30", "Not a date (YYYY-MM-DD): modified:<2023-02-30"},
        {"modified:yesterday", "Not a date (YYYY-MM-DD): modified:yesterday"},
        {"modified:2024-01-01..2023-01-01",
         "The range ends before it starts: modified:2024-01-01..2023-01-01"},
        {"older:1y newer:6m", "Nothing can match both newer:6m and older:1y"},
        {"older:2", "Not an age (30d, 6m, 2y): older:2"},
        {"newer:-3d", "Not an age (30d, 6m, 2y): newer:-3d"},
        {"kind:videoz", "Unknown kind: videoz"},
        {"folder: ext:iso", "Nothing can match both folder: and ext:iso"},
        {"\"my file", "A quotation mark is not closed"},
    };
    for (const auto& c : CASES) {
        const QueryParse result = parse_query(c.text, context());
        EXPECT_FALSE(result.query) << c.text;
        EXPECT_EQ(result.error, c.error) << c.text;
    }
}

ListedEntry file(std::string name, std::uint64_t size, std::uint32_t mtime = 0) {
    const auto kind = static_cast<std::uint8_t>(classify_extension(file_extension(name)));
    ListedEntry entry{std::move(name), size, 0, kind};
    entry.mtime = mtime;
    return entry;
}

ListedEntry folder(std::string name, std::uint32_t mtime = 0) {
    ListedEntry entry{std::move(name), 0, FLAG_DIR, 0};
    entry.mtime = mtime;
    return entry;
}

NodeIndex add(FileTree& tree, NodeIndex parent, const std::vector<ListedEntry>& entries) {
    const auto first = static_cast<NodeIndex>(tree.nodes.size());
    append_listing(tree, parent, entries);
    return first;
}

constexpr std::uint32_t OLD = 1600000000;     // 2020-09-13
constexpr std::uint32_t RECENT = 1790000000;  // 2026-09-21

// /r
//   Films/           a.MKV 3000 (old)   Ärger.mp4 2000 (recent)   notes.txt 10
//     Archive/       film.iso 5000 (old)
//   node_modules/    x.js 40   node_modules/ y.js 60
//   Removed/         a.mkv 7000       (moved to the Bin)
//   Kelvin.txt 5, 사진.JPG 300 (unknown time), .iso 1
struct Sample {
    FileTree tree = make_tree("/r");
    NodeIndex films, archive, modules, inner, removed;
    Sample() {
        films = add(tree, 0,
                    {folder("Films"), folder("node_modules"), folder("Removed"), file("\u212Aelvin.txt", 5),
                     file("사진.JPG", 300), file(".iso", 1)});
        modules = films + 1;
        removed = films + 2;
        archive = add(tree, films,
                      {folder("Archive"), file("a.MKV", 3000, OLD), file("Ärger.mp4", 2000, RECENT),
                       file("notes.txt", 10, RECENT)});
        add(tree, archive, {file("film.iso", 5000, OLD)});
        inner = add(tree, modules, {folder("node_modules"), file("x.js", 40)});
        add(tree, inner, {file("y.js", 60)});
        add(tree, removed, {file("a.mkv", 7000, RECENT)});
        roll_up(tree);
        remove_node(tree, removed);
    }
    std::vector<std::string> names(const std::vector<NodeIndex>& items) const {
        std::vector<std::string> out;
        for (const NodeIndex i : items)
            out.emplace_back(name_of(tree, i));
        return out;
    }
};

TEST(QuerySearch, FindsMatchesLargestFirstWithTheirTotals) {
    const Sample s;
    const struct {
        std::string_view text;
        std::vector<std::string> names;
        std::uint64_t size, files, folders;
    } CASES[] = {
        {"mkv", {"a.MKV"}, 3000, 1, 0},  // the removed a.mkv is not seen
        {"ärger", {"Ärger.mp4"}, 2000, 1, 0},
        {"ÄRGER.MP4", {"Ärger.mp4"}, 2000, 1, 0},
        {"kelvin", {"\u212Aelvin.txt"}, 5, 1, 0},  // the Kelvin sign folds to k
        {"사진", {"사진.JPG"}, 300, 1, 0},
        {"*.iso", {"film.iso", ".iso"}, 5001, 2, 0},
        {"ext:iso", {"film.iso"}, 5000, 1, 0},  // ".iso" has no extension, as By type sees it
        {"f?lm.*", {"film.iso"}, 5000, 1, 0},
        {"?.mkv", {"a.MKV"}, 3000, 1, 0},
        {"kind:video", {"a.MKV", "Ärger.mp4"}, 5000, 2, 0},
        {"kind:pictures ext:jpg", {"사진.JPG"}, 300, 1, 0},
        {"node_modules", {"node_modules"}, 100, 2, 1},  // the inner one is inside the outer
        {"folder:", {"Films", "node_modules"}, 10110, 6, 2},
        {"file: size:>=2000", {"film.iso", "a.MKV", "Ärger.mp4"}, 10000, 3, 0},
        {"size:40..300 file:", {"사진.JPG", "y.js", "x.js"}, 400, 3, 0},
        {"films/archive", {"Archive"}, 5000, 1, 1},  // a separator: matched against the path
        {"FILMS\\*.mkv", {"a.MKV"}, 3000, 1, 0},
        {"/*.js", {"y.js", "x.js"}, 100, 2, 0},  // * crosses separators, as fnmatch's does
        {"node_modules/?.js", {"x.js"}, 40, 1, 0},
        // A folder carries the newest time below it; unknown times never match a time bound.
        {"older:2y", {"Archive", "a.MKV"}, 8000, 2, 1},
        {"newer:6m file:", {"Ärger.mp4", "notes.txt"}, 2010, 2, 0},
        {"modified:<2021-01-01 ext:mkv", {"a.MKV"}, 3000, 1, 0},
        {"\"ärger.mp4\" kind:music", {}, 0, 0, 0},
    };
    for (const auto& c : CASES) {
        const Found found = find_all(parsed(c.text), s.tree, 0);
        EXPECT_EQ(s.names(found.items), c.names) << c.text;
        EXPECT_EQ(found.size, c.size) << c.text;
        EXPECT_EQ(found.files, c.files) << c.text;
        EXPECT_EQ(found.folders, c.folders) << c.text;
    }
    // Only the subtree of the root is searched, and a removed root holds nothing.
    EXPECT_EQ(s.names(find_all(parsed("*.iso"), s.tree, s.films).items),
              (std::vector<std::string>{"film.iso"}));
    EXPECT_TRUE(find_all(parsed(""), s.tree, s.removed).items.empty());
    // One node, with the path below the root given.
    EXPECT_TRUE(query_matches(parsed("films/archive"), s.tree, s.archive, "Films\\Archive"));
    EXPECT_FALSE(query_matches(parsed("films/archive"), s.tree, s.archive, "Other/Archive"));
}

// Names are searched eight bytes at a time: a word is found wherever it starts, in names of any length.
TEST(QuerySearch, WordsAreFoundAtEveryPlaceOfNamesOfEveryLength) {
    FileTree tree = make_tree("/r");
    std::vector<ListedEntry> entries;
    for (std::size_t length = 3; length <= 20; ++length) {
        for (std::size_t at = 0; at + 3 <= length; ++at) {
            std::string name(length, 'r');  // the needle's first letter everywhere else
            name.replace(at, 3, "ReP");
            entries.push_back(file(name, 1));
            name[at + 2] = '\xC3';  // "Re\xC3\xA9": no "rep" there, and folded: "reé"
            name.insert(at + 3, "\xA9");
            entries.push_back(file(name, 1));
        }
    }
    add(tree, 0, entries);
    const Query rep = parsed("rEp");
    const Query pattern = parsed("*rep*");
    for (NodeIndex i = 1; i < tree.nodes.size(); ++i) {
        const bool holds = name_of(tree, i).find("ReP") != std::string_view::npos;
        EXPECT_EQ(query_matches(rep, tree, i), holds) << name_of(tree, i);
        EXPECT_EQ(query_matches(pattern, tree, i), holds) << name_of(tree, i);
    }
}

TEST(QuerySearch, SlicedSearchesAgreeAndTotalsRollUp) {
    const Sample s;
    const Query q = parsed("*.mkv | *.js");  // every word must hold: nothing matches
    EXPECT_TRUE(find_all(q, s.tree, 0).items.empty());
    for (const std::string_view text : {"kind:video", "node_modules", "films/", "file:"}) {
        const Found whole = find_all(parsed(text), s.tree, 0);
        Search search = start_search(parsed(text), s.tree, 0, 7);
        int slices = 0;
        while (!advance_search(search, s.tree, 2))
            ++slices;
        EXPECT_GT(slices, 3) << text;
        EXPECT_EQ(search.found.items, whole.items) << text;
        EXPECT_EQ(search.found.size, whole.size) << text;
    }

    Search search = start_search(parsed("kind:video"), s.tree, 0, 1);
    EXPECT_EQ(match_totals(search, 0), MatchTotals{});  // not done yet
    advance_search(search, s.tree, SIZE_MAX);
    const NodeIndex mkv = s.archive + 1;
    EXPECT_EQ(match_totals(search, 0), (MatchTotals{5000, 2}));
    EXPECT_EQ(match_totals(search, s.films), (MatchTotals{5000, 2}));
    EXPECT_EQ(match_totals(search, mkv), (MatchTotals{3000, 1}));
    EXPECT_EQ(match_totals(search, s.archive), MatchTotals{});  // a branch without matches
    EXPECT_EQ(match_totals(search, s.modules), MatchTotals{});
    EXPECT_EQ(match_totals(search, s.removed), MatchTotals{});
    EXPECT_EQ(match_totals(search, s.removed + 100), MatchTotals{});  // past the tree

    // Everything inside a matched folder is matching content, counted once.
    Search modules = start_search(parsed("node_modules"), s.tree, 0, 1);
    advance_search(modules, s.tree, SIZE_MAX);
    EXPECT_EQ(match_totals(modules, 0), (MatchTotals{100, 2}));
    EXPECT_EQ(match_totals(modules, s.inner), (MatchTotals{60, 1}));
    // A search below a folder sees nothing above or beside it.
    Search below = start_search(parsed("*.mkv"), s.tree, s.archive, 1);
    advance_search(below, s.tree, SIZE_MAX);
    EXPECT_TRUE(below.found.items.empty());
    EXPECT_EQ(match_totals(below, s.films), MatchTotals{});
}

TEST(QuerySearch, PatternsOfStarsAgreeWithTheGeneralMatcher) {
    // Star-only patterns take a shortcut; a ? beside them takes the general way: both must agree.
    struct Case {
        std::string_view pattern;
        std::string_view text;
        bool matches;
    };
    const Case cases[] = {
        {"*.iso", "film.iso", true},
        {"*.iso", "film.isox", false},
        {"*.iso", ".iso", true},
        {"*.iso", "iso", false},
        {"a*a", "a", false},
        {"a*a", "aa", true},
        {"a*b*c", "abcbc", true},
        {"a*b*c", "acb", false},
        {"*ab*ab*", "abab", true},
        {"*ab*ab*", "aba", false},
        {"**", "", true},
        {"*", "anything", true},
        {"rep*", "report", true},
        {"rep*", "re", false},
        {"*ärger*", "großer ärger.txt", true},
        {"*ä*", "a", false},
        {"*.jpeg", "photo.JPEG", true},
    };
    for (const Case& c : cases) {
        const bool ascii = std::all_of(c.text.begin(), c.text.end(), [](char ch) { return ch >= 0; });
        EXPECT_EQ(wildcard_matches(c.pattern, c.text, ascii), c.matches) << c.pattern << " " << c.text;
        // The same pattern with a ? that matches one known character goes the general way.
        if (!c.text.empty() && ascii && c.pattern.back() == '*') {
            const std::string general = std::string(c.pattern) + "?";
            EXPECT_EQ(wildcard_matches(general, std::string(c.text) + "x", ascii), c.matches) << general;
        }
    }
}

TEST(QuerySearch, SortsByNameAndDate) {
    const Sample s;
    std::vector<NodeIndex> items = find_all(parsed("file:"), s.tree, 0).items;
    sort_found(items, s.tree, FoundOrder::Name);
    EXPECT_EQ(s.names(items),
              (std::vector<std::string>{".iso", "a.MKV", "film.iso", "\u212Aelvin.txt", "notes.txt", "x.js",
                                        "y.js", "Ärger.mp4", "사진.JPG"}));
    sort_found(items, s.tree, FoundOrder::Modified);
    EXPECT_EQ(s.names(items).front(), "Ärger.mp4");
    EXPECT_EQ(s.tree.nodes[items.back()].mtime, 0u);  // unknown times last
    sort_found(items, s.tree, FoundOrder::Size);
    EXPECT_EQ(s.names(items).front(), "film.iso");
}

}  // namespace
}  // namespace spadrim
