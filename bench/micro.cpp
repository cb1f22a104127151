// Micro-benchmarks of the hot paths on a generated tree of 1,000,000 nodes: extension classification,
// roll-up, sorting children, the view refresh of each tab on the root, a treemap layout that reaches its
// cap, and the description of that screen for screen readers. Run with bench/run, or
// build/bench/bench/spadrim_micro after configuring with -DSPADRIM_BENCHMARKS=ON.
#include <benchmark/benchmark.h>

#include "app/access/access.h"
#include "app/app.h"
#include "big_tree.h"
#include "kinds/kinds.h"
#include "treemap/treemap.h"

namespace spadrim {
namespace {

FileTree build_tree() {
    return build_big_tree();
}

const FileTree& big_tree() {
    static const FileTree tree = build_tree();
    return tree;
}

void classify(benchmark::State& state) {
    const FileTree& tree = big_tree();
    std::vector<std::string_view> names;
    for (NodeIndex i = 1; i < tree.nodes.size(); ++i)
        names.push_back(name_of(tree, i));
    for (auto _ : state) {
        unsigned sum = 0;
        for (const std::string_view name : names)
            sum += static_cast<unsigned>(classify_extension(file_extension(name)));
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * names.size()));
}
BENCHMARK(classify)->Unit(benchmark::kMillisecond);

void rollup(benchmark::State& state) {
    FileTree tree = build_tree();
    for (auto _ : state) {
        for (NodeIndex i = 0; i < tree.nodes.size(); ++i) {
            if (tree.nodes[i].flags & FLAG_DIR) tree.nodes[i].size = tree.nodes[i].file_count = 0;
        }
        roll_up(tree);
        benchmark::DoNotOptimize(tree.nodes[0].size);
    }
}
BENCHMARK(rollup)->Unit(benchmark::kMillisecond);

void sort_every_folder(benchmark::State& state) {
    const FileTree& tree = big_tree();
    for (auto _ : state) {
        std::size_t rows = 0;
        for (NodeIndex i = 0; i < tree.nodes.size(); ++i) {
            if (tree.nodes[i].flags & FLAG_DIR) rows += sorted_children(tree, i).size();
        }
        benchmark::DoNotOptimize(rows);
    }
}
BENCHMARK(sort_every_folder)->Unit(benchmark::kMillisecond);

void refresh(benchmark::State& state) {
    App app;
    app.tree = build_tree();
    app.screen = Screen::Results;
    app.tab = static_cast<Tab>(state.range(0));
    for (auto _ : state) {
        refresh_view(app);
        benchmark::DoNotOptimize(app.node_rows.data());
    }
    state.SetLabel(std::string(app.tab == Tab::Folders        ? "Folders"
                               : app.tab == Tab::LargestFiles ? "Largest files"
                                                              : "By type"));
}
BENCHMARK(refresh)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void treemap_capped(benchmark::State& state) {
    const FileTree& tree = big_tree();
    std::vector<TreemapRect> tiles;
    for (auto _ : state) {
        tiles.clear();
        layout_treemap(tree, 0, RectD{0, 0, 2560, 1440}, 0, treemap_header(96), treemap_inset(96), tiles);
        benchmark::DoNotOptimize(tiles.data());
    }
    state.counters["tiles"] = static_cast<double>(tiles.size());
}
BENCHMARK(treemap_capped)->Unit(benchmark::kMillisecond);

// What a screen reader is told about the results of the root, with the treemap at its cap: rebuilt after
// each frame while a reader is connected. Compare with treemap_capped, which each new folder costs.
void describe_results(benchmark::State& state) {
    App app;
    app.tree = build_tree();
    app.screen = Screen::Results;
    refresh_view(app);
    std::vector<TreemapRect> tiles;
    ViewInput in;
    in.width = 2560;
    in.height = 1440;
    in.screen = Screen::Results;
    in.tree = &*app.tree;
    in.row_count = app.node_rows.size();
    in.measure = [](std::string_view text, TextStyle) { return 7.0f * static_cast<float>(text.size()); };
    const Box area = treemap_box(in);
    layout_treemap(*app.tree, 0, RectD{area.x, area.y, area.width, area.height}, 0, treemap_header(96),
                   treemap_inset(96), tiles);
    in.tiles = &tiles;
    std::size_t elements = 0;
    for (auto _ : state) {
        const ScreenDescription screen = describe(app, in);
        elements = screen.elements.size();
        benchmark::DoNotOptimize(screen.elements.data());
    }
    state.counters["elements"] = static_cast<double>(elements);
}
BENCHMARK(describe_results)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace spadrim

BENCHMARK_MAIN();
