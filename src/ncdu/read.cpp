// Reading ncdu's JSON export. See ncdu.h.
//
// Scanner (scanner.h) hands out the tokens; parse() follows JSON's grammar with an explicit stack, as
// a strict JSON reader does, and tells Reader each value as it comes. Reader keeps one small frame per
// open folder and appends each entry to the tree when its object closes. Syntax errors read as the
// JSON library's own, so a damaged file is reported the same whichever reader met it.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "kinds/kinds.h"
#include "kinds/times.h"
#include "ncdu/ncdu.h"
#include "ncdu/scanner.h"
#include "ncdu/zfile.h"
#include "scan/classify.h"
#include "scan/totals.h"
#include "strings/utf.h"

namespace spadrim {
namespace {

using ncdu_scan::MAX_NAME_BYTES;
using ncdu_scan::MAX_NUMBER_TOKEN;
using ncdu_scan::Place;
using ncdu_scan::Scanner;
using ncdu_scan::Token;

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

Key key_of(std::string_view name) {
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

constexpr std::uint64_t PROGRESS_EVERY = 4096;

std::string at_place(Place place, std::string_view what) {
    return "line " + std::to_string(place.line) + ", column " + std::to_string(place.column) + ": " +
           std::string(what);
}

class Reader {
  public:
    Reader(const Scanner& scanner, ScanProgress& progress) : scanner_(scanner), progress_(progress) {}

    std::optional<FileTree> tree;
    std::string error;
    std::int64_t timestamp = 0;  // the metadata's, when it has one

    // The document ended as it should (the parser checks the syntax; this, the shape).
    bool finished() {
        if (error.empty() && (!tree || outer_ != DONE)) return fail("the document ends before its root");
        return error.empty();
    }

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
    // The string is the scanner's: a name takes its buffer.
    bool string(std::string& value, bool is_utf8, std::uint64_t repaired_size) {
        if (skipping_ != 0) return true;
        if (in_object_ && key_ == Key::NAME) {
            if (repaired_size > MAX_NAME_BYTES) {
                const bool root = folders_.size() == 1 && !folders_.back().has_info;
                return fail(std::string(root ? "a root path" : "a name") + " longer than " +
                            std::to_string(MAX_NAME_BYTES) + " bytes");
            }
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
        if (in_object_) return fail("\"" + key_text() + "\" holds an object");
        if (folders_.empty()) return outer_ == ROOT ? fail("the root is not a folder") : out_of_place();
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
        if (!fields_.named) return fail("an entry without a name");
        Frame& frame = folders_.back();
        if (!frame.has_info) return folder_info(frame);
        return entry(frame.node);
    }
    bool start_array() {
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
    bool end_array() {
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

    // A syntax error, or another error already told in full.
    bool parse_error(std::string text) {
        if (error.empty()) error = std::move(text);
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
        if (error.empty()) error = at_place(scanner_.pulled_place(), what);
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
        if (folders_.size() > 1 && fields_.excluded) {
            // ncdu 1 writes a folder it did not enter as a folder of no entries; whatever the array
            // holds besides is not read.
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

    bool entry(NodeIndex folder) {
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
    bool append(NodeIndex folder, std::uint8_t flags, std::uint64_t size) {
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

    const Scanner& scanner_;
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

// How a strict JSON reader names a token in its errors.
const char* token_name(Token token) {
    switch (token) {
        case Token::UNINITIALIZED: return "<uninitialized>";
        case Token::TRUE_LITERAL: return "true literal";
        case Token::FALSE_LITERAL: return "false literal";
        case Token::NULL_LITERAL: return "null literal";
        case Token::STRING: return "string literal";
        case Token::UNSIGNED:
        case Token::INTEGER:
        case Token::FLOAT: return "number literal";
        case Token::BEGIN_ARRAY: return "'['";
        case Token::BEGIN_OBJECT: return "'{'";
        case Token::END_ARRAY: return "']'";
        case Token::END_OBJECT: return "'}'";
        case Token::NAME_SEPARATOR: return "':'";
        case Token::VALUE_SEPARATOR: return "','";
        case Token::PARSE_ERROR: return "<parse error>";
        case Token::END_OF_INPUT: return "end of input";
        case Token::LITERAL_OR_VALUE: return "'[', '{', or a literal";
        default: return "unknown token";
    }
}

// The document's grammar, told to the reader value by value; false when it stopped (an error, a token
// past its bound, or the reader's own stop).
class Parser {
  public:
    Parser(Scanner& scanner, Reader& reader) : scanner_(scanner), reader_(reader) {}

    bool too_long = false;  // stopped at a token past its bound

    bool parse() {
        token_ = scanner_.start();
        too_long = token_ == Token::TOO_LONG;
        if (!value_loop()) return false;
        if (next() != Token::END_OF_INPUT) return syntax_error(Token::END_OF_INPUT, "value");
        return true;
    }

  private:
    Token next() {
        token_ = scanner_.next();
        if (token_ == Token::TOO_LONG) too_long = true;
        return token_;
    }

    bool syntax_error(Token expected, const char* context) {
        if (token_ == Token::TOO_LONG) return false;
        std::string text = "syntax error while parsing ";
        text += context;
        text += " - ";
        if (token_ == Token::PARSE_ERROR) {
            text += scanner_.message;
        } else {
            text += "unexpected ";
            text += token_name(token_);
        }
        if (expected != Token::UNINITIALIZED) {
            text += "; expected ";
            text += token_name(expected);
        }
        return reader_.parse_error(at_place(scanner_.place(), text));
    }

    // After a key: the separator, then the value's first token.
    bool separator() {
        if (next() != Token::NAME_SEPARATOR) return syntax_error(Token::NAME_SEPARATOR, "object separator");
        next();
        return true;
    }

    bool value_loop() {
        std::vector<bool> arrays;  // the open values: true for an array, false for an object
        bool value_done = false;
        for (;;) {
            if (!value_done) {
                switch (token_) {
                    case Token::BEGIN_OBJECT:
                        if (!reader_.start_object()) return false;
                        if (next() == Token::END_OBJECT) {
                            if (!reader_.end_object()) return false;
                            break;
                        }
                        if (token_ != Token::STRING) return syntax_error(Token::STRING, "object key");
                        if (!reader_.key(scanner_.text)) return false;
                        if (!separator()) return false;
                        arrays.push_back(false);
                        continue;
                    case Token::BEGIN_ARRAY:
                        if (!reader_.start_array()) return false;
                        if (next() == Token::END_ARRAY) {
                            if (!reader_.end_array()) return false;
                            break;
                        }
                        arrays.push_back(true);
                        continue;
                    case Token::FLOAT: {
                        const double value = scanner_.float_value();
                        if (!std::isfinite(value))
                            return reader_.parse_error(
                                "[json.exception.out_of_range.406] number overflow parsing '" +
                                scanner_.number + "'");
                        if (!reader_.number_float(value)) return false;
                        break;
                    }
                    case Token::FALSE_LITERAL:
                        if (!reader_.boolean(false)) return false;
                        break;
                    case Token::NULL_LITERAL:
                        if (!reader_.null()) return false;
                        break;
                    case Token::TRUE_LITERAL:
                        if (!reader_.boolean(true)) return false;
                        break;
                    case Token::INTEGER:
                        if (!reader_.number_integer(scanner_.integer_value)) return false;
                        break;
                    case Token::STRING:
                        if (!reader_.string(scanner_.text, scanner_.text_is_utf8, scanner_.text_repaired))
                            return false;
                        break;
                    case Token::UNSIGNED:
                        if (!reader_.number_unsigned(scanner_.unsigned_value)) return false;
                        break;
                    case Token::PARSE_ERROR: return syntax_error(Token::UNINITIALIZED, "value");
                    default: return syntax_error(Token::LITERAL_OR_VALUE, "value");
                }
            }
            value_done = false;
            if (arrays.empty()) return true;
            if (arrays.back()) {
                if (next() == Token::VALUE_SEPARATOR) {
                    next();
                    continue;
                }
                if (token_ != Token::END_ARRAY) return syntax_error(Token::END_ARRAY, "array");
                if (!reader_.end_array()) return false;
                arrays.pop_back();
                value_done = true;
                continue;
            }
            if (next() == Token::VALUE_SEPARATOR) {
                if (next() != Token::STRING) return syntax_error(Token::STRING, "object key");
                if (!reader_.key(scanner_.text)) return false;
                if (!separator()) return false;
                continue;
            }
            if (token_ != Token::END_OBJECT) return syntax_error(Token::END_OBJECT, "object");
            if (!reader_.end_object()) return false;
            arrays.pop_back();
            value_done = true;
        }
    }

    Scanner& scanner_;
    Reader& reader_;
    Token token_ = Token::UNINITIALIZED;
};

}  // namespace

ImportOutcome read_ncdu(const PullBytes& pull, ScanProgress& progress) {
    Scanner scanner(pull);
    Reader reader(scanner, progress);
    Parser parser(scanner, reader);
    const bool parsed = parser.parse();
    ImportOutcome outcome;
    if (progress.cancel) return outcome;
    if (scanner.read_failed()) {
        outcome.error = "the file could not be read to its end";
        return outcome;
    }
    if (parser.too_long) {
        // Whatever came before, the token past its bound is what was wrong.
        const bool string = std::string_view(scanner.message) == "string";
        outcome.error =
            at_place(scanner.pulled_place(),
                     string ? "a string longer than " + std::to_string(MAX_NAME_BYTES) + " bytes"
                            : "a number longer than " + std::to_string(MAX_NUMBER_TOKEN) + " characters");
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

ImportOutcome read_ncdu_file(const std::string& path, ScanProgress& progress) {
    const ZFile file = path == "-" ? open_stdin_for_reading() : open_for_reading(path);
    if (!file) return ImportOutcome{std::nullopt, "could not be opened"};
    return read_ncdu([&](std::span<char> into) { return read_bytes(file, into); }, progress);
}

}  // namespace spadrim
