// From a scan file's JSON values to the tree. Internal to the readers of scan files.
//
// A JSON reader, whichever it is, tells Entries each value as it comes (a folder's array or an entry's
// object beginning and ending, a key, a string, a number, a literal), and Entries keeps the rules: which
// keys are read and what their values may be, one small frame per open folder, each entry appended to
// the tree when its object closes, the bounds on names, sizes and counts, and the texts of the errors
// about what the document says. read.cpp feeds it from its own scanner; the tests hold that to a reader
// built on a JSON library that feeds it too.
//
// The events are called for every value of the document, so they are defined here to be inlined into
// the reader's loop; what happens once per entry or once per error is in entries.cpp.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kinds/times.h"
#include "ncdu/ncdu.h"

namespace spadrim::ncdu_scan {

// The longest name, or root path, an entry may have, in bytes: 32 KiB is far beyond any file system's
// and far below what the tree's name pool holds.
inline constexpr std::size_t MAX_NAME_BYTES = 32 * 1024;
// No token is read without bound. A string's escapes take at most six bytes per byte they stand for, so
// a string past this many bytes between its quotes is longer than any name may be, whatever it holds; a
// number has no reason to be longer than a few dozen digits (counted from the last delimiter, as a run
// of bytes that are neither blanks, quotes nor structure).
inline constexpr std::size_t MAX_STRING_TOKEN = 6 * MAX_NAME_BYTES;
inline constexpr std::size_t MAX_NUMBER_TOKEN = 1024;

// A place in the document, counted in its text repaired to UTF-8; lines from 1.
struct Place {
    std::uint64_t line;
    std::uint64_t column;
};

// "line L, column C: what".
std::string at_place(Place place, std::string_view what);

// What is wrong with a token past its bound: a string's or a number's.
std::string too_long_error(bool string);

// The keys read; any other is skipped with its value.
enum class Key : std::uint8_t {
    NAME,
    ASIZE,
    DSIZE,
    NOTREG,
    READ_ERROR,
    EXCLUDED,
    MTIME,
    OTHER
};

inline Key key_of(std::string_view name) {
    switch (name.size()) {
        case 4: return name == "name" ? Key::NAME : Key::OTHER;
        case 5:
            return name == "asize"   ? Key::ASIZE
                   : name == "dsize" ? Key::DSIZE
                   : name == "mtime" ? Key::MTIME
                                     : Key::OTHER;
        case 6: return name == "notreg" ? Key::NOTREG : Key::OTHER;
        case 8: return name == "excluded" ? Key::EXCLUDED : Key::OTHER;
        case 10: return name == "read_error" ? Key::READ_ERROR : Key::OTHER;
        default: return Key::OTHER;
    }
}

// What one object says about its entry; a missing size is 0, as ncdu leaves zeros out.
struct Fields {
    std::string name;  // exactly as written
    bool name_is_utf8 = true;
    bool named = false;
    std::uint64_t asize = 0;
    std::uint64_t dsize = 0;
    bool notreg = false;
    bool read_error = false;
    bool excluded = false;
    bool other_fs = false;    // excluded as another file system
    std::uint32_t mtime = 0;  // as Node::mtime: 0 where ncdu left it out (it writes it with -e)

    // Empty again, keeping the name's buffer.
    void reset() {
        name.clear();
        name_is_utf8 = true;
        named = notreg = read_error = excluded = other_fs = false;
        asize = dsize = 0;
        mtime = 0;
    }
};

// Each event returns false to stop the reading: an error (kept in `error`) or a cancel.
class Entries {
  public:
    // `place` says where the reader stands, for the errors about what a value says.
    Entries(ScanProgress& progress, std::function<Place()> place)
        : progress_(progress), place_(std::move(place)) {}

    std::optional<FileTree> tree;
    std::string error;
    std::int64_t timestamp = 0;  // the metadata's, when it has one

    bool null() { return scalar(); }
    bool boolean(bool value) {
        if (skipping_ != 0) return true;
        if (in_object_ && key_ == Key::NOTREG) {
            fields_.notreg = value;
            return true;
        }
        if (in_object_ && key_ == Key::READ_ERROR) {
            fields_.read_error = value;
            return true;
        }
        return scalar();
    }
    bool number_integer(std::int64_t value) {
        if (at_timestamp()) {
            timestamp = std::max<std::int64_t>(value, 0);
            return true;
        }
        if (skipping_ == 0 && in_object_ && (key_ == Key::ASIZE || key_ == Key::DSIZE))
            return fail("a size below zero");
        if (skipping_ == 0 && in_object_ && key_ == Key::MTIME) {  // before 1970: kept as the earliest
            fields_.mtime = mtime_from_unix(value);
            return true;
        }
        if (value < 0) return scalar();
        return number_unsigned(static_cast<std::uint64_t>(value));
    }
    bool number_unsigned(std::uint64_t value) {
        if (at_timestamp()) {
            timestamp = static_cast<std::int64_t>(std::min<std::uint64_t>(value, INT64_MAX));
            return true;
        }
        if (skipping_ != 0) return true;
        if (in_object_ && key_ == Key::ASIZE) {
            fields_.asize = value;
            return true;
        }
        if (in_object_ && key_ == Key::DSIZE) {
            fields_.dsize = value;
            return true;
        }
        if (in_object_ && key_ == Key::MTIME) {
            fields_.mtime =
                mtime_from_unix(static_cast<std::int64_t>(std::min<std::uint64_t>(value, INT64_MAX)));
            return true;
        }
        if (in_object_) return scalar();
        return outer_number(value);
    }
    bool number_float(double value) {
        if (skipping_ == 0 && in_object_ && (key_ == Key::ASIZE || key_ == Key::DSIZE))
            return fail("a size that is not a whole number of bytes below 2^64");
        if (skipping_ == 0 && in_object_ && key_ == Key::MTIME) {
            // A time past 2^64 or with a fraction is still a time: clamped and cut to the second.
            fields_.mtime = value < 1                     ? 1
                            : value >= double(UINT32_MAX) ? UINT32_MAX
                                                          : mtime_from_unix(static_cast<std::int64_t>(value));
            return true;
        }
        return scalar();
    }
    // A name takes the string's buffer. `repaired_size` is its length with each sequence that is not
    // UTF-8 counted as U+FFFD, the length the bound on names is for.
    bool string(std::string& value, bool is_utf8, std::uint64_t repaired_size) {
        if (skipping_ != 0) return true;
        if (in_object_ && key_ == Key::NAME) {
            if (repaired_size > MAX_NAME_BYTES) return name_too_long();
            fields_.name.swap(value);
            fields_.name_is_utf8 = is_utf8;
            fields_.named = true;
            return true;
        }
        if (in_object_ && key_ == Key::EXCLUDED) {
            fields_.excluded = !value.empty();
            fields_.other_fs = value == "otherfs" || value == "othfs";  // ncdu 2, 1
            return true;
        }
        return scalar();
    }

    bool start_object() {
        if (skipping_ != 0 || (in_object_ && key_ == Key::OTHER) ||
            (outer_ == METADATA && folders_.empty())) {
            ++skipping_;
            return true;
        }
        if (in_object_ || folders_.empty()) return object_elsewhere();
        in_object_ = true;
        key_ = Key::OTHER;
        fields_.reset();
        return true;
    }
    bool key(std::string_view name) {
        if (skipping_ != 0) {
            // Of the metadata only its own "timestamp" is read: when the scan was made.
            timestamp_next_ = skipping_ == 1 && outer_ == METADATA && folders_.empty() && name == "timestamp";
            return true;
        }
        key_ = key_of(name);
        return true;
    }
    bool end_object() {
        if (skipping_ != 0) {
            if (--skipping_ == 0 && outer_ == METADATA && folders_.empty()) outer_ = ROOT;
            return true;
        }
        in_object_ = false;
        return object_done();
    }
    bool start_array() {
        if (skipping_ != 0 || (in_object_ && key_ == Key::OTHER)) {
            ++skipping_;
            return true;
        }
        if (in_object_ || folders_.empty() || !folders_.back().has_info) return array_elsewhere();
        folders_.push_back(Frame{NO_NODE, false});
        return true;
    }
    bool end_array() {
        if (skipping_ != 0) {
            --skipping_;
            return true;
        }
        if (folders_.size() <= 1 || !folders_.back().has_info) return array_end_elsewhere();
        folders_.pop_back();
        return true;
    }

    // A syntax error, or another error already told in full.
    bool parse_error(std::string text) {
        if (error.empty()) error = std::move(text);
        return false;
    }

    // After the document's end, when the reader found it whole: the tree rolled up, or why there is none.
    ImportOutcome outcome(bool parsed);

  private:
    enum Outer : std::uint8_t {
        START,
        MAJOR,
        MINOR,
        METADATA,
        ROOT,
        AFTER_ROOT,
        DONE
    };
    struct Frame {
        NodeIndex node;
        bool has_info;
    };

    bool fail(const std::string& what);
    bool out_of_place();
    bool value_out_of_place();
    bool name_too_long();
    // The events' less common cases: what the outer array holds, values out of place, an entry done.
    bool outer_number(std::uint64_t value);
    bool object_elsewhere();
    bool object_done();
    bool array_elsewhere();
    bool array_end_elsewhere();
    bool check_name(std::string_view name);
    bool folder_info(Frame& frame);
    bool entry(NodeIndex folder);
    bool append(NodeIndex folder, std::uint8_t flags, std::uint64_t size);
    bool progress_tick();

    // A value that is neither an object nor an array, where none of the keys read holds it: skipped with
    // an unknown key's value or the metadata, refused anywhere else.
    bool scalar() {
        if (skipping_ != 0 || (in_object_ && key_ == Key::OTHER)) return true;
        return value_out_of_place();
    }

    // Whether the value coming is the metadata's timestamp (taken once: a later key ends it).
    bool at_timestamp() {
        const bool at = timestamp_next_ && skipping_ == 1;
        timestamp_next_ = false;
        return at;
    }

    static constexpr std::uint64_t PROGRESS_EVERY = 4096;

    // One more entry; the progress and the cancel are looked at every PROGRESS_EVERY of them.
    bool tick() { return ++entries_ % PROGRESS_EVERY != 0 || progress_tick(); }

    ScanProgress& progress_;
    std::function<Place()> place_;
    std::vector<Frame> folders_;  // the open folders, the root first
    Outer outer_ = START;
    std::size_t skipping_ = 0;  // depth inside values that are not read (metadata, unknown keys)
    bool timestamp_next_ = false;
    bool in_object_ = false;
    Key key_ = Key::OTHER;
    Fields fields_;
    ListedEntry listed_;
    std::uint64_t entries_ = 0;
    std::uint64_t total_ = 0;  // of the sizes counted so far
};

}  // namespace spadrim::ncdu_scan
