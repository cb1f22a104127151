// A one-line text field as a record: its UTF-8 text, the caret and the selection's other end, an input
// method's composition not yet committed, and the undo history. Pure functions edit it, so what every
// key does is tested without a window; the window only decodes keys and characters and draws the result.
//
// Offsets are bytes into the text and always lie on code-point boundaries.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace spadrim {

// The text with its caret and selection, as an undo step restores it.
struct FieldState {
    std::string text;
    std::size_t caret = 0;
    std::size_t anchor = 0;
    bool operator==(const FieldState&) const = default;
};

// What the last edit was, to fold runs of typing into one undo step.
enum class FieldEdit : std::uint8_t {
    None,
    Typing,
    Erasing,
};

struct TextField {
    std::string text;
    std::size_t caret = 0;
    std::size_t anchor = 0;   // the selection runs between anchor and caret; none when they are equal
    std::string composition;  // an input method's text at the caret, not yet part of `text`
    std::vector<FieldState> undo;
    std::vector<FieldState> redo;
    FieldEdit last = FieldEdit::None;
    std::chrono::steady_clock::time_point last_time{};
};

// The keys the field acts on. With `word`, Left, Right, Backspace and Delete go by words; with `extend`,
// Left, Right, Home and End move the caret and keep the anchor, extending the selection.
enum class FieldKey : std::uint8_t {
    Left,
    Right,
    Home,
    End,
    Backspace,
    Delete,
    SelectAll,
    Undo,
    Redo,
};

// What an edit changed: nothing, the caret or selection only, or the text.
enum class FieldChange : std::uint8_t {
    Nothing,
    Caret,
    Text,
};

// Typing (or pasting) `typed` in place of the selection. Typing right after typing joins the same undo
// step, unless it starts a new word or comes after a pause.
FieldChange insert_text(TextField& field, std::string_view typed,
                        std::chrono::steady_clock::time_point now = {});
FieldChange field_key(TextField& field, FieldKey key, bool word, bool extend);
// The selected text (for Copy), and Cut: the selection taken out, as one undo step.
std::string selected_text(const TextField& field);
FieldChange cut_selection(TextField& field);
// Replaces the whole text, as one undo step, with the caret at its end (a reader's SetValue, Esc).
FieldChange set_field_text(TextField& field, std::string_view text);
// Places the caret at `offset` (moved back to a code-point boundary), extending the selection or not.
FieldChange place_caret(TextField& field, std::size_t offset, bool extend);

// The text as drawn: the composition shown at the caret. Its span in the shown text is [caret, caret +
// composition.size()).
std::string shown_text(const TextField& field);

// The offset in `text` whose left edge lies nearest to x, with `width` measuring a prefix of the text.
std::size_t offset_at(std::string_view text, float x, const std::function<float(std::string_view)>& width);

}  // namespace spadrim
