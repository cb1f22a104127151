// Splicing a newer walk of one folder into a tree, and dropping what it replaced. See splice.h.
#include "scan/splice.h"

#include <algorithm>
#include <limits>

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

}  // namespace

bool splice_subtree(FileTree& tree, NodeIndex folder, const FileTree& fresh) {
    if (folder >= tree.nodes.size() || !(tree.nodes[folder].flags & FLAG_DIR) ||
        (tree.nodes[folder].flags & FLAG_LINK) || is_removed(tree, folder))
        return false;
    const std::uint64_t added = fresh.nodes.size() - 1;
    const std::uint64_t base = tree.nodes.size();
    if (base + added > tree.node_limit || base + added >= NO_NODE || !names_fit(tree, fresh)) return false;

    // The old content leaves every list; counted as freed, its unreadable folders no longer count.
    std::uint64_t freed = 0;
    std::uint32_t unreadable = (tree.nodes[folder].flags & FLAG_UNREADABLE) ? 1 : 0;
    std::vector<NodeIndex> heads;
    for (NodeIndex child = tree.nodes[folder].first_child; child != NO_NODE;
         child = tree.nodes[child].next_sibling) {
        tree.nodes[child].flags |= FLAG_FREED | FLAG_REMOVED;
        heads.push_back(child);
    }
    while (!heads.empty()) {
        const NodeIndex at = heads.back();
        heads.pop_back();
        ++freed;
        if (tree.nodes[at].flags & FLAG_UNREADABLE) ++unreadable;
        for (NodeIndex child = tree.nodes[at].first_child; child != NO_NODE;
             child = tree.nodes[child].next_sibling)
            heads.push_back(child);
    }
    tree.freed_nodes += freed;
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
    const std::uint64_t old_size = place.size;
    const std::uint32_t old_files = place.file_count;
    place.first_child = shifted(root.first_child, folder, at);
    place.size = root.size;
    place.file_count = root.file_count;
    place.mtime = root.mtime;
    place.flags =
        static_cast<std::uint8_t>((place.flags & ~FLAG_UNREADABLE) | (root.flags & FLAG_UNREADABLE));
    for (NodeIndex i = place.parent; i != NO_NODE; i = tree.nodes[i].parent) {
        Node& ancestor = tree.nodes[i];
        ancestor.size = ancestor.size - std::min(ancestor.size, old_size) + root.size;
        ancestor.file_count =
            ancestor.file_count - std::min(ancestor.file_count, old_files) + root.file_count;
        // Whatever changed below a folder wrote to a folder below it then, so the newest time below only
        // moves forward.
        ancestor.mtime = std::max(ancestor.mtime, root.mtime);
    }
    return true;
}

bool worth_compacting(const FileTree& tree) {
    return tree.freed_nodes * 20 > tree.nodes.size();
}

std::vector<NodeIndex> compact_tree(FileTree& tree) {
    const std::size_t count = tree.nodes.size();
    std::vector<NodeIndex> renumbered(count, NO_NODE);
    NodeIndex next = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const Node& node = tree.nodes[i];
        const bool dropped = (node.flags & FLAG_FREED) || (i != 0 && renumbered[node.parent] == NO_NODE);
        if (!dropped) renumbered[i] = next++;
    }
    ChunkedArray<Node> nodes;
    NamePool names;
    for (std::size_t i = 0; i < count; ++i) {
        if (renumbered[i] == NO_NODE) continue;
        Node node = tree.nodes[i];
        node.name_offset =
            static_cast<std::uint32_t>(*names.append(name_of(tree, static_cast<NodeIndex>(i))));
        // Live lists never lead to a freed node: splice_subtree unlinked them all.
        const auto renumber = [&](NodeIndex index) { return index == NO_NODE ? NO_NODE : renumbered[index]; };
        node.parent = renumber(node.parent);
        node.first_child = renumber(node.first_child);
        node.next_sibling = renumber(node.next_sibling);
        nodes.push_back(node);
    }
    const auto rekey = [&](auto& table) {
        std::remove_reference_t<decltype(table)> kept;
        for (auto& [index, value] : table) {
            if (renumbered[index] != NO_NODE) kept.emplace(renumbered[index], std::move(value));
        }
        table = std::move(kept);
    };
    rekey(tree.real_names);
    rekey(tree.lengths);
    tree.nodes = std::move(nodes);
    tree.names = std::move(names);
    tree.freed_nodes = 0;
    return renumbered;
}

}  // namespace spadrim
