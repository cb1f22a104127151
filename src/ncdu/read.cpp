// Reading ncdu's JSON export. See ncdu.h.
//
// Scanner (scanner.h) hands out the tokens; parse() follows JSON's grammar with an explicit stack, as
// a strict JSON reader does, and tells Entries (entries.h) each value as it comes, which makes the tree
// of them. Syntax errors read as the JSON library's own, so a damaged file is reported the same
// whichever reader met it.
#include <cmath>
#include <string>
#include <vector>

#include "ncdu/entries.h"
#include "ncdu/ncdu.h"
#include "ncdu/scanner.h"
#include "ncdu/zfile.h"

namespace spadrim {
namespace {

using ncdu_scan::at_place;
using ncdu_scan::Entries;
using ncdu_scan::Scanner;
using ncdu_scan::Token;

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

// The document's grammar, told to Entries value by value; false when it stopped (an error, a token past
// its bound, or a stop of Entries' own).
class Parser {
  public:
    Parser(Scanner& scanner, Entries& entries) : scanner_(scanner), entries_(entries) {}

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
        return entries_.parse_error(at_place(scanner_.place(), text));
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
                        if (!entries_.start_object()) return false;
                        if (next() == Token::END_OBJECT) {
                            if (!entries_.end_object()) return false;
                            break;
                        }
                        if (token_ != Token::STRING) return syntax_error(Token::STRING, "object key");
                        if (!entries_.key(scanner_.text)) return false;
                        if (!separator()) return false;
                        arrays.push_back(false);
                        continue;
                    case Token::BEGIN_ARRAY:
                        if (!entries_.start_array()) return false;
                        if (next() == Token::END_ARRAY) {
                            if (!entries_.end_array()) return false;
                            break;
                        }
                        arrays.push_back(true);
                        continue;
                    case Token::FLOAT: {
                        const double value = scanner_.float_value();
                        if (!std::isfinite(value))
                            return entries_.parse_error(
                                "[json.exception.out_of_range.406] number overflow parsing '" +
                                scanner_.number + "'");
                        if (!entries_.number_float(value)) return false;
                        break;
                    }
                    case Token::FALSE_LITERAL:
                        if (!entries_.boolean(false)) return false;
                        break;
                    case Token::NULL_LITERAL:
                        if (!entries_.null()) return false;
                        break;
                    case Token::TRUE_LITERAL:
                        if (!entries_.boolean(true)) return false;
                        break;
                    case Token::INTEGER:
                        if (!entries_.number_integer(scanner_.integer_value)) return false;
                        break;
                    case Token::STRING:
                        if (!entries_.string(scanner_.text, scanner_.text_is_utf8, scanner_.text_repaired))
                            return false;
                        break;
                    case Token::UNSIGNED:
                        if (!entries_.number_unsigned(scanner_.unsigned_value)) return false;
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
                if (!entries_.end_array()) return false;
                arrays.pop_back();
                value_done = true;
                continue;
            }
            if (next() == Token::VALUE_SEPARATOR) {
                if (next() != Token::STRING) return syntax_error(Token::STRING, "object key");
                if (!entries_.key(scanner_.text)) return false;
                if (!separator()) return false;
                continue;
            }
            if (token_ != Token::END_OBJECT) return syntax_error(Token::END_OBJECT, "object");
            if (!entries_.end_object()) return false;
            arrays.pop_back();
            value_done = true;
        }
    }

    Scanner& scanner_;
    Entries& entries_;
    Token token_ = Token::UNINITIALIZED;
};

}  // namespace

ImportOutcome read_ncdu(const PullBytes& pull, ScanProgress& progress) {
    Scanner scanner(pull);
    Entries entries(progress, [&scanner] { return scanner.pulled_place(); });
    Parser parser(scanner, entries);
    const bool parsed = parser.parse();
    if (progress.cancel) return {};
    if (scanner.read_failed()) return ImportOutcome{std::nullopt, "the file could not be read to its end"};
    if (parser.too_long) {
        // Whatever came before, the token past its bound is what was wrong.
        const bool string = std::string_view(scanner.message) == "string";
        return ImportOutcome{std::nullopt,
                             at_place(scanner.pulled_place(), ncdu_scan::too_long_error(string))};
    }
    return entries.outcome(parsed);
}

ImportOutcome read_ncdu_file(const std::string& path, ScanProgress& progress) {
    const ZFile file = path == "-" ? open_stdin_for_reading() : open_for_reading(path);
    if (!file) return ImportOutcome{std::nullopt, "could not be opened"};
    return read_ncdu([&](std::span<char> into) { return read_bytes(file, into); }, progress);
}

}  // namespace spadrim
