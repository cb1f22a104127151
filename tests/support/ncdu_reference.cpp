// The scan-file reader built on the JSON library's parser, kept as the reference the tests and the fuzz
// target hold the import's scanner and grammar to. See ncdu_reference.h.
//
// The bytes reach the JSON library through Feed, a buffer that repairs them to UTF-8 on the way
// (the library refuses anything else, and ncdu writes names as the file system gave them), cuts the
// input at the first token past its bound (the library keeps each token whole) and knows where in the
// document the parser is, for errors. Sax hands the library's values on to the same Entries that
// read_ncdu feeds, which makes the tree: what this reference checks is the scanner and the grammar.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <nlohmann/json.hpp>
#include <vector>

#include "ncdu/entries.h"
#include "strings/utf.h"
#include "support/ncdu_reference.h"

namespace spadrim {
namespace {

using ncdu_scan::MAX_NUMBER_TOKEN;
using ncdu_scan::MAX_STRING_TOKEN;

constexpr std::size_t CHUNK = 256 * 1024;

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
    ncdu_scan::Place position() const {
        const std::string_view seen(out_.data(), static_cast<std::size_t>(at_ - out_.data()));
        std::uint64_t line = lines_ + static_cast<std::uint64_t>(std::count(seen.begin(), seen.end(), '\n'));
        const std::size_t newline = seen.rfind('\n');
        const std::uint64_t column =
            newline == std::string_view::npos ? column_ + seen.size() : seen.size() - newline - 1;
        return ncdu_scan::Place{line + 1, std::max<std::uint64_t>(column, 1)};
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
        too_long_ = ncdu_scan::too_long_error(in_string_);
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

// The library's values, handed on as they come. Its strings were repaired to UTF-8 by the feed.
class Sax : public nlohmann::json_sax<nlohmann::json> {
  public:
    explicit Sax(ncdu_scan::Entries& entries) : entries_(entries) {}

    bool null() override { return entries_.null(); }
    bool boolean(bool value) override { return entries_.boolean(value); }
    bool number_integer(number_integer_t value) override { return entries_.number_integer(value); }
    bool number_unsigned(number_unsigned_t value) override { return entries_.number_unsigned(value); }
    bool number_float(number_float_t value, const string_t&) override { return entries_.number_float(value); }
    bool string(string_t& value) override { return entries_.string(value, true, value.size()); }
    bool binary(binary_t&) override { return entries_.null(); }  // not in JSON text: a value out of place
    bool start_object(std::size_t) override { return entries_.start_object(); }
    bool key(string_t& name) override { return entries_.key(name); }
    bool end_object() override { return entries_.end_object(); }
    bool start_array(std::size_t) override { return entries_.start_array(); }
    bool end_array() override { return entries_.end_array(); }

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& problem) override {
        if (!entries_.error.empty()) return false;  // ours came first; the library only saw the stop
        // "[json.exception.parse_error.101] parse error at line 3, column 7: syntax error ...": from "line".
        std::string text = problem.what();
        const std::size_t at = text.find("line ");
        return entries_.parse_error(at == std::string::npos ? text : text.substr(at));
    }

  private:
    ncdu_scan::Entries& entries_;
};

}  // namespace

ImportOutcome read_ncdu_reference(const PullBytes& pull, ScanProgress& progress) {
    Feed feed(pull);
    ncdu_scan::Entries entries(progress, [&feed] { return feed.position(); });
    Sax sax(entries);
    const bool parsed = nlohmann::json::sax_parse(Feed::Iterator(&feed), Feed::Iterator(nullptr), &sax,
                                                  nlohmann::json::input_format_t::json, true);
    if (progress.cancel) return {};
    if (feed.read_failed()) return ImportOutcome{std::nullopt, "the file could not be read to its end"};
    // Whatever the parser made of the cut input, the cut is what was wrong.
    if (const std::string_view too_long = feed.too_long(); !too_long.empty())
        return ImportOutcome{std::nullopt, ncdu_scan::at_place(feed.position(), too_long)};
    return entries.outcome(parsed);
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
