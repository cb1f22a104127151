// The File tree: the in-memory result of one Scan.
//
// One fixed-size Node per entry in one array, linked by 32-bit indices, with every name end to end in
// one UTF-8 byte pool; nothing is allocated per entry. Both grow in chunks and are never copied, so a
// scan's peak memory is what the tree holds plus a chunk. Node 0 is the scanned root, and every node's
// parent has a smaller index than the node itself, which is what lets roll_up finish in one backward
// pass.
//
// Threading: while a Scan walks, walker threads append under the tree lock (one acquisition per listed
// folder) and nothing reads the tree. After the walk the scan thread rolls it up and moves it to the UI
// thread, the only user from then on. Bad indices are programming errors, not runtime conditions.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "scan/chunked.h"

namespace spadrim {

using NodeIndex = std::uint32_t;
inline constexpr NodeIndex NO_NODE = 0xFFFFFFFF;

inline constexpr std::uint8_t FLAG_DIR = 0x01;         // a folder, or a link to one
inline constexpr std::uint8_t FLAG_UNREADABLE = 0x02;  // its listing failed; folders only
inline constexpr std::uint8_t FLAG_LINK = 0x04;  // symbolic link, junction or mount point: never entered
inline constexpr std::uint8_t FLAG_CLOUD_ONLY = 0x08;  // a file whose data is not on the disk
inline constexpr std::uint8_t FLAG_REMOVED = 0x10;     // moved to the Recycle Bin; hides the whole subtree
// Replaced by a newer walk of its folder (splice_subtree): set with FLAG_REMOVED on the old entries, which
// no list links any more, until compact_tree drops them with everything below.
inline constexpr std::uint8_t FLAG_FREED = 0x20;

struct Node {
    std::uint64_t size;  // a file: as measured; a folder: sum of everything below, after roll_up
    std::uint32_t name_offset;
    std::uint32_t name_len;
    NodeIndex parent;
    NodeIndex first_child;
    NodeIndex next_sibling;
    std::uint32_t file_count;  // a file: 1; a folder: files below it after roll_up
    // Last written, in seconds since 1970-01-01 UTC; 0 when the source did not say. Earlier times are
    // kept as 1 and times past 2106 as the largest value. A folder: the newest time below it after
    // roll_up (its own when it holds nothing newer).
    std::uint32_t mtime;
    std::uint8_t flags;
    std::uint8_t kind;  // FileKind of a file; 0 and never read for folders
};
// Every entry of a drive costs one of these: keep it small.
static_assert(sizeof(Node) == 40);

struct FileTree {
    // The scanned folder exactly as the Scan was given it: its real form, which on POSIX may hold bytes
    // that are not UTF-8 and on Windows unpaired surrogates (see wtf8_from_utf16). Node 0's name is the
    // form shown.
    std::string root_path;
    ChunkedArray<Node> nodes;
    NamePool names;  // shown names (valid UTF-8) end to end, no separators or terminators
    std::uint32_t unreadable_folders = 0;
    std::uint64_t left_out = 0;  // entries a walk found but could not add: the tree was full
    // The most nodes it may hold: every index below NO_NODE. Tests lower it to reach the end cheaply.
    std::uint64_t node_limit = NO_NODE;
    std::uint64_t freed_nodes = 0;  // nodes replaced by splice_subtree and not yet dropped by compact_tree
    bool imported = false;          // read from a scan file: its entries are not on this PC's disks
    std::int64_t when = 0;          // when the scan was made, in seconds since 1970 UTC; 0 when not known
    // Side tables for the rare entries that need more than a Node holds; ordinary entries cost nothing.
    std::unordered_map<NodeIndex, std::string> real_names;  // where the real name differs from the shown
    std::unordered_map<NodeIndex, std::uint64_t> lengths;   // files counted by an on-disk size that differs
};

// One directory entry as a listing produced it, before it joins the tree. A listing of a big folder
// holds one per entry, so it stays small.
struct ListedEntry {
    std::string name;  // exactly as the file system gave it
    std::uint64_t size = 0;
    std::uint8_t flags = 0;  // FLAG_DIR, FLAG_LINK, FLAG_CLOUD_ONLY
    std::uint8_t kind = 0;
    bool unshowable = false;   // name is not valid text: the tree keeps it and shows shown_form(name)
    std::uint64_t length = 0;  // a counted file's length where size is a different on-disk size; else 0
    std::uint32_t mtime = 0;   // as Node::mtime
};

// Whether a listed file is counted by an on-disk size that differs from its length, so that the tree
// keeps the length aside (FileTree::lengths) for what reads the content.
inline bool keeps_length(const ListedEntry& entry) {
    return entry.length != 0 && entry.length != entry.size && !(entry.flags & (FLAG_DIR | FLAG_LINK));
}

// A tree holding only the root folder, which is named with the shown form of root_path. Callers keep
// root_path well below NamePool::MAX_TEXT (no file system has a longer path; the readers of scan files
// and volumes refuse one).
FileTree make_tree(std::string_view root_path);

inline const Node& node_at(const FileTree& tree, NodeIndex index) {
    return tree.nodes[index];
}

inline std::string_view name_of(const FileTree& tree, NodeIndex index) {
    const Node& node = tree.nodes[index];
    return tree.names.view(node.name_offset, node.name_len);
}

// Appends a folder's entries in listing order; each goes to the head of the folder's child list.
// Returns how many were appended: fewer than given only at node_limit, when the 32-bit name offsets
// would overflow (wrapping them would corrupt the tree), or at a name longer than the name pool holds
// (NamePool::MAX_TEXT; no file system makes one). Entry i gets index (old node count + i).
std::size_t append_listing(FileTree& tree, NodeIndex folder, std::span<const ListedEntry> entries);

// Records a folder whose listing failed.
void mark_unreadable(FileTree& tree, NodeIndex folder);

// Adds every node's size and file count to its parent, children before parents. Run once.
void roll_up(FileTree& tree);

// Live children, largest first; equal sizes by name bytes ascending (a prefix before the longer name).
std::vector<NodeIndex> sorted_children(const FileTree& tree, NodeIndex folder);

// Calls visit(index) once for every live node below folder (not folder itself), in no fixed order.
// A removed node is skipped with everything below it. Iterative: deep trees cannot overflow the stack.
template <typename Visit>
void walk_subtree(const FileTree& tree, NodeIndex folder, Visit&& visit) {
    std::vector<NodeIndex> heads;
    if (tree.nodes[folder].first_child != NO_NODE) heads.push_back(tree.nodes[folder].first_child);
    while (!heads.empty()) {
        NodeIndex index = heads.back();
        heads.pop_back();
        for (; index != NO_NODE; index = tree.nodes[index].next_sibling) {
            const Node& node = tree.nodes[index];
            if (node.flags & FLAG_REMOVED) continue;
            visit(index);
            if (node.first_child != NO_NODE) heads.push_back(node.first_child);
        }
    }
}

// The separator of the tree's paths: the platform's, except for a tree read from a scan file, whose root
// was written on the machine that scanned it ("/srv" joins with '/', "D:\\" with '\\').
char separator_of(const FileTree& tree);

// The node's path as it is shown: the root's shown form joined with the shown names below it, with the
// tree's separator. Valid UTF-8; for display, never for the file system.
std::string path_of(const FileTree& tree, NodeIndex index);

// The node's real path: root_path joined with the real names below it. What file-system calls are given.
std::string real_path_of(const FileTree& tree, NodeIndex index);

// The name the file system gave the node (node 0: root_path).
std::string_view real_name_of(const FileTree& tree, NodeIndex index);

// A file's content length: its size, unless it was counted by an on-disk size that differs.
std::uint64_t content_length(const FileTree& tree, NodeIndex index);

// The root first, the node last.
std::vector<NodeIndex> chain_to(const FileTree& tree, NodeIndex index);

// The node that a real path below root_path names, matching real names with ASCII letters
// case-insensitively; 0 (the root) when the path is outside root_path or something on the way no longer
// exists.
NodeIndex find_path(const FileTree& tree, std::string_view path);

// True when the node or any ancestor was removed.
bool is_removed(const FileTree& tree, NodeIndex index);

// Marks a node removed and takes its size and files off every ancestor (saturating at 0).
void remove_node(FileTree& tree, NodeIndex index);

}  // namespace spadrim
