// The treemap of a folder as an SVG picture: the results screen's treemap and kinds legend, drawn
// outside Windows, in the light palette.
#pragma once

#include <string>

#include "app/summaries.h"
#include "scan/tree.h"

namespace spadrim {

std::string treemap_svg(const FileTree& tree, NodeIndex folder, const KindTotals& totals, unsigned width,
                        unsigned height);

}  // namespace spadrim
