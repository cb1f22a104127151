// libFuzzer entry for the scan-file reader. The first byte chooses how many bytes each pull hands out,
// so that chunk ends fall everywhere; the rest is the document. The reader must agree with the
// reference built on the JSON library (tests/support/ncdu_reference.h): the same success or error, the
// same tree. A document that is read is written again and must read back with the same entries, named
// with the same bytes. Built by the "fuzz" preset, under the address and undefined-behaviour sanitizers;
// scripts/fuzz runs it.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "ncdu/ncdu.h"
#include "support/ncdu_reference.h"

namespace {

spadrim::PullBytes pull_from(std::string_view text, std::size_t step) {
    return [text, step, at = std::size_t{0}](std::span<char> into) mutable -> std::optional<std::size_t> {
        const std::size_t n = std::min({step, into.size(), text.size() - at});
        std::copy_n(text.data() + at, n, into.data());
        at += n;
        return n;
    };
}

// Every entry's exact path, in order.
std::vector<std::string> real_paths(const spadrim::FileTree& tree) {
    std::vector<std::string> out;
    for (spadrim::NodeIndex i = 0; i < tree.nodes.size(); ++i)
        out.push_back(spadrim::real_path_of(tree, i));
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace spadrim;
    if (size == 0) return 0;
    const std::size_t step = std::size_t{data[0]} + 1;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    if (const std::string difference = reading_difference(text, step); !difference.empty()) {
        std::fprintf(stderr, "the readers differ: %s\n", difference.c_str());
        std::abort();
    }
    ScanProgress progress;
    const ImportOutcome read = read_ncdu(pull_from(text, step), progress);
    if (!read.tree) {
        if (read.error.empty()) std::abort();  // a failure must say why
        return 0;
    }
    std::string whole;
    std::string out;
    write_ncdu(*read.tree, "fuzz", 0, out, [&](std::string& piece) {
        whole += piece;
        piece.clear();
        return true;
    });
    ScanProgress again;
    const ImportOutcome back = read_ncdu(pull_from(whole, 1 << 20), again);
    if (!back.tree || back.tree->nodes.size() != read.tree->nodes.size() ||
        node_at(*back.tree, 0).size != node_at(*read.tree, 0).size ||
        real_paths(*back.tree) != real_paths(*read.tree))
        std::abort();
    return 0;
}
