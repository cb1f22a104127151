// Shared view texts. See texts.h.
#include "app/texts.h"

#include <algorithm>
#include <charconv>

#include "kinds/kinds.h"
#include "kinds/times.h"
#include "scan/tree.h"
#include "strings/strings.h"

namespace spadrim {

std::string share_text(std::uint64_t size, std::uint64_t folder_size) {
    if (folder_size == 0) return {};
    const double percent = static_cast<double>(size) * 100.0 / static_cast<double>(folder_size);
    if (percent > 0 && percent < 0.1) return "<0.1%";
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, percent, std::chars_format::fixed, 1);
    return std::string(buffer, result.ptr) + "%";
}

std::string_view not_on_this_pc_text() {
    return tr("스캔 파일에서 읽은 항목이라 이 PC에는 없습니다", "Read from a scan file: not on this PC");
}

std::string_view duplicates_need_files_text() {
    return tr("중복 파일은 파일 내용을 비교해야 하는데, 스캔 파일에는 내용이 없습니다",
              "Duplicates are found by comparing contents, which a scan file does not hold");
}

std::string_view badge_text(std::uint8_t flags) {
    if (flags & FLAG_CLOUD_ONLY) return tr("클라우드에만 있음", "cloud only");
    if (flags & FLAG_UNREADABLE) return tr("읽을 수 없음", "could not read");
    if (flags & FLAG_LINK) return tr("링크", "link");
    return {};
}

std::string progress_text(std::uint64_t bytes, std::uint64_t files, std::uint64_t folders) {
    return substitute(
        with_counts(tr("{0}  ·  파일 {1}개  ·  폴더 {2}개", "{0}  ·  {1} files  ·  {2} folders"),
                    {{1, files}, {2, folders}}),
        {format_size(bytes), format_count(files), format_count(folders)});
}

std::string files_text(std::uint64_t files) {
    return substitute(with_counts(tr("파일 {0}개", "{0} files"), {{0, files}}), {format_count(files)});
}

std::string unreadable_text(std::uint64_t folders) {
    if (folders == 0) return {};
    return substitute(
        with_counts(tr("읽지 못한 폴더 {0}곳", "{0} folders could not be read"), {{0, folders}}),
        {format_count(folders)});
}

}  // namespace spadrim

namespace spadrim {

std::string_view tab_label(Tab tab) {
    switch (tab) {
        case Tab::Folders: return tr("폴더", "Folders");
        case Tab::LargestFiles: return tr("가장 큰 파일", "Largest files");
        case Tab::ByType: return tr("종류별", "By type");
        case Tab::Duplicates: return tr("중복 파일", "Duplicates");
        case Tab::Found: return tr("찾은 항목", "Found");
        case Tab::Changes: return tr("변경", "Changes");
    }
    return {};
}

std::string extension_text(std::string_view extension) {
    if (extension.empty()) return std::string(tr("(확장자 없음)", "(no extension)"));
    std::string text(1, '.');  // not "." + ...: GCC 12 at -O3 warns wrongly about overlap there
    text += extension;
    return text;
}

std::string duplicate_set_text(const DuplicateSet& set) {
    return substitute(
        with_counts(tr("사본 {0}개 · 각 {1} · {2} 낭비", "{0} copies · {1} each · {2} wasted"),
                    {{0, set.members.size()}}),
        {format_count(set.members.size()), format_size(set.size), format_size(wasted_bytes(set))});
}

std::string compare_progress_text(const CompareProgress& progress) {
    return substitute(tr("비교하는 중… {0} / {1}", "Comparing… {0} / {1}"),
                      {format_count(progress.files_done), format_count(progress.total_files)}) +
           "  ·  " + format_size(progress.bytes_read);
}

std::string no_duplicates_text() {
    return substitute(
        tr("{0} 이상인 파일 중에는 중복이 없습니다", "No duplicates among files of {0} or more"),
        {format_size(DUPLICATE_THRESHOLD)});
}

std::string compare_note_text() {
    return substitute(tr("크기가 같은 {0} 이상 파일의 내용을 비교합니다",
                         "Comparing the contents of files of {0} or more that have the same size"),
                      {format_size(DUPLICATE_THRESHOLD)});
}

std::string showing_text(std::string_view query) {
    return substitute(tr("{0} 표시 중 · Esc로 해제", "Showing {0} · Esc clears"), {query});
}

std::string signed_size(std::int64_t delta) {
    if (delta == 0) return format_size(0);
    const std::uint64_t magnitude =
        delta > 0 ? static_cast<std::uint64_t>(delta) : static_cast<std::uint64_t>(-(delta + 1)) + 1;
    return (delta > 0 ? "+" : "\u2212") + format_size(magnitude);
}

std::string_view change_text(Change change) {
    switch (change) {
        case Change::New: return tr("새 항목", "new");
        case Change::Removed: return tr("사라짐", "removed");
        case Change::Grown: return tr("커짐", "grown");
        case Change::Shrunk: return tr("줄어듦", "shrunk");
        case Change::Unchanged: break;
    }
    return tr("그대로", "unchanged");
}

std::string change_order_text(ChangeOrder order) {
    std::string_view word = tr("증가", "Increase");
    if (order == ChangeOrder::Decrease) word = tr("감소", "Decrease");
    if (order == ChangeOrder::Absolute) word = tr("변화량", "Change");
    return substitute(tr("정렬: {0}", "Sort: {0}"), {word});
}

std::string change_line(const ChangeRow& row) {
    return format_size(row.before_size) + " \u2192 " + format_size(row.after_size) + " · " +
           std::string(change_text(row.change));
}

std::string change_reading(const ChangeRow& row) {
    const std::int64_t delta = row.delta();
    std::string text;
    if (delta > 0) {
        text = substitute(tr("{0} 늘어남", "plus {0}"), {format_size(static_cast<std::uint64_t>(delta))});
    } else if (delta < 0) {
        text = substitute(tr("{0} 줄어듦", "minus {0}"), {format_size(row.before_size - row.after_size)});
    } else {
        text = tr("변화 없음", "no change");
    }
    if (row.change != Change::Removed)
        text += ", " + substitute(tr("지금 {0}", "now {0}"), {format_size(row.after_size)});
    return text + ", " + std::string(change_text(row.change));
}

std::string_view growth_label(Change change) {
    switch (change) {
        case Change::Grown: return tr("커짐", "Grown");
        case Change::New: return tr("새 항목", "New");
        case Change::Shrunk: return tr("줄어듦", "Shrunk");
        case Change::Removed: return tr("사라짐", "Removed");
        case Change::Unchanged: break;
    }
    return tr("그대로", "Unchanged");
}

std::vector<std::string> growth_legend() {
    std::vector<std::string> labels;
    for (const Change change : {Change::Grown, Change::New, Change::Shrunk, Change::Unchanged})
        labels.emplace_back(growth_label(change));
    return labels;
}

std::string_view change_help(Change change) {
    if (change != Change::New && change != Change::Removed) return {};
    return tr("이름을 바꾸거나 옮긴 항목은 사라진 항목과 새 항목으로 나타납니다",
              "A renamed or moved item shows as removed plus new");
}

std::string found_order_text(FoundOrder order) {
    std::string_view by;
    switch (order) {
        case FoundOrder::Size: by = tr("크기", "Size"); break;
        case FoundOrder::Name: by = tr("이름", "Name"); break;
        case FoundOrder::Modified: by = tr("수정한 날짜", "Date modified"); break;
    }
    return substitute(tr("정렬: {0}", "Sort: {0}"), {by});
}

std::string recycle_bin_text(std::uint64_t bytes) {
    return std::string(tr("휴지통에 든 용량:", "In the Recycle Bin:")) + " " + format_size(bytes);
}

RecycleOutcome recycle_outcome(const RecycleObservation& seen) {
    constexpr int CANCELLED = 1223;            // ERROR_CANCELLED
    constexpr int OPERATION_CANCELLED = 0x75;  // DE_OPCANCELLED, an answer older shells give
    if (seen.still_there) {
        const bool refused = seen.aborted || seen.result == CANCELLED || seen.result == OPERATION_CANCELLED;
        return refused ? RecycleOutcome::Cancelled : RecycleOutcome::Failed;
    }
    const bool grew =
        seen.bin_items_before && seen.bin_items_after && *seen.bin_items_after > *seen.bin_items_before;
    return grew ? RecycleOutcome::Recycled : RecycleOutcome::DeletedForGood;
}

std::string recycle_notice(RecycleOutcome outcome, std::uint64_t size) {
    switch (outcome) {
        case RecycleOutcome::Recycled:
            return substitute(tr("휴지통으로 보냈습니다. 휴지통을 비우면 {0}만큼 공간이 생깁니다.",
                                 "Moved to the Recycle Bin. Emptying it frees {0}."),
                              {format_size(size)});
        case RecycleOutcome::DeletedForGood:
            return substitute(tr("휴지통에 넣지 못해 완전히 삭제했습니다. {0}만큼 공간이 생겼습니다.",
                                 "Deleted for good: it could not go to the Recycle Bin. {0} freed."),
                              {format_size(size)});
        case RecycleOutcome::Cancelled: return {};
        case RecycleOutcome::Failed:
            return std::string(tr("휴지통으로 보내지 못했습니다. 다른 프로그램이 쓰고 있을 수 있습니다.",
                                  "Could not move it to the Recycle Bin. Another program may be using it."));
    }
    return {};
}

MoveFailure move_failure(int result, bool was_there) {
    if (!was_there) return MoveFailure::Missing;
    switch (result) {
        case 32:  // ERROR_SHARING_VIOLATION
        case 33:  // ERROR_LOCK_VIOLATION
            return MoveFailure::InUse;
        case 5:     // ERROR_ACCESS_DENIED
        case 19:    // ERROR_WRITE_PROTECT
        case 0x78:  // DE_ACCESSDENIEDSRC
        case 0x79:  // DE_PATHTOODEEP: the Bin cannot take it from there
            return MoveFailure::NotAllowed;
        case 2:     // ERROR_FILE_NOT_FOUND
        case 3:     // ERROR_PATH_NOT_FOUND
        case 0x7C:  // DE_INVALIDFILES
            return MoveFailure::Missing;
        default: return MoveFailure::Other;
    }
}

std::string recycle_many_question(std::uint64_t count, std::uint64_t bytes,
                                  const std::vector<std::string>& left_out) {
    constexpr std::size_t NAMED = 10;
    std::string names;
    for (std::size_t i = 0; i < left_out.size() && i < NAMED; ++i)
        names += "\n" + left_out[i];
    if (left_out.size() > NAMED) {
        const std::uint64_t more = left_out.size() - NAMED;
        names += "\n" + substitute(tr("외 {0}개", "and {0} more"), {format_count(more)});
    }
    if (count == 0) {
        return std::string(
                   tr("Windows나 프로그램, 사용자 계정이 쓰는 폴더라서 Spadrim에서는 지울 수 없습니다:",
                      "Windows, programs or your user account rely on these, so Spadrim will not delete "
                      "them:")) +
               names;
    }
    std::string text;
    if (!left_out.empty()) {
        text += tr("Windows나 프로그램, 사용자 계정이 쓰는 폴더라서 빼고 보냅니다:",
                   "Left out, as Windows, programs or your user account rely on them:");
        text += names + "\n\n";
    }
    text += substitute(
        with_counts(tr("항목 {0}개({1})를 휴지통으로 보낼까요?", "Move {0} items ({1}) to the Recycle Bin?"),
                    {{0, count}}),
        {format_count(count), format_size(bytes)});
    return text;
}

std::string recycle_many_notice(const RecycleTally& tally) {
    std::vector<std::string> parts;
    if (tally.recycled != 0) {
        parts.push_back(substitute(
            with_counts(tr("항목 {0}개를 휴지통으로 보냈습니다.", "Moved {0} items to the Recycle Bin."),
                        {{0, tally.recycled}}),
            {format_count(tally.recycled)}));
        parts.push_back(substitute(tr("휴지통을 비우면 {0}만큼 공간이 생깁니다.", "Emptying it frees {0}."),
                                   {format_size(tally.recycled_bytes)}));
    }
    if (tally.deleted != 0) {
        parts.push_back(substitute(
            with_counts(tr("휴지통에 넣지 못해 완전히 삭제한 항목 {0}개, {1}만큼 공간이 생겼습니다.",
                           "Deleted for good, as the Recycle Bin could not take them: {0} items, {1} freed."),
                        {{0, tally.deleted}}),
            {format_count(tally.deleted), format_size(tally.deleted_bytes)}));
    }
    std::uint64_t failed = 0;
    std::string reasons;
    const std::string_view REASONS[] = {
        tr("사용 중 {0}", "{0} in use"), tr("권한 없음 {0}", "{0} not allowed"),
        tr("이미 없음 {0}", "{0} no longer there"), tr("다른 이유 {0}", "{0} for another reason")};
    for (std::size_t i = 0; i < std::size(REASONS); ++i) {
        if (tally.failed[i] == 0) continue;
        failed += tally.failed[i];
        if (!reasons.empty()) reasons += ", ";
        reasons += substitute(REASONS[i], {format_count(tally.failed[i])});
    }
    if (failed != 0) {
        parts.push_back(substitute(tr("{0}개는 옮기지 못했습니다: {1}.", "{0} could not be moved: {1}."),
                                   {format_count(failed), reasons}));
    }
    if (tally.not_tried != 0) {
        parts.push_back(substitute(tr("취소해서 {0}개는 그대로 두었습니다.", "Cancelled: {0} left in place."),
                                   {format_count(tally.not_tried)}));
    }
    std::string text;
    for (const std::string& part : parts) {
        if (!text.empty()) text += ' ';
        text += part;
    }
    return text;
}

std::string paths_copied_text(std::uint64_t count) {
    if (count == 1) return std::string(tr("경로를 복사했습니다", "Path copied"));
    return substitute(with_counts(tr("경로 {0}개를 복사했습니다", "Copied {0} paths"), {{0, count}}),
                      {format_count(count)});
}

std::string walk_done_text(const Node& folder, double seconds) {
    char buffer[32];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, seconds, std::chars_format::fixed, 1);
    return substitute(
        with_counts(tr("{0} · 파일 {1}개 · {2}초 걸림", "{0} · {1} files · took {2} s"),
                    {{1, folder.file_count}}),
        {format_size(folder.size), format_count(folder.file_count), std::string(buffer, written.ptr)});
}

std::string_view gone_item_text() {
    return tr("이 항목은 더 이상 없어서 아무것도 하지 않았습니다",
              "That item is no longer there: nothing was done");
}

std::string_view inexact_name_text() {
    return tr(
        "Windows가 이 이름을 다른 항목의 이름으로 바꿔 읽기 때문에 Spadrim에서는 이 항목을 열거나 지우지 "
        "않습니다.",
        "Windows would read this name as another item's, so Spadrim will not open or delete it.");
}

std::string elapsed_text(double seconds) {
    char digits[32];
    const auto written =
        std::to_chars(digits, digits + sizeof digits, std::max(seconds, 0.0), std::chars_format::fixed, 0);
    return substitute(tr("{0}초", "{0} s"), {std::string_view(digits, written.ptr - digits)});
}

std::optional<double> scan_share(const ScanJob& job) {
    if (job.expected_bytes == 0) return std::nullopt;
    return std::min(static_cast<double>(job.progress->bytes.load()) / static_cast<double>(job.expected_bytes),
                    1.0);
}

std::string free_space_text(const VolumeSpace& space) {
    return substitute(tr("남은 공간 {0} / 전체 {1}", "{0} free of {1}"),
                      {format_size(space.free), format_size(space.total)});
}

namespace {

std::string location_text(const FileTree& tree, NodeIndex node) {
    const NodeIndex parent = node_at(tree, node).parent;
    if (parent == 0 || parent == NO_NODE) return std::string(tr("이 폴더", "this folder"));
    return path_of(tree, parent);
}

}  // namespace

std::optional<RowText> row_text(const App& app, std::size_t row) {
    if (!app.tree) return std::nullopt;
    const FileTree& tree = *app.tree;
    RowText text;
    if (app.tab == Tab::ByType) {
        if (row >= app.extension_rows.size()) return std::nullopt;
        const ExtensionRow& ext = app.extension_rows[row];
        text.label = extension_text(ext.extension) + "   " + files_text(ext.count);
        text.size = ext.total;
        text.kind = ext.kind;
        return text;
    }
    if (app.tab == Tab::Duplicates && row < app.duplicate_rows.size() &&
        app.duplicate_rows[row].member == NO_NODE) {
        const auto found = app.duplicates.find(app.current_folder);
        if (found == app.duplicates.end() || app.duplicate_rows[row].set >= found->second.sets.size())
            return std::nullopt;
        const DuplicateSet& set = found->second.sets[app.duplicate_rows[row].set];
        text.label = duplicate_set_text(set);
        text.size = wasted_bytes(set);
        text.expanded = app.expanded_sets.contains(set.digest);
        text.kind = node_at(tree, set.members.front()).kind;
        return text;
    }
    if (app.tab == Tab::Changes) {
        if (row >= app.change_rows.size() || !app.baseline) return std::nullopt;
        const ChangeRow& change = app.change_rows[row];
        // An entry gone since is named as the earlier scan had it.
        const bool later = change.after != NO_NODE;
        const FileTree& holder = later ? tree : *app.baseline;
        const NodeIndex entry = later ? change.after : change.before;
        if (entry == NO_NODE || entry >= holder.nodes.size()) return std::nullopt;
        text.label = std::string(name_of(holder, entry));
        text.size = change.after_size;
        text.node = row_node(app, row);
        text.kind = node_at(holder, entry).kind;
        text.location = change_line(change);
        text.change = change;
        return text;
    }
    const NodeIndex node = row_node(app, row);
    if (node == NO_NODE || node >= tree.nodes.size()) return std::nullopt;
    const Node& item = node_at(tree, node);
    text.label = std::string(name_of(tree, node));
    if (const std::string_view badge = badge_text(item.flags); !badge.empty()) {
        text.label += "  (" + std::string(badge) + ")";
    }
    text.size = item.size;
    text.node = node;
    text.kind = item.kind;
    text.modified = format_time(item.mtime);
    if (app.tab == Tab::LargestFiles || app.tab == Tab::Duplicates || app.tab == Tab::Found)
        text.location = location_text(tree, node);
    if (app.tab == Tab::Folders) text.size = shown_totals(app, node).size;
    return text;
}

std::string modified_text(std::uint32_t mtime) {
    if (mtime == 0) return {};
    return substitute(tr("수정한 날짜 {0}", "modified {0}"), {format_time(mtime)});
}

StatusDetails status_details(const App& app) {
    if (!app.tree) return {};
    const FileTree& tree = *app.tree;
    const auto node_details = [&](NodeIndex node) {
        const Node& item = node_at(tree, node);
        std::string figures = "  ·  " + format_size(item.size);
        if (item.flags & FLAG_DIR) figures += "  ·  " + files_text(item.file_count);
        if (item.mtime != 0) figures += "  ·  " + modified_text(item.mtime);
        return StatusDetails{path_of(tree, node), figures, true};
    };
    const HitTarget hover = app.hover;
    if (hover.kind == HitKind::Tile && hover.payload < tree.nodes.size())
        return node_details(static_cast<NodeIndex>(hover.payload));
    if (hover.kind == HitKind::Row) {
        const std::size_t i = hover.payload;
        if (app.tab == Tab::Changes && i < app.change_rows.size() && app.baseline) {
            const ChangeRow& row = app.change_rows[i];
            const bool later = row.after != NO_NODE;
            std::string figures = "  ·  " + change_line(row);
            if (const std::string_view help = change_help(row.change); !help.empty())
                figures += "  ·  " + std::string(help);
            return StatusDetails{later ? path_of(tree, row.after) : path_of(*app.baseline, row.before),
                                 figures, true};
        }
        if (const NodeIndex node = row_node(app, i); node != NO_NODE) return node_details(node);
        if (app.tab == Tab::ByType && i < app.extension_rows.size()) {
            const ExtensionRow& row = app.extension_rows[i];
            return StatusDetails{{},
                                 substitute("{0} · .{1} · {2} · {3}",
                                            {kind_label(static_cast<FileKind>(row.kind & 7)), row.extension,
                                             format_size(row.total), files_text(row.count)}),
                                 true};
        }
        if (app.tab == Tab::Duplicates && i < app.duplicate_rows.size()) {
            const DuplicateRow row = app.duplicate_rows[i];
            if (const auto found = app.duplicates.find(app.current_folder);
                found != app.duplicates.end() && row.set < found->second.sets.size()) {
                const DuplicateSet& set = found->second.sets[row.set];
                std::string paths = "  ·  ";
                for (std::size_t m = 0; m < set.members.size(); ++m) {
                    if (m) paths += "  |  ";
                    paths += path_of(tree, set.members[m]);
                }
                return StatusDetails{duplicate_set_text(set), paths, false};
            }
        }
    }
    if (app.selection != NO_NODE) return node_details(app.selection);
    return node_details(app.current_folder);
}

}  // namespace spadrim
