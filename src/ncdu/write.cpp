// Writing ncdu's JSON export. See ncdu.h.
#include <charconv>
#include <ctime>
#include <vector>

#include "config.h"
#include "ncdu/ncdu.h"
#include "ncdu/zfile.h"

namespace spadrim {
namespace {

constexpr std::size_t FLUSH_AT = 1 << 20;

// A JSON string of the bytes. Names go out as the file system gave them, as ncdu writes them, so that
// ncdu reads back the very names; only what JSON forbids is escaped.
void put_string(std::string& out, std::string_view bytes) {
    static constexpr char HEX[] = "0123456789abcdef";
    out += '"';
    std::size_t plain = 0;  // where the bytes that go out as they are begin: appended a run at a time
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte != '"' && byte != '\\' && byte >= 0x20 && byte != 0x7F) continue;
        out.append(bytes.data() + plain, i - plain);
        plain = i + 1;
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += bytes[i];
        } else {
            out += "\\u00";
            out += HEX[byte >> 4];
            out += HEX[byte & 15];
        }
    }
    out.append(bytes.data() + plain, bytes.size() - plain);
    out += '"';
}

// A key and a whole number, without the temporaries of std::to_string: a remembered scan writes one
// entry per node right after the scan, and its time counts.
void put_number(std::string& out, std::string_view key, std::uint64_t value) {
    char digits[24];
    char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out += key;
    out.append(digits, static_cast<std::size_t>(end - digits));
}

void put_entry(std::string& out, const FileTree& tree, NodeIndex index) {
    const Node& node = node_at(tree, index);
    out += "{\"name\":";
    put_string(out, real_name_of(tree, index));
    if (node.flags & FLAG_LINK) {
        out += ",\"notreg\":true";
    } else if (!(node.flags & FLAG_DIR)) {
        put_number(out, ",\"asize\":", node.size);
        put_number(out, ",\"dsize\":", node.size);
    } else if (node.flags & FLAG_UNREADABLE) {
        out += ",\"read_error\":true";
    }
    // A folder's is the newest below it, as the tree keeps it; read back, it rolls up to the same.
    if (node.mtime != 0) put_number(out, ",\"mtime\":", node.mtime);
    out += '}';
}

}  // namespace

bool write_ncdu(const FileTree& tree, std::string_view program_version, std::int64_t timestamp,
                std::string& out, const std::function<bool(std::string&)>& flush) {
    out += "[1,2,{\"progname\":\"spadrim\",\"progver\":";
    put_string(out, program_version);
    out += ",\"timestamp\":" + std::to_string(timestamp) + "},\n";
    // Depth first without recursion: each open folder keeps the next of its children to write.
    std::vector<NodeIndex> next;
    out += '[';
    put_entry(out, tree, 0);
    next.push_back(node_at(tree, 0).first_child);
    while (!next.empty()) {
        const NodeIndex index = next.back();
        if (index == NO_NODE) {
            out += ']';
            next.pop_back();
            continue;
        }
        const Node& node = node_at(tree, index);
        next.back() = node.next_sibling;
        if (node.flags & FLAG_REMOVED) continue;
        out += ",\n";
        if ((node.flags & (FLAG_DIR | FLAG_LINK)) == FLAG_DIR) {
            out += '[';
            put_entry(out, tree, index);
            next.push_back(node.first_child);
        } else {
            put_entry(out, tree, index);
        }
        if (out.size() >= FLUSH_AT && !flush(out)) return false;
    }
    out += "]\n";
    return flush(out);
}

std::optional<std::string> write_ncdu_file(const FileTree& tree, const std::string& path) {
    const bool to_stdout = path == "-";
    const bool compress = path.size() > 3 && path.compare(path.size() - 3, 3, ".gz") == 0;
    const std::string part = to_stdout ? path : path + ".part";
    ZFile file = to_stdout ? open_stdout_for_writing() : open_for_writing(part, compress);
    if (!file) return "could not create " + part;
    std::string out;
    out.reserve(FLUSH_AT + 4096);
    const bool written = write_ncdu(tree, VERSION, static_cast<std::int64_t>(std::time(nullptr)), out,
                                    [&](std::string& piece) {
                                        const bool ok = write_bytes(file, piece);
                                        piece.clear();
                                        return ok;
                                    });
    const bool closed = close(file);
    if (!written || !closed) {
        if (!to_stdout) remove_file(part);
        return "could not write " + path;
    }
    if (!to_stdout && !replace_file(part, path)) {
        remove_file(part);
        return "could not write " + path;
    }
    return std::nullopt;
}

}  // namespace spadrim
