// The recent scans the home screen lists under the drives. See app.h.
#include <algorithm>

#include "app/app.h"
#include "app/paint/layout.h"
#include "kinds/kinds.h"
#include "kinds/times.h"

namespace spadrim {

void show_recent_scans(App& app) {
    app.recent_scans = list_remembered(app.scans_folder);
    // A listed file's root is read once: the files are never rewritten, only added and removed.
    std::erase_if(app.recent_roots, [&](const auto& known) {
        return std::none_of(app.recent_scans.begin(), app.recent_scans.end(),
                            [&](const RememberedScan& scan) { return scan.file == known.first; });
    });
    const std::size_t shown = std::min(app.recent_scans.size(), RECENT_SHOWN);
    for (std::size_t i = 0; i < shown; ++i) {
        const std::string& file = app.recent_scans[i].file;
        if (app.recent_roots.contains(file)) continue;
        if (std::optional<ScanFileHead> head = read_scan_head(file))
            app.recent_roots[file] = std::move(head->root);
    }
}

std::optional<std::string> recent_root(const App& app, std::size_t index) {
    if (index >= app.recent_scans.size()) return std::nullopt;
    const auto found = app.recent_roots.find(app.recent_scans[index].file);
    if (found == app.recent_roots.end()) return std::nullopt;
    return found->second;
}

RecentScanText recent_scan_text(const App& app, std::size_t index) {
    if (index >= app.recent_scans.size()) return {};
    const RememberedScan& scan = app.recent_scans[index];
    RecentScanText text;
    if (std::optional<std::string> root = recent_root(app, index)) {
        text.root = std::move(*root);
    } else {
        const std::size_t slash = scan.file.find_last_of("/\\");
        text.root = slash == std::string::npos ? scan.file : scan.file.substr(slash + 1);
    }
    text.details = format_time(mtime_from_unix(scan.when)) + "  \u00B7  " + format_size(scan.size);
    return text;
}

}  // namespace spadrim
