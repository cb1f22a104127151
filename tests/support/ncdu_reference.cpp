// The scan-file reader as it was before Spadrim read scan files with its own scanner, kept as the
// reference the tests and the fuzz target hold the import to. See ncdu_reference.h.
//
// The bytes reach the JSON library through Feed, a buffer that repairs them to UTF-8 on the way
// (the library refuses anything else, and ncdu writes names as the file system gave them) and knows
// where in the document the parser is, for errors. Reader, the SAX handler, keeps one small frame per
// open folder and appends each entry to the tree when its object closes.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <nlohmann/json.hpp>
#include <vector>

#include "kinds/kinds.h"
#include "kinds/times.h"
#include "scan/classify.h"
#include "scan/totals.h"
#include "strings/utf.h"
#include "support/ncdu_reference.h"

namespace spadrim {
namespace {

constexpr std::size_t CHUNK = 256 * 1024;

// The longest name, or root path, an entry may have, in bytes: 32 KiB is far beyond any file system's
// and far below what the tree's name pool holds.
constexpr std::size_t MAX_NAME_BYTES = 32 * 1024;
// The parser keeps each token whole, so no token may grow without bound. A string's escapes take at
// most six bytes per byte they stand for, so a string past this many bytes between its quotes is longer
// than any name may be, whatever it holds; a number has no reason to be longer than a few dozen digits.
constexpr std::size_t MAX_STRING_TOKEN = 6 * MAX_NAME_BYTES;
constexpr std::size_t MAX_NUMBER_TOKEN = 1024;

class Feed {
  public:
    explicit Feed(const PullBytes& pull) : pull_(pull) {
        in_.resize(CHUNK + 4);
        out_.reserve(3 * (CHUNK + 4));
    }

    bool read_failed() const { return read_failed_; }

    // When a token passed its bound and the parser read up to where the input was cut for it: what was
    // too long (the cut is then at position()). Empty otherwise, or when the parser stopped before.
    std::string_view too_long() const { return at_ == end_ ? too_long_ : std::string_view(); }

    // Where the parser is: the line and column (from 1) of the byte it read last, in the repaired text.
    std::pair<std::uint64_t, std::uint64_t> position() const {
        const std::string_view seen(out_.data(), static_cast<std::size_t>(at_ - out_.data()));
        std::uint64_t line = lines_ + static_cast<std::uint64_t>(std::count(seen.begin(), seen.end(), '\n'));
        const std::size_t newline = seen.rfind('\n');
        const std::uint64_t column =
            newline == std::string_view::npos ? column_ + seen.size() : seen.size() - newline - 1;
        return {line + 1, std::max<std::uint64_t>(column, 1)};
    }

    // The parser reads through this: a pointer into the repaired chunk, refilled when it runs out. The
    // library's adapter for iterators costs less per byte than the one for streams.
    class Iterator {
      public:
        using iterator_category = std::input_iterator_tag;
        using value_type = char;
        using difference_type = std::ptrdiff_t;
        using pointer = const char*;
        using reference = const char&;

        explicit Iterator(Feed* feed) : feed_(feed) {}
        reference operator*() const { return *feed_->at_; }
        Iterator& operator++() {
            ++feed_->at_;
            return *this;
        }
        // Only ever compared with the end, which has no feed: equal once the input is used up.
        bool operator==(const Iterator&) const { return feed_->at_ == feed_->end_ && !feed_->refill(); }
        bool operator!=(const Iterator& other) const { return !(*this == other); }

      private:
        Feed* feed_;
    };

  private:
    // The next repaired chunk; false at the end of the input.
    bool refill() {
        account(std::string_view(out_.data(), out_.size()));
        out_.clear();
        while (out_.empty()) {
            if (ended_ && carried_ == 0) break;
            std::size_t got = 0;
            if (!ended_) {
                const std::optional<std::size_t> n = pull_(std::span<char>(in_.data() + carried_, CHUNK));
                if (!n) read_failed_ = true;
                got = n.value_or(0);
                if (got == 0) ended_ = true;
            }
            repair(carried_ + got);
        }
        bound_tokens();
        at_ = out_.data();
        end_ = out_.data() + out_.size();
        return !out_.empty();
    }

    // Copies in_[0, size) to out_ as valid UTF-8; a sequence cut by the end of the chunk waits for the
    // next one, unless the input has ended.
    void repair(std::size_t size) {
        const std::string_view bytes(in_.data(), size);
        std::size_t i = 0;
        while (i < size) {
            const std::size_t ascii = i;
            // Eight bytes at a time while none has its high bit: nearly all of a scan file.
            for (std::uint64_t word = 0; i + 8 <= size; i += 8) {
                std::memcpy(&word, bytes.data() + i, 8);
                if (word & 0x8080808080808080u) break;
            }
            while (i < size && static_cast<unsigned char>(bytes[i]) < 0x80)
                ++i;
            out_.append(bytes.substr(ascii, i - ascii));
            if (i == size) break;
            const unsigned char lead = static_cast<unsigned char>(bytes[i]);
            const std::size_t wanted = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
            if (!ended_ && size - i < wanted) break;
            const CodePoint point = code_point_at(bytes, i);
            out_.append(point.valid ? bytes.substr(i, point.length) : std::string_view("\xEF\xBF\xBD"));
            i += point.length;
        }
        carried_ = size - i;
        std::copy(in_.begin() + static_cast<std::ptrdiff_t>(i),
                  in_.begin() + static_cast<std::ptrdiff_t>(size), in_.begin());
    }

    // Follows the tokens through the repaired chunk and, at the first byte of one past its bound, cuts
    // the input short there, so the parser never holds more of it. Strings are crossed a quote or a
    // backslash at a time.
    void bound_tokens() {
        const char* const data = out_.data();
        const std::size_t size = out_.size();
        std::size_t i = 0;
        while (i < size) {
            if (in_string_) {
                if (escaped_) {
                    escaped_ = false;
                } else {
                    const void* quote = std::memchr(data + i, '"', size - i);
                    const std::size_t end =
                        quote ? static_cast<std::size_t>(static_cast<const char*>(quote) - data) : size;
                    const void* backslash = std::memchr(data + i, '\\', end - i);
                    const std::size_t stop =
                        backslash ? static_cast<std::size_t>(static_cast<const char*>(backslash) - data)
                                  : end;
                    if (token_ + (stop - i) > MAX_STRING_TOKEN) return cut(i + (MAX_STRING_TOKEN - token_));
                    token_ += stop - i;
                    i = stop;
                    if (i == size) break;
                    if (data[i] == '"') {
                        in_string_ = false;
                        token_ = 0;
                        ++i;
                        continue;
                    }
                    escaped_ = true;
                }
                if (++token_ > MAX_STRING_TOKEN) return cut(i);
                ++i;
                continue;
            }
            switch (data[i]) {
                case '"': in_string_ = true; [[fallthrough]];
                case ' ':
                case '\t':
                case '\n':
                case '\r':
                case '[':
                case ']':
                case '{':
                case '}':
                case ',':
                case ':': token_ = 0; break;
                default:
                    if (++token_ > MAX_NUMBER_TOKEN) return cut(i);
            }
            ++i;
        }
    }

    // Ends the input just after byte `last` of the chunk, the first past a token's bound.
    void cut(std::size_t last) {
        out_.resize(last + 1);
        ended_ = true;
        carried_ = 0;
        too_long_ = in_string_ ? "a string longer than " + std::to_string(MAX_NAME_BYTES) + " bytes"
                               : "a number longer than " + std::to_string(MAX_NUMBER_TOKEN) + " characters";
    }

    void account(std::string_view done) {
        const auto newlines = static_cast<std::uint64_t>(std::count(done.begin(), done.end(), '\n'));
        lines_ += newlines;
        const std::size_t last = done.rfind('\n');
        column_ = last == std::string_view::npos ? column_ + done.size() : done.size() - last - 1;
    }

    const PullBytes& pull_;
    std::vector<char> in_;
    std::string out_;
    const char* at_ = out_.data();
    const char* end_ = out_.data();
    std::size_t carried_ = 0;
    bool ended_ = false;
    bool read_failed_ = false;
    std::uint64_t lines_ = 0;   // newlines before out_
    std::uint64_t column_ = 0;  // bytes after the last of them, before out_
    bool in_string_ = false;    // where bound_tokens stands
    bool escaped_ = false;
    std::size_t token_ = 0;  // bytes of the token so far: between a string's quotes, or of a number
    std::string too_long_;
};

// The keys read; any other is skipped with its value. KEY_NAMES spells them in this order.
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
constexpr std::string_view KEY_NAMES[] = {"name",       "asize",    "dsize", "notreg",
                                          "read_error", "excluded", "mtime"};

// What one object says about its entry; a missing size is 0, as ncdu leaves zeros out.
struct Fields {
    std::string name;
    bool named = false;
    std::uint64_t asize = 0;
    std::uint64_t dsize = 0;
    bool notreg = false;
    bool read_error = false;
    std::string excluded;
    std::uint32_t mtime = 0;  // as Node::mtime: 0 where ncdu left it out (it writes it with -e)

    // Empty again, keeping the strings' buffers.
    void reset() {
        name.clear();
        excluded.clear();
        named = notreg = read_error = false;
        asize = dsize = 0;
        mtime = 0;
    }
};

constexpr std::uint64_t PROGRESS_EVERY = 4096;

class Reader : public nlohmann::json_sax<nlohmann::json> {
  public:
    Reader(const Feed& feed, ScanProgress& progress) : feed_(feed), progress_(progress) {}

    std::optional<FileTree> tree;
    std::string error;
    std::int64_t timestamp = 0;  // the metadata's, when it has one

    // The document ended as it should (the library checks the syntax; this, the shape).
    bool finished() {
        if (error.empty() && (!tree || outer_ != DONE)) return fail("the document ends before its root");
        return error.empty();
    }

    bool null() override { return scalar(); }
    bool boolean(bool value) override {
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
    bool number_integer(number_integer_t value) override {
        if (at_timestamp()) {
            timestamp = std::max<number_integer_t>(value, 0);
            return true;
        }
        if (skipping_ == 0 && in_object_ && (key_ == Key::ASIZE || key_ == Key::DSIZE))
            return fail("a size below zero");
        if (skipping_ == 0 && in_object_ && key_ == Key::MTIME) {  // before 1970: kept as the earliest
            fields_.mtime = mtime_from_unix(value);
            return true;
        }
        if (value < 0) return scalar();
        return number_unsigned(static_cast<number_unsigned_t>(value));
    }
    bool number_unsigned(number_unsigned_t value) override {
        if (at_timestamp()) {
            timestamp = static_cast<std::int64_t>(std::min<number_unsigned_t>(value, INT64_MAX));
            return true;
        }
        if (skipping_ != 0) return true;
        if (in_object_ && key_ == Key::ASIZE) return size_field(fields_.asize, value);
        if (in_object_ && key_ == Key::DSIZE) return size_field(fields_.dsize, value);
        if (in_object_ && key_ == Key::MTIME) {
            fields_.mtime = mtime_from_unix(static_cast<std::int64_t>(
                std::min<number_unsigned_t>(value, static_cast<number_unsigned_t>(INT64_MAX))));
            return true;
        }
        if (!in_object_ && folders_.empty() && outer_ == MAJOR) {
            if (value != 1) return fail("format version " + std::to_string(value) + ", not 1");
            outer_ = MINOR;
            return true;
        }
        if (!in_object_ && folders_.empty() && outer_ == MINOR) {
            outer_ = METADATA;
            return true;
        }
        return scalar();
    }
    bool number_float(number_float_t value, const string_t&) override {
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
    bool string(string_t& value) override {
        if (skipping_ != 0) return true;
        if (in_object_ && key_ == Key::NAME) {
            if (value.size() > MAX_NAME_BYTES) {
                const bool root = folders_.size() == 1 && !folders_.back().has_info;
                return fail(std::string(root ? "a root path" : "a name") + " longer than " +
                            std::to_string(MAX_NAME_BYTES) + " bytes");
            }
            fields_.name.swap(value);  // the library gives its buffer up to the handler
            fields_.named = true;
            return true;
        }
        if (in_object_ && key_ == Key::EXCLUDED) {
            fields_.excluded = value;
            return true;
        }
        return scalar();
    }
    bool binary(binary_t&) override { return scalar(); }

    bool start_object(std::size_t) override {
        if (skipping_ != 0 || (in_object_ && key_ == Key::OTHER) ||
            (outer_ == METADATA && folders_.empty())) {
            ++skipping_;
            return true;
        }
        if (in_object_) return fail("\"" + key_text() + "\" holds an object");
        if (folders_.empty()) return outer_ == ROOT ? fail("the root is not a folder") : out_of_place();
        in_object_ = true;
        key_ = Key::OTHER;
        fields_.reset();
        return true;
    }
    bool key(string_t& name) override {
        if (skipping_ != 0) {
            // Of the metadata only its own "timestamp" is read: when the scan was made.
            timestamp_next_ = skipping_ == 1 && outer_ == METADATA && folders_.empty() && name == "timestamp";
            return true;
        }
        const auto* found = std::find(std::begin(KEY_NAMES), std::end(KEY_NAMES), name);
        key_ = static_cast<Key>(found - std::begin(KEY_NAMES));  // past the end: OTHER
        return true;
    }
    bool end_object() override {
        if (skipping_ != 0) {
            if (--skipping_ == 0 && outer_ == METADATA && folders_.empty()) outer_ = ROOT;
            return true;
        }
        in_object_ = false;
        if (!fields_.named) return fail("an entry without a name");
        Frame& frame = folders_.back();
        if (!frame.has_info) return folder_info(frame);
        return entry(frame.node);
    }
    bool start_array(std::size_t) override {
        if (skipping_ != 0 || (in_object_ && key_ == Key::OTHER)) {
            ++skipping_;
            return true;
        }
        if (in_object_) return fail("\"" + key_text() + "\" holds an array");
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
    bool end_array() override {
        if (skipping_ != 0) {
            --skipping_;
            return true;
        }
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

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& problem) override {
        if (!error.empty()) return false;  // ours came first; the library only saw the stop
        // "[json.exception.parse_error.101] parse error at line 3, column 7: syntax error ...": from "line".
        std::string text = problem.what();
        const std::size_t at = text.find("line ");
        error = at == std::string::npos ? text : text.substr(at);
        return false;
    }

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

    bool fail(const std::string& what) {
        if (error.empty()) {
            const auto [line, column] = feed_.position();
            error = "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + what;
        }
        return false;
    }

    // Something where the document's outer array has no place for it.
    bool out_of_place() {
        switch (outer_) {
            case START: return fail("not a scan file: it does not start with \"[\"");
            case MAJOR:
            case MINOR: return fail("not a scan file: no format version");
            case METADATA: return fail("no metadata object");
            default: return fail("more than one root");
        }
    }

    bool scalar() {
        if (skipping_ != 0 || (in_object_ && key_ == Key::OTHER)) return true;
        if (in_object_) return fail("\"" + key_text() + "\" has a value of the wrong type");
        if (folders_.empty()) return out_of_place();
        return fail(folders_.back().has_info ? "an entry that is neither an object nor an array"
                                             : "a folder whose array does not start with its info object");
    }

    // Whether the value coming is the metadata's timestamp (taken once: a later key ends it).
    bool at_timestamp() {
        const bool at = timestamp_next_ && skipping_ == 1;
        timestamp_next_ = false;
        return at;
    }

    // Only asked for the keys read: OTHER's values are skipped, never refused.
    std::string key_text() const { return std::string(KEY_NAMES[static_cast<std::size_t>(key_)]); }

    bool size_field(std::uint64_t& into, std::uint64_t value) {
        into = value;
        return true;
    }

    // A name that the tree can hold: one component, no NUL.
    bool check_name(std::string_view name) {
        if (name.empty() || name == "." || name == "..")
            return fail("an entry named \"" + std::string(name) + "\"");
        if (name.find('/') != std::string_view::npos) return fail("a name holding \"/\"");
        if (name.find('\0') != std::string_view::npos) return fail("a name holding a NUL character");
        return true;
    }

    bool folder_info(Frame& frame) {
        frame.has_info = true;
        if (folders_.size() > 1 && !fields_.excluded.empty()) {
            // ncdu 1 writes a folder it did not enter as a folder of no entries; whatever the array
            // holds besides is not read.
            folders_.pop_back();
            skipping_ = 1;
            return entry(folders_.back().node);
        }
        if (folders_.size() == 1) {
            if (fields_.name.find('\0') != std::string::npos) return fail("a name holding a NUL character");
            if (fields_.name.empty()) return fail("a root without a name");
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

    bool entry(NodeIndex folder) {
        if (!check_name(fields_.name)) return false;
        if (!fields_.excluded.empty()) {
            // Another file system is a mount point, as the walk shows it; what a pattern or a kernel file
            // system kept out was never part of the scan.
            const bool other_fs = fields_.excluded == "otherfs" || fields_.excluded == "othfs";  // ncdu 2, 1
            return !other_fs || append(folder, FLAG_DIR | FLAG_LINK, 0);
        }
        if (fields_.notreg) return append(folder, FLAG_LINK, 0) && tick();
        const std::uint64_t size = std::min(fields_.asize, fields_.dsize);
        if (!add_to_total(total_, size)) return fail(std::string(TOTAL_PAST_LIMIT));
        if (!append(folder, 0, size)) return false;
        progress_.bytes += size;
        return tick();
    }

    bool append(NodeIndex folder, std::uint8_t flags, std::uint64_t size) {
        listed_.name.swap(fields_.name);
        listed_.size = size;
        listed_.flags = flags;
        listed_.kind = (flags & FLAG_DIR) ? 0 : kind_of(listed_.name);
        listed_.mtime = fields_.mtime;
        if (append_listing(*tree, folder, std::span<const ListedEntry>(&listed_, 1)) != 1)
            return fail("more entries than a tree can hold");
        if (!(flags & FLAG_DIR)) ++progress_.files;
        return true;
    }

    bool tick() {
        if (++entries_ % PROGRESS_EVERY != 0) return true;
        if (progress_.cancel) return false;
        if (entries_ % (PROGRESS_EVERY * 16) == 0) {
            std::string path = path_of(*tree, folders_.back().node);
            std::lock_guard hold(progress_.lock);
            progress_.current_path = std::move(path);
        }
        return true;
    }

    const Feed& feed_;
    ScanProgress& progress_;
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

}  // namespace

ImportOutcome read_ncdu_reference(const PullBytes& pull, ScanProgress& progress) {
    Feed feed(pull);
    Reader reader(feed, progress);
    const bool parsed = nlohmann::json::sax_parse(Feed::Iterator(&feed), Feed::Iterator(nullptr), &reader,
                                                  nlohmann::json::input_format_t::json, true);
    ImportOutcome outcome;
    if (progress.cancel) return outcome;
    if (feed.read_failed()) {
        outcome.error = "the file could not be read to its end";
        return outcome;
    }
    if (const std::string_view too_long = feed.too_long(); !too_long.empty()) {
        // Whatever the parser made of the cut input, the cut is what was wrong.
        const auto [line, column] = feed.position();
        outcome.error = "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " +
                        std::string(too_long);
        return outcome;
    }
    if (!parsed || !reader.finished()) {
        outcome.error = reader.error.empty() ? "not a scan file" : reader.error;
        return outcome;
    }
    roll_up(*reader.tree);
    reader.tree->when = reader.timestamp;
    outcome.tree = std::move(reader.tree);
    outcome.timestamp = reader.timestamp;
    return outcome;
}

namespace {

PullBytes pull_in_steps(std::string_view text, std::size_t step) {
    return [text, step, at = std::size_t{0}](std::span<char> into) mutable -> std::optional<std::size_t> {
        const std::size_t n = std::min({step, into.size(), text.size() - at});
        std::copy_n(text.data() + at, n, into.data());
        at += n;
        return n;
    };
}

// The library quotes its token buffer in syntax errors: whatever it read since the last string or
// number began, which a scanner that keeps no such buffer cannot repeat.
std::string without_last_read(std::string error) {
    const std::size_t from = error.find("; last read: '");
    if (from == std::string::npos) return error;
    // The token may hold anything, "'; expected" too: the end is told by what can follow it.
    std::size_t to = error.size() - 1;
    for (const std::string_view expected : {"string literal", "':'", "']'", "'}'", "end of input"}) {
        const std::string tail = "'; expected " + std::string(expected);
        if (error.ends_with(tail)) to = error.size() - tail.size();
    }
    return error.erase(from, to + 1 - from);
}

std::string node_difference(const FileTree& got, const FileTree& want, NodeIndex i) {
    const Node& a = node_at(got, i);
    const Node& b = node_at(want, i);
    const std::string at = "node " + std::to_string(i) + " (\"" + std::string(name_of(want, i)) + "\"): ";
    if (name_of(got, i) != name_of(want, i)) return at + "named \"" + std::string(name_of(got, i)) + "\"";
    if (a.size != b.size) return at + "size " + std::to_string(a.size) + ", not " + std::to_string(b.size);
    if (a.flags != b.flags)
        return at + "flags " + std::to_string(a.flags) + ", not " + std::to_string(b.flags);
    if (a.file_count != b.file_count) return at + "file count " + std::to_string(a.file_count);
    if (a.mtime != b.mtime)
        return at + "mtime " + std::to_string(a.mtime) + ", not " + std::to_string(b.mtime);
    if (a.kind != b.kind) return at + "kind " + std::to_string(a.kind);
    if (a.parent != b.parent || a.first_child != b.first_child || a.next_sibling != b.next_sibling)
        return at + "linked elsewhere";
    return {};
}

}  // namespace

std::string reading_difference(std::string_view document, std::size_t step) {
    ScanProgress progress;
    ScanProgress reference_progress;
    const ImportOutcome got = read_ncdu(pull_in_steps(document, step), progress);
    const ImportOutcome want = read_ncdu_reference(pull_in_steps(document, step), reference_progress);
    if (got.tree.has_value() != want.tree.has_value() || got.error != without_last_read(want.error))
        return "read_ncdu: " + (got.tree ? std::string("a tree") : "\"" + got.error + "\"") +
               "; the reference: " + (want.tree ? std::string("a tree") : "\"" + want.error + "\"");
    if (progress.files != reference_progress.files || progress.folders != reference_progress.folders ||
        progress.bytes != reference_progress.bytes)
        return "progress differs";
    if (!got.tree) return {};
    const FileTree& a = *got.tree;
    const FileTree& b = *want.tree;
    if (valid_utf8(a.root_path) != b.root_path) return "root path \"" + a.root_path + "\"";
    if (a.nodes.size() != b.nodes.size())
        return std::to_string(a.nodes.size()) + " nodes, not " + std::to_string(b.nodes.size());
    if (a.unreadable_folders != b.unreadable_folders || a.imported != b.imported || a.when != b.when ||
        got.timestamp != want.timestamp)
        return "the tree's own fields differ";
    for (NodeIndex i = 0; i < a.nodes.size(); ++i)
        if (std::string difference = node_difference(a, b, i); !difference.empty()) return difference;
    for (const auto& [index, exact] : a.real_names)
        if (index == 0 || index >= a.nodes.size() || is_valid_utf8(exact) ||
            valid_utf8(exact) != name_of(a, index))
            return "node " + std::to_string(index) + " keeps exact bytes that do not match its shown name";
    return {};
}

}  // namespace spadrim
