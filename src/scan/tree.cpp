// File tree construction and queries. See tree.h.
#include "scan/tree.h"

#include <algorithm>
#include <limits>
#include <optional>

#include "scan/folder.h"
#include "scan/paths.h"

namespace spadrim {
namespace {

bool sorts_before(const FileTree& tree, NodeIndex a, NodeIndex b) {
    const std::uint64_t size_a = tree.nodes[a].size;
    const std::uint64_t size_b = tree.nodes[b].size;
    if (size_a != size_b) return size_a > size_b;
    // string_view compares bytes as unsigned char, and a prefix sorts first.
    return name_of(tree, a) < name_of(tree, b);
}

bool ascii_equal_fold(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// Cuts the next non-empty component off the front of text; empty when none is left.
std::string_view next_component(std::string_view& text, char sep) {
    while (!text.empty() && text.front() == sep)
        text.remove_prefix(1);
    const std::size_t end = std::min(text.find(sep), text.size());
    const std::string_view component = text.substr(0, end);
    text.remove_prefix(end);
    return component;
}

constexpr std::uint64_t MAX_NAME_POOL = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint64_t NAME_CHUNK = 1 << 20;

}  // namespace

FileTree make_tree(std::string_view root_path) {
    FileTree tree;
    tree.root_path = root_path;
    std::string shown = shown_form(root_path);
    if (shown.size() > NamePool::MAX_TEXT) {
        // Only a caller that skipped its own bound gets here: the node is named by what the pool holds,
        // ending on a whole character, and never claims more than that.
        std::size_t end = NamePool::MAX_TEXT;
        while (end > 0 && (static_cast<unsigned char>(shown[end]) & 0xC0) == 0x80)
            --end;
        shown.resize(end);
    }
    tree.names.append(shown);
    tree.nodes.push_back(
        Node{0, 0, static_cast<std::uint32_t>(shown.size()), NO_NODE, NO_NODE, NO_NODE, 0, 0, FLAG_DIR, 0});
    return tree;
}

std::size_t append_listing(FileTree& tree, NodeIndex folder, std::span<const ListedEntry> entries) {
    std::size_t appended = 0;
    // The folder's list head, written back once at the end.
    NodeIndex head = tree.nodes[folder].first_child;
    for (const ListedEntry& entry : entries) {
        const std::uint64_t index = tree.nodes.size();
        // NO_NODE itself is not a usable index, and a name must end inside the 32-bit pool (it may start
        // in the pool's next chunk, hence the margin of one chunk).
        if (index >= tree.node_limit || tree.names.size() + entry.name.size() + NAME_CHUNK > MAX_NAME_POOL)
            break;
        const std::string shown = entry.unshowable ? shown_form(entry.name) : std::string();
        const std::string_view name =
            entry.unshowable ? std::string_view(shown) : std::string_view(entry.name);
        const std::optional<std::uint64_t> offset = tree.names.append(name);
        if (!offset) break;
        tree.nodes.push_back(Node{entry.size, static_cast<std::uint32_t>(*offset),
                                  static_cast<std::uint32_t>(name.size()), folder, NO_NODE, head,
                                  (entry.flags & FLAG_DIR) ? 0u : 1u, entry.mtime, entry.flags, entry.kind});
        head = static_cast<NodeIndex>(index);
        if (entry.unshowable) tree.real_names.emplace(static_cast<NodeIndex>(index), entry.name);
        if (keeps_length(entry)) tree.lengths.emplace(static_cast<NodeIndex>(index), entry.length);
        ++appended;
    }
    tree.nodes[folder].first_child = head;
    return appended;
}

void mark_unreadable(FileTree& tree, NodeIndex folder) {
    tree.nodes[folder].flags |= FLAG_UNREADABLE;
    ++tree.unreadable_folders;
}

void roll_up(FileTree& tree) {
    for (std::size_t i = tree.nodes.size(); i-- > 1;) {
        const Node& node = tree.nodes[i];
        Node& parent = tree.nodes[node.parent];
        parent.size += node.size;
        parent.file_count += node.file_count;
        if (node.mtime > parent.mtime) parent.mtime = node.mtime;
    }
}

char separator_of(const FileTree& tree) {
    if (!tree.imported) return PATH_SEPARATOR;
    const bool slash = tree.root_path.find('/') != std::string::npos;
    const bool backslash = tree.root_path.find('\\') != std::string::npos;
    return slash == backslash ? PATH_SEPARATOR : slash ? '/' : '\\';
}

std::vector<NodeIndex> sorted_children(const FileTree& tree, NodeIndex folder) {
    std::vector<NodeIndex> children;
    for (NodeIndex i = tree.nodes[folder].first_child; i != NO_NODE; i = tree.nodes[i].next_sibling) {
        if (!(tree.nodes[i].flags & FLAG_REMOVED)) children.push_back(i);
    }
    const auto before = [&](NodeIndex a, NodeIndex b) { return sorts_before(tree, a, b); };
    if (children.size() <= 20) {
        for (std::size_t i = 1; i < children.size(); ++i) {
            const NodeIndex moving = children[i];
            std::size_t j = i;
            for (; j > 0 && before(moving, children[j - 1]); --j)
                children[j] = children[j - 1];
            children[j] = moving;
        }
    } else {
        std::sort(children.begin(), children.end(), before);
    }
    return children;
}

std::string path_of(const FileTree& tree, NodeIndex index) {
    std::vector<NodeIndex> below_root;
    for (NodeIndex i = index; i != 0 && i != NO_NODE; i = tree.nodes[i].parent)
        below_root.push_back(i);
    std::string path(name_of(tree, 0));
    for (auto it = below_root.rbegin(); it != below_root.rend(); ++it) {
        append_path(path, name_of(tree, *it), separator_of(tree));
    }
    return path;
}

std::string_view real_name_of(const FileTree& tree, NodeIndex index) {
    if (index == 0) return tree.root_path;
    if (!tree.real_names.empty()) {
        if (const auto found = tree.real_names.find(index); found != tree.real_names.end())
            return found->second;
    }
    return name_of(tree, index);
}

std::string real_path_of(const FileTree& tree, NodeIndex index) {
    std::vector<NodeIndex> below_root;
    for (NodeIndex i = index; i != 0 && i != NO_NODE; i = tree.nodes[i].parent)
        below_root.push_back(i);
    std::string path = tree.root_path;
    for (auto it = below_root.rbegin(); it != below_root.rend(); ++it) {
        append_path(path, real_name_of(tree, *it), separator_of(tree));
    }
    return path;
}

std::uint64_t content_length(const FileTree& tree, NodeIndex index) {
    if (!tree.lengths.empty()) {
        if (const auto found = tree.lengths.find(index); found != tree.lengths.end()) return found->second;
    }
    return tree.nodes[index].size;
}

std::vector<NodeIndex> chain_to(const FileTree& tree, NodeIndex index) {
    std::vector<NodeIndex> chain;
    for (NodeIndex i = index; i != NO_NODE; i = tree.nodes[i].parent)
        chain.push_back(i);
    std::reverse(chain.begin(), chain.end());
    return chain;
}

NodeIndex find_path(const FileTree& tree, std::string_view path) {
    std::string_view root = tree.root_path;
    for (std::string_view part = next_component(root, PATH_SEPARATOR); !part.empty();
         part = next_component(root, PATH_SEPARATOR)) {
        if (next_component(path, PATH_SEPARATOR) != part) return 0;
    }
    NodeIndex current = 0;
    for (std::string_view part = next_component(path, PATH_SEPARATOR); !part.empty();
         part = next_component(path, PATH_SEPARATOR)) {
        if (part == "." || part == "..") return 0;
        NodeIndex match = NO_NODE;
        for (NodeIndex i = tree.nodes[current].first_child; i != NO_NODE; i = tree.nodes[i].next_sibling) {
            if (!(tree.nodes[i].flags & FLAG_REMOVED) && ascii_equal_fold(real_name_of(tree, i), part)) {
                match = i;
                break;
            }
        }
        if (match == NO_NODE) return 0;
        current = match;
    }
    return current;
}

bool is_removed(const FileTree& tree, NodeIndex index) {
    for (NodeIndex i = index; i != NO_NODE; i = tree.nodes[i].parent) {
        if (tree.nodes[i].flags & FLAG_REMOVED) return true;
    }
    return false;
}

void remove_node(FileTree& tree, NodeIndex index) {
    Node& node = tree.nodes[index];
    if (node.flags & FLAG_REMOVED) return;
    node.flags |= FLAG_REMOVED;
    const std::uint64_t size = node.size;
    const std::uint32_t files = node.file_count;
    for (NodeIndex i = node.parent; i != NO_NODE; i = tree.nodes[i].parent) {
        Node& ancestor = tree.nodes[i];
        ancestor.size -= std::min(ancestor.size, size);
        ancestor.file_count -= std::min(ancestor.file_count, files);
    }
}

}  // namespace spadrim
