// The CSV of a tab. See export.h.
#include "app/export.h"

#include "app/texts.h"
#include "dupes/sha256.h"
#include "kinds/kinds.h"
#include "kinds/times.h"
#include "scan/paths.h"

namespace spadrim {
namespace {

constexpr std::string_view BOM = "\xEF\xBB\xBF";
constexpr std::string_view END = "\r\n";

void add_row(std::string& out, std::initializer_list<std::string_view> fields) {
    bool first = true;
    for (const std::string_view field : fields) {
        if (!first) out += ',';
        out += csv_field(field);
        first = false;
    }
    out += END;
}

std::string_view kind_word(const FileTree& tree, NodeIndex node) {
    const Node& item = node_at(tree, node);
    if (item.flags & FLAG_DIR) return "Folder";
    return kind_names(static_cast<FileKind>(item.kind)).english;
}

}  // namespace

std::string csv_field(std::string_view text) {
    std::string field;
    if (!text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos)
        field += '\'';
    field += text;
    if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
    std::string quoted = "\"";
    for (const char c : field) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

std::string export_csv(const App& app) {
    if (!app.tree) return {};
    const FileTree& tree = *app.tree;
    std::string out(BOM);
    switch (app.tab) {
        case Tab::ByType:
            add_row(out, {"extension", "kind", "files", "bytes", "size"});
            for (const ExtensionRow& row : app.extension_rows) {
                add_row(out, {row.extension, kind_names(static_cast<FileKind>(row.kind)).english,
                              std::to_string(row.count), std::to_string(row.total), format_size(row.total)});
            }
            return out;
        case Tab::Duplicates: {
            add_row(out, {"set", "digest", "path", "bytes", "size", "modified"});
            const auto found = app.duplicates.find(app.current_folder);
            if (found == app.duplicates.end()) return out;
            for (std::size_t set = 0; set < found->second.sets.size(); ++set) {
                const DuplicateSet& copies = found->second.sets[set];
                const std::string digest = digest_hex(copies.digest);
                for (const NodeIndex member : copies.members) {
                    const Node& item = node_at(tree, member);
                    add_row(out,
                            {std::to_string(set + 1), digest, path_of(tree, member),
                             std::to_string(item.size), format_size(item.size), iso_8601_utc(item.mtime)});
                }
            }
            return out;
        }
        case Tab::Changes:
            // As the command line's comparison words it: the change in bytes, signed, and its status.
            add_row(out, {"path", "before", "after", "delta", "status"});
            for (const ChangeRow& row : app.change_rows) {
                const std::string path = row.after != NO_NODE ? path_of(tree, row.after)
                                         : app.baseline       ? path_of(*app.baseline, row.before)
                                                              : std::string();
                // A negative number is no formula: the delta is written as it is, not as text.
                out += csv_field(path) + ',' + std::to_string(row.before_size) + ',' +
                       std::to_string(row.after_size) + ',' + std::to_string(row.delta()) + ',';
                out += change_word(row.change);
                out += END;
            }
            return out;
        default: break;  // every other tab lists nodes
    }
    add_row(out, {"path", "bytes", "size", "modified", "kind"});
    for (const NodeIndex node : app.node_rows) {
        const Node& item = node_at(tree, node);
        add_row(out, {path_of(tree, node), std::to_string(item.size), format_size(item.size),
                      iso_8601_utc(item.mtime), kind_word(tree, node)});
    }
    return out;
}

std::string export_file_name(Tab tab) {
    std::string name = "Spadrim - " + std::string(tab_label(tab)) + ".csv";
    for (char& c : name) {
        if (std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) c = '-';
    }
    return name;
}

}  // namespace spadrim
