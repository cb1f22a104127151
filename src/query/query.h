// Finding entries of a scan: the query a user types ("*.iso size:>1GB older:2y"), read into a Query,
// and the search of a File tree for what it matches, in slices so that a window stays responsive and a
// newer query can replace an older one at any point.
//
// Portable and pure: the search reads the tree and writes only its own record. The same grammar serves
// the search field, the command line's --find and the By type highlight (ext:jpg).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kinds/kinds.h"
#include "scan/tree.h"

namespace spadrim {

// What a query is read against: the time ages count back from, and the kind names it knows besides
// the English ones (the UI language's labels).
struct QueryContext {
    std::int64_t now = 0;                             // seconds since 1970-01-01 UTC
    std::array<std::string, KIND_COUNT> kind_labels;  // in the UI language; empty entries are skipped
};

// A query read from its text. The parts all have to hold (AND); an empty query matches everything.
// Extensions and kinds are files' alone. With a time bound, entries of unknown time (0) never match.
struct Query {
    std::string text;  // as typed, for chips and reports
    // Words, case-folded; each a substring of the name, or with * or ? a pattern over the whole name;
    // a word holding a separator is matched against the path below the search's root instead.
    std::vector<std::string> words;
    std::vector<std::string> extensions;  // ext: values, lower-cased without the dot; any of them
    std::uint8_t kinds = 0;               // bit k for FileKind k; 0: any kind
    std::uint64_t min_size = 0;           // bounds on a file's size or a folder's whole size
    std::uint64_t max_size = UINT64_MAX;
    std::uint32_t modified_after = 0;            // mtime must be at or above (0: no bound)
    std::uint32_t modified_before = UINT32_MAX;  // and below
    bool files = true;                           // file: alone clears folders, folder: alone clears files
    bool folders = true;
};

struct QueryParse {
    std::optional<Query> query;  // set when the text could be read
    std::string error;           // otherwise why not, in the UI language, naming the part at fault
};

QueryParse parse_query(std::string_view text, const QueryContext& context);

// Whether one node matches; path_below_root is needed only by queries with a separator in a word.
bool query_matches(const Query& query, const FileTree& tree, NodeIndex index,
                   std::string_view path_below_root = {});

// The matches of a query under one folder (not the folder itself). A folder that matches is listed and
// counted whole: the matches inside it are neither listed nor counted again.
struct Found {
    std::vector<NodeIndex> items;  // largest first; equal sizes by node index
    std::uint64_t size = 0;        // bytes of everything matched, each byte once
    std::uint64_t files = 0;       // files matched, including those inside matched folders
    std::uint64_t folders = 0;     // folders matched
};

// Totals of the matching content below one folder: what a filtered Folders view and treemap show.
struct MatchTotals {
    std::uint64_t size = 0;
    std::uint64_t files = 0;
    bool operator==(const MatchTotals&) const = default;
};

// A search in progress over the subtree of `root`. advance_search does a slice of the work; once done,
// `found` and match_totals answer.
struct Search {
    Query query;
    NodeIndex root = 0;
    std::uint64_t tree_generation = 0;  // of the tree searched: a search of an older tree is stale
    bool done = false;
    bool totals = true;  // keep each folder's matching totals for match_totals; find_all needs none
    Found found;
    // Private to the search: where the next slice starts and what it has gathered so far.
    std::size_t next = 0;
    std::vector<std::uint64_t> sizes;  // per node: matching bytes below (folders) or matched (items)
    std::vector<std::uint32_t> files;
    std::uint8_t phase = 0;           // matching forwards, then totals backwards, then the sort
    std::size_t count = 0;            // nodes of the tree when the search started
    std::vector<std::uint8_t> marks;  // per node: in the subtree, matched, inside a matched folder
    // Only for queries with a path in a word: each folder's folded path below the root, "/a/b".
    std::string paths;
    std::vector<std::uint64_t> path_start;
    std::vector<std::uint32_t> path_length;
};

// Without totals the search only finds: match_totals then answers zero.
Search start_search(Query query, const FileTree& tree, NodeIndex root, std::uint64_t tree_generation,
                    bool totals = true);
// Examines about `budget` nodes; true once the search is done.
bool advance_search(Search& search, const FileTree& tree, std::size_t budget);
// After the tree was compacted (count nodes, each old index's new one in renumbered, NO_NODE for the
// dropped): a finished search's figures follow its nodes to their new numbers.
void renumber_search(Search& search, std::span<const NodeIndex> renumbered, std::size_t count);
// Runs the search to its end.
Found find_all(const Query& query, const FileTree& tree, NodeIndex root);

// A folder's matching content, from a finished search; zero for folders without matches below them
// and for anything outside the searched subtree. A matched node's totals are its own, and so are those
// of everything inside a matched folder.
MatchTotals match_totals(const Search& search, NodeIndex node);

// Whether node matched or lies inside a folder that matched, by a finished search: the search lists such
// a folder whole and what matches inside it not again.
bool within_match(const Search& search, NodeIndex node);

// The sorts of the Found list.
enum class FoundOrder : std::uint8_t {
    Size,
    Name,
    Modified,
};
void sort_found(std::vector<NodeIndex>& items, const FileTree& tree, FoundOrder order);

}  // namespace spadrim
