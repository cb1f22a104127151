// Splicing a newer walk of one folder into a tree, and dropping what it replaced. See splice.h.
#include "scan/splice.h"

#include <algorithm>
#include <limits>
#include <numeric>
#include <string_view>
#include <unordered_map>

namespace spadrim {
namespace {

constexpr std::uint64_t MAX_NAME_POOL = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint64_t NAME_CHUNK = std::uint64_t{1} << 20;

NodeIndex shifted(NodeIndex fresh_index, NodeIndex folder, NodeIndex base) {
    if (fresh_index == NO_NODE) return NO_NODE;
    return fresh_index == 0 ? folder : base + fresh_index - 1;
}

// Whether the tree's 32-bit name offsets reach past fresh's names appended: a name that does not fit the
// rest of a chunk starts the next, so each chunk may leave up to the longest name unused.
bool names_fit(const FileTree& tree, const FileTree& fresh) {
    std::uint64_t longest = 0;
    for (std::size_t i = 1; i < fresh.nodes.size(); ++i)
        longest = std::max<std::uint64_t>(longest, fresh.nodes[i].name_len);
    const std::uint64_t bytes = fresh.names.size();
    const std::uint64_t slack = (bytes / NAME_CHUNK + 2) * longest + NAME_CHUNK;
    return tree.names.size() + bytes + slack <= MAX_NAME_POOL;
}

// Marks one entry freed and counts it and everything below it; returns the unreadable folders among them.
std::uint32_t free_entry(FileTree& tree, NodeIndex entry) {
    tree.nodes[entry].flags |= FLAG_FREED | FLAG_REMOVED;
    std::uint32_t unreadable = 0;
    std::vector<NodeIndex> heads{entry};
    while (!heads.empty()) {
        const NodeIndex at = heads.back();
        heads.pop_back();
        ++tree.freed_nodes;
        if (tree.nodes[at].flags & FLAG_UNREADABLE) ++unreadable;
        for (NodeIndex child = tree.nodes[at].first_child; child != NO_NODE;
             child = tree.nodes[child].next_sibling)
            heads.push_back(child);
    }
    return unreadable;
}

// The folder's size and files became `size` and `files`: its ancestors change by the difference.
void carry_up(FileTree& tree, NodeIndex folder, std::uint64_t size, std::uint32_t files,
              std::uint32_t mtime) {
    Node& place = tree.nodes[folder];
    const std::uint64_t old_size = place.size;
    const std::uint32_t old_files = place.file_count;
    place.size = size;
    place.file_count = files;
    for (NodeIndex i = place.parent; i != NO_NODE; i = tree.nodes[i].parent) {
        Node& ancestor = tree.nodes[i];
        ancestor.size = ancestor.size - std::min(ancestor.size, old_size) + size;
        ancestor.file_count = ancestor.file_count - std::min(ancestor.file_count, old_files) + files;
        // Whatever changed below a folder wrote to a folder below it then, so the newest time below only
        // moves forward.
        ancestor.mtime = std::max(ancestor.mtime, mtime);
    }
}

bool live_folder(const FileTree& tree, NodeIndex folder) {
    return folder < tree.nodes.size() && (tree.nodes[folder].flags & FLAG_DIR) &&
           !(tree.nodes[folder].flags & FLAG_LINK) && !is_removed(tree, folder);
}

}  // namespace

bool splice_subtree(FileTree& tree, NodeIndex folder, const FileTree& fresh) {
    if (!live_folder(tree, folder)) return false;
    const std::uint64_t added = fresh.nodes.size() - 1;
    const std::uint64_t base = tree.nodes.size();
    if (base + added > tree.node_limit || base + added >= NO_NODE || !names_fit(tree, fresh)) return false;

    // The old content leaves every list; its unreadable folders no longer count.
    std::uint32_t unreadable = (tree.nodes[folder].flags & FLAG_UNREADABLE) ? 1 : 0;
    for (NodeIndex child = tree.nodes[folder].first_child; child != NO_NODE;
         child = tree.nodes[child].next_sibling)
        unreadable += free_entry(tree, child);
    tree.unreadable_folders -= std::min(tree.unreadable_folders, unreadable);
    tree.unreadable_folders += fresh.unreadable_folders;
    tree.left_out += fresh.left_out;

    const auto at = static_cast<NodeIndex>(base);
    for (std::size_t i = 1; i < fresh.nodes.size(); ++i) {
        Node node = fresh.nodes[i];
        const std::optional<std::uint64_t> offset =
            tree.names.append(name_of(fresh, static_cast<NodeIndex>(i)));
        node.name_offset = static_cast<std::uint32_t>(*offset);  // names_fit made room for every name
        node.parent = shifted(node.parent, folder, at);
        node.first_child = shifted(node.first_child, folder, at);
        node.next_sibling = shifted(node.next_sibling, folder, at);
        tree.nodes.push_back(node);
    }
    for (const auto& [index, name] : fresh.real_names) {
        if (index != 0) tree.real_names[shifted(index, folder, at)] = name;
    }
    for (const auto& [index, length] : fresh.lengths) {
        if (index != 0) tree.lengths[shifted(index, folder, at)] = length;
    }

    Node& place = tree.nodes[folder];
    const Node& root = fresh.nodes[0];
    place.first_child = shifted(root.first_child, folder, at);
    place.mtime = root.mtime;
    place.flags =
        static_cast<std::uint8_t>((place.flags & ~FLAG_UNREADABLE) | (root.flags & FLAG_UNREADABLE));
    carry_up(tree, folder, root.size, root.file_count, root.mtime);
    return true;
}

std::optional<std::vector<NodeIndex>> splice_listing(FileTree& tree, NodeIndex folder,
                                                     std::span<const ListedEntry> listing) {
    if (!live_folder(tree, folder)) return std::nullopt;
    if (tree.nodes.size() + listing.size() > tree.node_limit) return std::nullopt;
    // Each listed entry against the live child of its name and type, if any.
    std::unordered_map<std::string_view, NodeIndex> children;
    for (NodeIndex child = tree.nodes[folder].first_child; child != NO_NODE;
         child = tree.nodes[child].next_sibling) {
        if (!(tree.nodes[child].flags & FLAG_REMOVED)) children.emplace(real_name_of(tree, child), child);
    }
    std::vector<bool> kept(listing.size(), false);
    std::vector<ListedEntry> added;
    for (std::size_t i = 0; i < listing.size(); ++i) {
        const ListedEntry& entry = listing[i];
        const auto found = children.find(entry.name);
        if (found == children.end()) continue;
        Node& node = tree.nodes[found->second];
        const std::uint8_t type = FLAG_DIR | FLAG_LINK;
        if ((node.flags & type) != (entry.flags & type)) continue;  // now of the other type: freed and added
        kept[i] = true;
        if (!(node.flags & FLAG_DIR)) {
            node.size = entry.size;
            node.mtime = entry.mtime;
            node.kind = entry.kind;
            node.flags =
                static_cast<std::uint8_t>((node.flags & ~FLAG_CLOUD_ONLY) | (entry.flags & FLAG_CLOUD_ONLY));
            if (keeps_length(entry))
                tree.lengths[found->second] = entry.length;
            else
                tree.lengths.erase(found->second);
        }
        children.erase(found);
    }
    // What is left was not listed: gone. It leaves the folder's list.
    std::uint32_t unreadable = 0;
    NodeIndex* link = &tree.nodes[folder].first_child;
    while (*link != NO_NODE) {
        const NodeIndex child = *link;
        if (children.contains(real_name_of(tree, child)) && children.at(real_name_of(tree, child)) == child) {
            unreadable += free_entry(tree, child);
            *link = tree.nodes[child].next_sibling;
        } else {
            link = &tree.nodes[child].next_sibling;
        }
    }
    tree.unreadable_folders -= std::min(tree.unreadable_folders, unreadable);
    for (std::size_t i = 0; i < listing.size(); ++i) {
        if (!kept[i]) added.push_back(listing[i]);
    }
    const auto first = static_cast<NodeIndex>(tree.nodes.size());
    const std::size_t appended = append_listing(tree, folder, added);
    std::vector<NodeIndex> folders;
    for (std::size_t i = 0; i < appended; ++i) {
        if (added[i].flags & FLAG_DIR && !(added[i].flags & FLAG_LINK))
            folders.push_back(first + static_cast<NodeIndex>(i));
    }
    // The folder's totals from its entries now: subfolders kept keep theirs.
    std::uint64_t size = 0;
    std::uint32_t files = 0;
    std::uint32_t newest = 0;
    for (NodeIndex child = tree.nodes[folder].first_child; child != NO_NODE;
         child = tree.nodes[child].next_sibling) {
        const Node& node = tree.nodes[child];
        if (node.flags & FLAG_REMOVED) continue;
        size += node.size;
        files += node.file_count;
        newest = std::max(newest, node.mtime);
    }
    tree.nodes[folder].mtime = std::max(tree.nodes[folder].mtime, newest);
    carry_up(tree, folder, size, files, tree.nodes[folder].mtime);
    return folders;
}

bool worth_compacting(const FileTree& tree) {
    return tree.freed_nodes * 20 > tree.nodes.size();
}

std::vector<NodeIndex> compact_tree(FileTree& tree) {
    // In place: the nodes before the first freed one keep their places, and the others move down. Their
    // names too move down in the pool where it holds them in node order with little unused between (as a
    // walk and splice_subtree append them); else they are packed anew. A refresh frees what an earlier one
    // appended at the end, so compacting then moves only the end of the tree, not a tree of millions
    // copied whole into memory newly taken (whose pages, first touched, cost more than the copying).
    const std::size_t count = tree.nodes.size();
    std::size_t cut = 0;
    std::uint64_t names_end = 0;   // of the names of the nodes before the cut
    std::uint64_t name_bytes = 0;  // those names' bytes
    for (; cut < count && !(tree.nodes[cut].flags & FLAG_FREED); ++cut) {
        const Node& node = tree.nodes[cut];
        names_end = std::max<std::uint64_t>(names_end, std::uint64_t{node.name_offset} + node.name_len);
        name_bytes += node.name_len;
    }
    std::vector<NodeIndex> renumbered(count);
    std::iota(renumbered.begin(), renumbered.begin() + static_cast<std::ptrdiff_t>(cut), NodeIndex{0});
    auto next = static_cast<NodeIndex>(cut);
    std::uint64_t kept_end = names_end;  // of the names that stay so far, while they are in order
    bool in_order = true;
    std::vector<NodeIndex> holders;  // folders before the cut that hold a node past it that stays
    for (std::size_t i = cut; i < count; ++i) {
        const Node& node = tree.nodes[i];  // never the root: the root is never freed
        const bool dropped = (node.flags & FLAG_FREED) || renumbered[node.parent] == NO_NODE;
        renumbered[i] = dropped ? NO_NODE : next++;
        if (!dropped) {
            in_order = in_order && node.name_offset >= kept_end;
            kept_end = std::uint64_t{node.name_offset} + node.name_len;
        }
        if (!dropped && node.parent < cut && (holders.empty() || holders.back() != node.parent))
            holders.push_back(node.parent);
    }
    if (cut == count) {
        tree.freed_nodes = 0;
        return renumbered;
    }
    const auto renumber = [&](NodeIndex index) { return index == NO_NODE ? NO_NODE : renumbered[index]; };

    // A node before the cut leads past it only in the child list of a folder there that holds a node that
    // stays (live lists never lead to a freed node: splice_subtree unlinked them all).
    std::sort(holders.begin(), holders.end());
    holders.erase(std::unique(holders.begin(), holders.end()), holders.end());
    for (const NodeIndex holder : holders) {
        NodeIndex at = tree.nodes[holder].first_child;
        if (at != NO_NODE && at >= cut) tree.nodes[holder].first_child = renumbered[at];
        while (at != NO_NODE) {
            const NodeIndex following = tree.nodes[at].next_sibling;
            if (at < cut && following != NO_NODE && following >= cut)
                tree.nodes[at].next_sibling = renumbered[following];
            at = following;
        }
    }

    // Appending the names in the order they stand never puts one above where it stood, so each moves
    // down over bytes already moved or dropped.
    const bool names_in_place = in_order && names_end <= name_bytes + names_end / 20;
    NamePool repacked;
    if (names_in_place) {
        tree.names.rewind(names_end);
    } else {
        for (std::size_t i = 0; i < cut; ++i) {
            tree.nodes[i].name_offset =
                static_cast<std::uint32_t>(*repacked.append(name_of(tree, static_cast<NodeIndex>(i))));
        }
    }
    NamePool& names = names_in_place ? tree.names : repacked;
    // Each node that stays moves down to its new index, which is never above its old one.
    for (std::size_t i = cut; i < count; ++i) {
        if (renumbered[i] == NO_NODE) continue;
        Node node = tree.nodes[i];
        // Never more than the pool held before.
        node.name_offset =
            static_cast<std::uint32_t>(*names.append(name_of(tree, static_cast<NodeIndex>(i))));
        node.parent = renumber(node.parent);
        node.first_child = renumber(node.first_child);
        node.next_sibling = renumber(node.next_sibling);
        tree.nodes[renumbered[i]] = node;
    }
    tree.nodes.truncate(next);
    if (names_in_place)
        tree.names.trim();
    else
        tree.names = std::move(repacked);

    const auto rekey = [&](auto& table) {
        std::vector<std::pair<NodeIndex, typename std::remove_reference_t<decltype(table)>::mapped_type>>
            kept;
        for (auto entry = table.begin(); entry != table.end();) {
            if (entry->first < cut) {
                ++entry;
                continue;
            }
            if (renumbered[entry->first] != NO_NODE)
                kept.emplace_back(renumbered[entry->first], std::move(entry->second));
            entry = table.erase(entry);
        }
        for (auto& [index, value] : kept)
            table.emplace(index, std::move(value));
    };
    rekey(tree.real_names);
    rekey(tree.lengths);
    tree.freed_nodes = 0;
    return renumbered;
}

}  // namespace spadrim
