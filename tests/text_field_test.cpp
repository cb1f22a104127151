// The search field's editing rules, as sequences of typing and keys from an empty field.
#include <gtest/gtest.h>

#include "app/input/text_field.h"

namespace spadrim {
namespace {

using namespace std::chrono_literals;

// One thing done to the field: text typed at a time in ms, or a key.
struct Step {
    std::string typed;
    std::optional<FieldKey> key;
    bool word = false;
    bool extend = false;
    int ms = 0;
};

Step type(std::string text, int ms = 0) {
    return Step{std::move(text), std::nullopt, false, false, ms};
}
Step key(FieldKey k, bool word = false, bool extend = false) {
    return Step{{}, k, word, extend, 0};
}
// Typing a character at a time, as WM_CHAR brings it.
std::vector<Step> typing(std::string_view text) {
    std::vector<Step> steps;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = at + 1;
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            ++end;
        steps.push_back(type(std::string(text.substr(at, end - at))));
        at = end;
    }
    return steps;
}
std::vector<Step> operator+(std::vector<Step> a, const std::vector<Step>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(TextField, KeySequences) {
    using K = FieldKey;
    struct Case {
        const char* what;
        std::vector<Step> steps;
        std::string text;
        std::size_t caret;
        std::size_t anchor;
    };
    const std::vector<Case> cases = {
        {"Ctrl+Backspace takes the last word", typing("hello world") + std::vector{key(K::Backspace, true)},
         "hello ", 6, 6},
        {"then the space and the word before it",
         typing("hello world") + std::vector{key(K::Backspace, true), key(K::Backspace, true)}, "", 0, 0},
        {"punctuation is a word of its own",
         {type("ext:iso"), key(K::Backspace, true), key(K::Backspace, true)},
         "ext",
         3,
         3},
        {"Ctrl+Delete takes the word and the spaces after it",
         {type("foo  bar"), key(K::Home), key(K::Delete, true)},
         "bar",
         0,
         0},
        {"Backspace takes a whole code point", {type("한글"), key(K::Backspace)}, "한", 3, 3},
        {"Left and Delete step over a code point",
         {type("a한b"), key(K::Left), key(K::Left), key(K::Delete)},
         "ab",
         1,
         1},
        {"Ctrl+Left goes to the start of the word",
         {type("size:>1GB 한국어"), key(K::Left, true), key(K::Left, true)},
         "size:>1GB 한국어",
         6,
         6},
        {"Ctrl+Right goes past the word and its spaces",
         {type("ab  cd"), key(K::Home), key(K::Right, true)},
         "ab  cd",
         4,
         4},
        {"Shift+Home selects to the start; typing replaces the selection",
         {type("abc"), key(K::Left), key(K::Home, false, true), type("x")},
         "xc",
         1,
         1},
        {"Shift+Left extends, Left then collapses to the selection's start",
         {type("abcd"), key(K::Left, false, true), key(K::Left, false, true), key(K::Left)},
         "abcd",
         2,
         2},
        {"Backspace takes the selection only",
         {type("abcd"), key(K::Left, true, true), key(K::Backspace)},
         "",
         0,
         0},
        {"Ctrl+A selects everything", {type("abc"), key(K::Home), key(K::SelectAll)}, "abc", 3, 0},
        {"typing is undone a word at a time", typing("hello world") + std::vector{key(K::Undo)}, "hello ", 6,
         6},
        {"and redone", typing("hello world") + std::vector{key(K::Undo), key(K::Undo), key(K::Redo)},
         "hello ", 6, 6},
        {"a pause starts a new step",
         {type("ab", 0), type("c", 100), type("d", 1500), key(K::Undo)},
         "abc",
         3,
         3},
        {"a caret move starts a new step", {type("ab"), key(K::Left), type("x"), key(K::Undo)}, "ab", 1, 1},
        {"erasing is undone as one step",
         typing("abc") + std::vector{key(K::Backspace), key(K::Backspace), key(K::Undo)}, "abc", 3, 3},
        {"an edit after undo drops the redo", {type("a"), key(K::Undo), type("b"), key(K::Redo)}, "b", 1, 1},
        {"nothing to undo", {key(K::Undo), key(K::Backspace), key(K::Delete, true)}, "", 0, 0},
    };
    for (const Case& c : cases) {
        TextField field;
        const auto start = std::chrono::steady_clock::time_point{} + 1h;
        for (const Step& step : c.steps) {
            if (step.key) {
                field_key(field, *step.key, step.word, step.extend);
            } else {
                insert_text(field, step.typed, start + std::chrono::milliseconds(step.ms));
            }
        }
        EXPECT_EQ(field.text, c.text) << c.what;
        EXPECT_EQ(field.caret, c.caret) << c.what;
        EXPECT_EQ(field.anchor, c.anchor) << c.what;
    }
}

TEST(TextField, ClipboardCompositionAndPointing) {
    TextField field;
    insert_text(field, "one two");
    EXPECT_EQ(field_key(field, FieldKey::Left, true, true), FieldChange::Caret);
    EXPECT_EQ(selected_text(field), "two");
    EXPECT_EQ(cut_selection(field), FieldChange::Text);
    EXPECT_EQ(field.text, "one ");
    EXPECT_EQ(cut_selection(field), FieldChange::Nothing);  // nothing selected
    field_key(field, FieldKey::Undo, false, false);
    EXPECT_EQ(field.text, "one two");

    // A composition is shown at the caret but is not the field's text.
    place_caret(field, 4, false);
    field.composition = "한";
    EXPECT_EQ(shown_text(field), "one 한two");
    EXPECT_EQ(field.text, "one two");

    EXPECT_EQ(set_field_text(field, "a한"), FieldChange::Text);
    EXPECT_EQ(field.caret, 4u);
    place_caret(field, 2, false);  // inside 한: back to its start
    EXPECT_EQ(field.caret, 1u);
    EXPECT_EQ(field_key(field, FieldKey::Home, false, false), FieldChange::Caret);
    EXPECT_EQ(field_key(field, FieldKey::Home, false, false), FieldChange::Nothing);

    // 10 pixels per code point: a click nearer a boundary puts the caret there.
    const auto width = [](std::string_view text) {
        float points = 0;
        for (const char c : text)
            points += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        return 10 * points;
    };
    EXPECT_EQ(offset_at("a한b", 14, width), 1u);
    EXPECT_EQ(offset_at("a한b", 16, width), 4u);
    EXPECT_EQ(offset_at("a한b", 99, width), 5u);
    EXPECT_EQ(offset_at("a한b", -5, width), 0u);
}

}  // namespace
}  // namespace spadrim
