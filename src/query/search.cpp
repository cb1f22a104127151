// Matching nodes against a query and the search of a subtree. See query.h.
//
// The search goes through the nodes by index: a parent's index is below its children's, so one forward
// pass can carry "inside the subtree", "removed" and "inside a matched folder" down with a byte per node
// instead of walking each node's chain, and one backward pass adds the totals up. Names are folded only
// when they hold more than ASCII, and paths are built only for queries that look at them.
#include <algorithm>

#include "query/fold.h"
#include "query/query.h"

namespace spadrim {
namespace {

constexpr std::uint8_t IN = 0x01;       // live and inside the searched subtree
constexpr std::uint8_t MATCHED = 0x02;  // listed
constexpr std::uint8_t INSIDE = 0x04;   // inside a matched folder: counted with it

enum Phase : std::uint8_t {
    MATCHING = 0,
    TOTALLING = 1,
    SORTING = 2,
    FINISHED = 3
};

bool has_wildcard(std::string_view word) {
    return word.find_first_of("*?") != std::string_view::npos;
}

// A query taken apart once per slice for the tests of each node.
struct Matcher {
    const Query& query;
    std::vector<std::string_view> substrings;  // with whether each is ASCII
    std::vector<bool> substrings_ascii;
    std::vector<std::string_view> patterns;
    std::vector<std::string_view> path_substrings;
    std::vector<std::string_view> path_patterns;
    bool timed = false;
    bool typed = false;
    std::string scratch;
    std::string folded_name;

    explicit Matcher(const Query& q) : query(q) {
        for (const std::string& word : q.words) {
            const bool path = word.find('/') != std::string::npos;
            const bool wild = has_wildcard(word);
            if (path) {
                (wild ? path_patterns : path_substrings).push_back(word);
            } else if (wild) {
                patterns.push_back(word);
            } else {
                substrings.push_back(word);
                substrings_ascii.push_back(is_ascii(word));
            }
        }
        timed = q.modified_after != 0 || q.modified_before != UINT32_MAX;
        typed = q.kinds != 0 || !q.extensions.empty();
    }

    bool needs_path() const { return !path_substrings.empty() || !path_patterns.empty(); }

    bool extension_matches(std::string_view name) {
        const std::size_t dot = name.rfind('.');
        // As file_extension: no extension for a leading dot alone, a trailing dot, or a long tail.
        if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size()) return false;
        const std::string_view tail = name.substr(dot + 1);
        scratch.clear();
        append_folded(tail, scratch);
        for (const std::string& extension : query.extensions) {
            if (scratch == extension) return true;
        }
        return false;
    }

    // path: the folded path below the root with a leading '/', when needs_path().
    bool matches(const Node& node, std::string_view name, std::string_view path) {
        const bool dir = node.flags & FLAG_DIR;
        if (dir ? !query.folders : !query.files) return false;
        if (node.size < query.min_size || node.size > query.max_size) return false;
        if (timed &&
            (node.mtime == 0 || node.mtime < query.modified_after || node.mtime >= query.modified_before))
            return false;
        if (typed) {
            if (query.kinds != 0 && !((query.kinds >> node.kind) & 1u)) return false;
            if (!query.extensions.empty() && !extension_matches(name)) return false;
        }
        for (std::size_t w = 0; w < substrings.size(); ++w) {
            if (!contains_folded(name, substrings[w], substrings_ascii[w], scratch)) return false;
        }
        if (!patterns.empty()) {
            const bool ascii = is_ascii(name);  // compared as it stands, else folded first
            if (!ascii) {
                folded_name.clear();
                append_folded(name, folded_name);
            }
            for (const std::string_view pattern : patterns) {
                if (!wildcard_matches(pattern, ascii ? name : folded_name, ascii)) return false;
            }
        }
        for (const std::string_view word : path_substrings) {
            if (path.find(word) == std::string_view::npos) return false;
        }
        for (const std::string_view pattern : path_patterns) {
            // A pattern from the root starts with the separator; otherwise it is matched without it.
            if (!wildcard_matches(pattern, pattern.starts_with('/') ? path : path.substr(1))) return false;
        }
        return true;
    }
};

void match_slice(Search& search, const FileTree& tree, std::size_t end) {
    Matcher matcher(search.query);
    const bool paths = matcher.needs_path();
    std::string path;
    std::uint8_t* const marks = search.marks.data();
    const bool totals = search.totals;
    for (std::size_t i = search.next; i < end; ++i) {
        const Node& node = tree.nodes[i];
        const std::uint8_t above = marks[node.parent];
        if (!(above & IN) || (node.flags & FLAG_REMOVED)) continue;  // marks start at 0
        if (above & (MATCHED | INSIDE)) {
            marks[i] = IN | INSIDE;
            if (totals) {
                search.sizes[i] = node.size;
                search.files[i] = node.file_count;
            }
            continue;
        }
        const std::string_view name = tree.names.view(node.name_offset, node.name_len);
        if (paths) {
            path.clear();
            if (node.parent != search.root) {
                path.append(search.paths, search.path_start[node.parent], search.path_length[node.parent]);
            }
            path += '/';
            append_folded(name, path);
            if (node.flags & FLAG_DIR) {
                search.path_start[i] = search.paths.size();
                search.path_length[i] = static_cast<std::uint32_t>(path.size());
                search.paths += path;
            }
        }
        if (!matcher.matches(node, name, path)) {
            marks[i] = IN;
            continue;
        }
        marks[i] = IN | MATCHED;
        if (totals) {
            search.sizes[i] = node.size;
            search.files[i] = node.file_count;
        }
        search.found.items.push_back(static_cast<NodeIndex>(i));
        search.found.size += node.size;
        search.found.files += node.file_count;
        if (node.flags & FLAG_DIR) ++search.found.folders;
    }
    search.next = end;
}

void sort_largest_first(std::vector<NodeIndex>& items, const FileTree& tree) {
    // Sizes gathered first: a sort that looked each one up in the tree would wander over its chunks.
    std::vector<std::pair<std::uint64_t, NodeIndex>> keyed;
    keyed.reserve(items.size());
    for (const NodeIndex item : items)
        keyed.emplace_back(~tree.nodes[item].size, item);
    std::sort(keyed.begin(), keyed.end());
    for (std::size_t i = 0; i < items.size(); ++i)
        items[i] = keyed[i].second;
}

}  // namespace

bool query_matches(const Query& query, const FileTree& tree, NodeIndex index,
                   std::string_view path_below_root) {
    Matcher matcher(query);
    std::string path;
    if (matcher.needs_path()) {
        path = "/";
        append_folded(path_below_root, path);
        std::replace(path.begin(), path.end(), '\\', '/');
    }
    return matcher.matches(tree.nodes[index], name_of(tree, index), path);
}

Search start_search(Query query, const FileTree& tree, NodeIndex root, std::uint64_t tree_generation,
                    bool totals) {
    Search search;
    search.totals = totals;
    search.query = std::move(query);
    search.root = root;
    search.tree_generation = tree_generation;
    search.count = tree.nodes.size();
    if (root >= search.count || is_removed(tree, root)) {
        search.done = true;
        search.phase = FINISHED;
        return search;
    }
    if (search.totals) {
        search.sizes.assign(search.count, 0);
        search.files.assign(search.count, 0);
    }
    search.marks.assign(search.count, 0);
    search.marks[root] = IN;
    search.next = std::size_t{root} + 1;
    if (Matcher(search.query).needs_path()) {
        search.path_start.assign(search.count, 0);
        search.path_length.assign(search.count, 0);
    }
    return search;
}

bool advance_search(Search& search, const FileTree& tree, std::size_t budget) {
    budget = std::max<std::size_t>(budget, 1);
    while (!search.done && budget > 0) {
        if (search.phase == MATCHING) {
            const std::size_t end = search.next + std::min(budget, search.count - search.next);
            budget -= end - search.next;
            match_slice(search, tree, end);
            if (search.next == search.count) {
                search.phase = search.totals ? TOTALLING : SORTING;
                search.next = search.count;
                // The path pool is done with; what stays is the totals.
                std::string().swap(search.paths);
                std::vector<std::uint64_t>().swap(search.path_start);
                std::vector<std::uint32_t>().swap(search.path_length);
            }
        } else if (search.phase == TOTALLING) {
            // Children after parents: backwards, each live node's totals are whole when it is reached.
            const std::size_t stop = std::max<std::size_t>(std::size_t{search.root} + 1,
                                                           search.next > budget ? search.next - budget : 0);
            const std::uint8_t* marks = search.marks.data();
            for (std::size_t i = search.next; i > stop;) {
                --i;
                if (!(marks[i] & IN) || (search.sizes[i] == 0 && search.files[i] == 0)) continue;
                const NodeIndex parent = tree.nodes[i].parent;
                if (marks[parent] & (MATCHED | INSIDE)) continue;  // its totals are its own
                search.sizes[parent] += search.sizes[i];
                search.files[parent] += search.files[i];
            }
            budget -= std::min(budget, search.next - stop);
            search.next = stop;
            if (stop == std::size_t{search.root} + 1) search.phase = SORTING;
        } else {
            sort_largest_first(search.found.items, tree);
            search.phase = FINISHED;
            search.done = true;
        }
    }
    return search.done;
}

Found find_all(const Query& query, const FileTree& tree, NodeIndex root) {
    Search search = start_search(query, tree, root, 0, false);
    advance_search(search, tree, SIZE_MAX);
    return std::move(search.found);
}

void renumber_search(Search& search, std::span<const NodeIndex> renumbered, std::size_t count) {
    const auto renumber = [&](NodeIndex node) {
        return node < renumbered.size() ? renumbered[node] : NO_NODE;
    };
    const auto move_all = [&](auto& values) {
        std::remove_reference_t<decltype(values)> moved(values.empty() ? 0 : count);
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (const NodeIndex to = renumber(static_cast<NodeIndex>(i)); to != NO_NODE && to < moved.size())
                moved[to] = values[i];
        }
        values = std::move(moved);
    };
    move_all(search.sizes);
    move_all(search.files);
    move_all(search.marks);
    for (NodeIndex& item : search.found.items)
        item = renumber(item);
    std::erase(search.found.items, NO_NODE);
    search.root = renumber(search.root);
    search.count = count;
}

MatchTotals match_totals(const Search& search, NodeIndex node) {
    if (!search.done || node >= search.sizes.size() || !(search.marks[node] & IN)) return {};
    return MatchTotals{search.sizes[node], search.files[node]};
}

bool within_match(const Search& search, NodeIndex node) {
    return search.done && node < search.marks.size() && (search.marks[node] & (MATCHED | INSIDE));
}

void sort_found(std::vector<NodeIndex>& items, const FileTree& tree, FoundOrder order) {
    switch (order) {
        case FoundOrder::Size: sort_largest_first(items, tree); break;
        case FoundOrder::Name: {
            std::vector<std::pair<std::string, NodeIndex>> keyed;
            keyed.reserve(items.size());
            for (const NodeIndex item : items)
                keyed.emplace_back(folded(name_of(tree, item)), item);
            std::sort(keyed.begin(), keyed.end());
            for (std::size_t i = 0; i < items.size(); ++i)
                items[i] = keyed[i].second;
            break;
        }
        case FoundOrder::Modified:
            // Newest first; unknown times last.
            std::sort(items.begin(), items.end(), [&](NodeIndex a, NodeIndex b) {
                const std::uint32_t ta = tree.nodes[a].mtime;
                const std::uint32_t tb = tree.nodes[b].mtime;
                return ta != tb ? ta > tb : a < b;
            });
            break;
    }
}

}  // namespace spadrim
