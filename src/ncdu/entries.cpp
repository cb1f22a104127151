// From a scan file's JSON values to the tree: what happens once per entry or once per error. See
// entries.h.
#include "ncdu/entries.h"

#include "kinds/kinds.h"
#include "scan/classify.h"
#include "scan/totals.h"
#include "strings/utf.h"

namespace spadrim::ncdu_scan {
namespace {

// How the keys read are spelled in errors, in Key's order.
constexpr std::string_view KEY_NAMES[] = {"name",       "asize",    "dsize", "notreg",
                                          "read_error", "excluded", "mtime"};

// Only asked for the keys read: OTHER's values are skipped, never refused.
std::string key_text(Key key) {
    return std::string(KEY_NAMES[static_cast<std::size_t>(key)]);
}

}  // namespace

std::string at_place(Place place, std::string_view what) {
    return "line " + std::to_string(place.line) + ", column " + std::to_string(place.column) + ": " +
           std::string(what);
}

std::string too_long_error(bool string) {
    return string ? "a string longer than " + std::to_string(MAX_NAME_BYTES) + " bytes"
                  : "a number longer than " + std::to_string(MAX_NUMBER_TOKEN) + " characters";
}

ImportOutcome Entries::outcome(bool parsed) {
    ImportOutcome outcome;
    // The document ended as it should (the reader checks the syntax; this, the shape).
    if (parsed && error.empty() && (!tree || outer_ != DONE)) fail("the document ends before its root");
    if (!parsed || !error.empty()) {
        outcome.error = error.empty() ? "not a scan file" : error;
        return outcome;
    }
    roll_up(*tree);
    tree->when = timestamp;
    outcome.tree = std::move(tree);
    outcome.timestamp = timestamp;
    return outcome;
}

bool Entries::fail(const std::string& what) {
    if (error.empty()) error = at_place(place_(), what);
    return false;
}

// Something where the document's outer array has no place for it.
bool Entries::out_of_place() {
    switch (outer_) {
        case START: return fail("not a scan file: it does not start with \"[\"");
        case MAJOR:
        case MINOR: return fail("not a scan file: no format version");
        case METADATA: return fail("no metadata object");
        default: return fail("more than one root");
    }
}

bool Entries::value_out_of_place() {
    if (in_object_) return fail("\"" + key_text(key_) + "\" has a value of the wrong type");
    if (folders_.empty()) return out_of_place();
    return fail(folders_.back().has_info ? "an entry that is neither an object nor an array"
                                         : "a folder whose array does not start with its info object");
}

bool Entries::name_too_long() {
    const bool root = folders_.size() == 1 && !folders_.back().has_info;
    return fail(std::string(root ? "a root path" : "a name") + " longer than " +
                std::to_string(MAX_NAME_BYTES) + " bytes");
}

// A number outside every object: the format's version numbers, or a number out of place.
bool Entries::outer_number(std::uint64_t value) {
    if (folders_.empty() && outer_ == MAJOR) {
        if (value != 1) return fail("format version " + std::to_string(value) + ", not 1");
        outer_ = MINOR;
        return true;
    }
    if (folders_.empty() && outer_ == MINOR) {
        outer_ = METADATA;
        return true;
    }
    return scalar();
}

// An object inside an entry's object, or outside every folder.
bool Entries::object_elsewhere() {
    if (in_object_) return fail("\"" + key_text(key_) + "\" holds an object");
    return outer_ == ROOT ? fail("the root is not a folder") : out_of_place();
}

bool Entries::object_done() {
    if (!fields_.named) return fail("an entry without a name");
    Frame& frame = folders_.back();
    if (!frame.has_info) return folder_info(frame);
    return entry(frame.node);
}

// The outer array, the root's, or an array out of place.
bool Entries::array_elsewhere() {
    if (in_object_) return fail("\"" + key_text(key_) + "\" holds an array");
    if (folders_.empty()) {
        if (outer_ == START) {
            outer_ = MAJOR;
            return true;
        }
        if (outer_ != ROOT) return out_of_place();
    } else if (!folders_.back().has_info) {
        return fail("a folder whose array does not start with its info object");
    }
    folders_.push_back(Frame{NO_NODE, false});
    return true;
}

// The end of the root's array, of the outer one, or of a folder's array too soon.
bool Entries::array_end_elsewhere() {
    if (folders_.empty()) {
        if (outer_ != AFTER_ROOT) return fail("the document ends before its root");
        outer_ = DONE;
        return true;
    }
    if (!folders_.back().has_info) return fail("a folder without its info object");
    folders_.pop_back();
    if (folders_.empty()) outer_ = AFTER_ROOT;
    return true;
}

// A name that the tree can hold: one component, no NUL.
bool Entries::check_name(std::string_view name) {
    if (name.empty() || name == "." || name == "..")
        return fail("an entry named \"" + std::string(name) + "\"");
    if (name.find('/') != std::string_view::npos) return fail("a name holding \"/\"");
    if (name.find('\0') != std::string_view::npos) return fail("a name holding a NUL character");
    return true;
}

bool Entries::folder_info(Frame& frame) {
    frame.has_info = true;
    if (folders_.size() > 1 && fields_.excluded) {
        // ncdu 1 writes a folder it did not enter as a folder of no entries; whatever the array holds
        // besides is not read.
        folders_.pop_back();
        skipping_ = 1;
        return entry(folders_.back().node);
    }
    if (folders_.size() == 1) {
        if (fields_.name.find('\0') != std::string::npos) return fail("a name holding a NUL character");
        if (fields_.name.empty()) return fail("a root without a name");
        // The root path exactly as written; the tree shows its repaired form.
        tree = make_tree(fields_.name);
        tree->imported = true;
        tree->nodes[0].mtime = fields_.mtime;
        frame.node = 0;
    } else {
        if (!check_name(fields_.name)) return false;
        if (!append(folders_[folders_.size() - 2].node, FLAG_DIR, 0)) return false;
        frame.node = static_cast<NodeIndex>(tree->nodes.size() - 1);
    }
    ++progress_.folders;
    if (fields_.read_error) mark_unreadable(*tree, frame.node);
    return tick();
}

bool Entries::entry(NodeIndex folder) {
    if (!check_name(fields_.name)) return false;
    if (fields_.excluded) {
        // Another file system is a mount point, as the walk shows it; what a pattern or a kernel file
        // system kept out was never part of the scan.
        return !fields_.other_fs || append(folder, FLAG_DIR | FLAG_LINK, 0);
    }
    if (fields_.notreg) return append(folder, FLAG_LINK, 0) && tick();
    const std::uint64_t size = std::min(fields_.asize, fields_.dsize);
    if (!add_to_total(total_, size)) return fail(std::string(TOTAL_PAST_LIMIT));
    if (!append(folder, 0, size)) return false;
    progress_.bytes += size;
    return tick();
}

// The tree shows the name repaired to UTF-8 (U+FFFD for each invalid sequence) and keeps the bytes
// written aside, so that the scan written again names every entry as it was.
bool Entries::append(NodeIndex folder, std::uint8_t flags, std::uint64_t size) {
    if (fields_.name_is_utf8) {
        listed_.name.swap(fields_.name);
    } else {
        listed_.name = valid_utf8(fields_.name);
    }
    listed_.size = size;
    listed_.flags = flags;
    listed_.kind = (flags & FLAG_DIR) ? 0 : kind_of(listed_.name);
    listed_.mtime = fields_.mtime;
    if (append_listing(*tree, folder, std::span<const ListedEntry>(&listed_, 1)) != 1)
        return fail("more entries than a tree can hold");
    if (!fields_.name_is_utf8)
        tree->real_names.emplace(static_cast<NodeIndex>(tree->nodes.size() - 1), fields_.name);
    if (!(flags & FLAG_DIR)) ++progress_.files;
    return true;
}

bool Entries::progress_tick() {
    if (progress_.cancel) return false;
    if (entries_ % (PROGRESS_EVERY * 16) == 0) {
        std::string path = path_of(*tree, folders_.back().node);
        std::lock_guard hold(progress_.lock);
        progress_.current_path = std::move(path);
    }
    return true;
}

}  // namespace spadrim::ncdu_scan
