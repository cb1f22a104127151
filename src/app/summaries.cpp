// Per-folder summaries. See summaries.h.
#include "app/summaries.h"

#include <algorithm>
#include <queue>
#include <unordered_map>

#include "strings/strings.h"

namespace spadrim {

KindTotals kind_totals(const FileTree& tree, NodeIndex folder) {
    KindTotals totals{};
    walk_subtree(tree, folder, [&](NodeIndex i) {
        const Node& node = tree.nodes[i];
        if (!(node.flags & FLAG_DIR)) totals[node.kind & 7] += node.size;
    });
    return totals;
}

std::vector<NodeIndex> largest_files(const FileTree& tree, NodeIndex folder, std::size_t limit) {
    using Entry = std::pair<std::uint64_t, NodeIndex>;  // size, then index: the smallest sits on top
    std::priority_queue<Entry, std::vector<Entry>, std::greater<>> heap;
    if (limit == 0) return {};
    walk_subtree(tree, folder, [&](NodeIndex i) {
        const Node& node = tree.nodes[i];
        if (node.flags & FLAG_DIR) return;
        const Entry entry{node.size, i};
        if (heap.size() < limit) {
            heap.push(entry);
        } else if (heap.top() < entry) {  // same as push-then-pop-smallest, without the churn
            heap.pop();
            heap.push(entry);
        }
    });
    std::vector<NodeIndex> rows(heap.size());
    for (std::size_t i = rows.size(); i-- > 0; heap.pop())
        rows[i] = heap.top().second;
    return rows;
}

std::vector<ExtensionRow> extension_rows(const FileTree& tree, NodeIndex folder, std::size_t limit) {
    std::unordered_map<std::string, ExtensionRow, TextHash, std::equal_to<>> by_extension;
    walk_subtree(tree, folder, [&](NodeIndex i) {
        const Node& node = tree.nodes[i];
        if (node.flags & FLAG_DIR) return;
        std::string extension = file_extension(name_of(tree, i));
        auto found = by_extension.find(extension);
        if (found == by_extension.end()) {
            found = by_extension.emplace(extension, ExtensionRow{extension, 0, node.kind, 0}).first;
        }
        found->second.total += node.size;
        ++found->second.count;
    });
    std::vector<ExtensionRow> rows;
    rows.reserve(by_extension.size());
    for (auto& [extension, row] : by_extension)
        rows.push_back(std::move(row));
    const auto before = [](const ExtensionRow& a, const ExtensionRow& b) {
        if (a.total != b.total) return a.total > b.total;
        return a.extension < b.extension;
    };
    if (rows.size() > limit) {
        std::partial_sort(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(limit), rows.end(),
                          before);
        rows.resize(limit);
    } else {
        std::sort(rows.begin(), rows.end(), before);
    }
    return rows;
}

std::vector<KindTotal> kinds_list(const KindTotals& totals) {
    std::vector<KindTotal> kinds;
    for (int k = 0; k < KIND_COUNT; ++k) {
        if (totals[k] != 0) kinds.push_back(KindTotal{static_cast<FileKind>(k), totals[k]});
    }
    std::stable_sort(kinds.begin(), kinds.end(),
                     [](const KindTotal& a, const KindTotal& b) { return a.total > b.total; });
    return kinds;
}

}  // namespace spadrim
