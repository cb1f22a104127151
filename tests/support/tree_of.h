// Small File trees for tests, written as the paths of their files.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "scan/tree.h"

namespace spadrim {

// A tree from "folder/name size" lines; a path ending in '/' is a folder that may stay empty. Marked
// imported, as a scan file read here is, so that its root's form, not the platform, tells its separator
// and its case rules.
inline FileTree tree_of(std::string_view root,
                        std::initializer_list<std::pair<std::string_view, std::uint64_t>> items) {
    FileTree tree = make_tree(root);
    tree.imported = true;
    std::map<std::string, NodeIndex, std::less<>> folders{{"", 0}};
    const auto add = [&](NodeIndex parent, std::string_view name, std::uint64_t size, bool folder) {
        ListedEntry entry;
        entry.name = std::string(name);
        entry.size = size;
        entry.flags = folder ? FLAG_DIR : 0;
        const NodeIndex index = static_cast<NodeIndex>(tree.nodes.size());
        EXPECT_EQ(append_listing(tree, parent, {&entry, 1}), 1u);
        return index;
    };
    for (const auto& [path, size] : items) {
        NodeIndex parent = 0;
        std::size_t start = 0;
        for (std::size_t slash = path.find('/'); slash != std::string_view::npos;
             slash = path.find('/', start)) {
            const std::string folder(path.substr(0, slash));
            auto found = folders.find(folder);
            if (found == folders.end())
                found =
                    folders.emplace(folder, add(parent, path.substr(start, slash - start), 0, true)).first;
            parent = found->second;
            start = slash + 1;
        }
        if (start < path.size()) add(parent, path.substr(start), size, false);
    }
    roll_up(tree);
    return tree;
}

}  // namespace spadrim
