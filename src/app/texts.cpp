// Shared view texts. See texts.h.
#include "app/texts.h"

#include <charconv>

#include "kinds/kinds.h"
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

}  // namespace spadrim
