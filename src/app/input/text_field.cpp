// The text field's editing rules. See text_field.h.
#include "app/input/text_field.h"

#include <algorithm>
#include <cmath>

namespace spadrim {
namespace {

// Typing after this long a pause starts a new undo step.
constexpr auto PAUSE = std::chrono::milliseconds(1000);
// The steps kept: a field holds a query, not a document.
constexpr std::size_t MOST_STEPS = 100;

bool continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

std::size_t previous_point(std::string_view text, std::size_t at) {
    if (at == 0) return 0;
    --at;
    while (at > 0 && continuation(text[at]))
        --at;
    return at;
}

std::size_t next_point(std::string_view text, std::size_t at) {
    if (at >= text.size()) return text.size();
    ++at;
    while (at < text.size() && continuation(text[at]))
        ++at;
    return at;
}

// Words are runs of letters and digits (any non-ASCII code point counts as a letter) or runs of
// punctuation, so Ctrl+Backspace after "ext:iso" takes "iso", then ":", then "ext".
enum class Class : std::uint8_t {
    Space,
    Punctuation,
    Letter,
};

Class class_at(std::string_view text, std::size_t at) {
    const auto c = static_cast<unsigned char>(text[at]);
    if (c >= 0x80) return Class::Letter;
    if (c == ' ' || c == '\t') return Class::Space;
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_')
        return Class::Letter;
    return Class::Punctuation;
}

std::size_t word_left(std::string_view text, std::size_t at) {
    while (at > 0 && class_at(text, previous_point(text, at)) == Class::Space)
        at = previous_point(text, at);
    if (at == 0) return 0;
    const Class word = class_at(text, previous_point(text, at));
    while (at > 0 && class_at(text, previous_point(text, at)) == word)
        at = previous_point(text, at);
    return at;
}

std::size_t word_right(std::string_view text, std::size_t at) {
    if (at < text.size() && class_at(text, at) != Class::Space) {
        const Class word = class_at(text, at);
        while (at < text.size() && class_at(text, at) == word)
            at = next_point(text, at);
    }
    while (at < text.size() && class_at(text, at) == Class::Space)
        at = next_point(text, at);
    return at;
}

std::size_t selection_start(const TextField& field) {
    return std::min(field.caret, field.anchor);
}
std::size_t selection_end(const TextField& field) {
    return std::max(field.caret, field.anchor);
}

FieldState state_of(const TextField& field) {
    return FieldState{field.text, field.caret, field.anchor};
}

void restore(TextField& field, FieldState state) {
    field.text = std::move(state.text);
    field.caret = std::min(state.caret, field.text.size());
    field.anchor = std::min(state.anchor, field.text.size());
}

// Records the state before an edit as an undo step; anything undone so far can no longer be redone.
void begin_step(TextField& field, FieldEdit edit) {
    field.undo.push_back(state_of(field));
    if (field.undo.size() > MOST_STEPS) field.undo.erase(field.undo.begin());
    field.redo.clear();
    field.last = edit;
}

// Takes out [from, to) and puts the caret there.
void erase(TextField& field, std::size_t from, std::size_t to) {
    field.text.erase(from, to - from);
    field.caret = field.anchor = from;
}

FieldChange move_to(TextField& field, std::size_t to, bool extend) {
    const FieldState before = state_of(field);
    field.caret = to;
    if (!extend) field.anchor = to;
    field.last = FieldEdit::None;
    return state_of(field) == before ? FieldChange::Nothing : FieldChange::Caret;
}

// Backspace and Delete: the selection when there is one, else from the caret to `to`.
FieldChange erase_towards(TextField& field, std::size_t to, bool word) {
    std::size_t from = selection_start(field);
    std::size_t end = selection_end(field);
    if (from == end) {
        from = std::min(field.caret, to);
        end = std::max(field.caret, to);
    }
    if (from == end) return FieldChange::Nothing;
    const bool joins = !word && field.last == FieldEdit::Erasing && field.caret == field.anchor;
    if (!joins) begin_step(field, word ? FieldEdit::None : FieldEdit::Erasing);
    erase(field, from, end);
    return FieldChange::Text;
}

FieldChange step_back(TextField& field, std::vector<FieldState>& from, std::vector<FieldState>& to) {
    if (from.empty()) return FieldChange::Nothing;
    to.push_back(state_of(field));
    restore(field, std::move(from.back()));
    from.pop_back();
    field.last = FieldEdit::None;
    return FieldChange::Text;
}

}  // namespace

FieldChange insert_text(TextField& field, std::string_view typed, std::chrono::steady_clock::time_point now) {
    if (typed.empty() && field.caret == field.anchor) return FieldChange::Nothing;
    const bool selection = field.caret != field.anchor;
    const bool new_word = field.caret > 0 && !typed.empty() &&
                          class_at(field.text, previous_point(field.text, field.caret)) == Class::Space &&
                          class_at(typed, 0) != Class::Space;
    const bool joins =
        field.last == FieldEdit::Typing && !selection && !new_word && now - field.last_time < PAUSE;
    if (!joins) begin_step(field, FieldEdit::Typing);
    field.last = FieldEdit::Typing;
    field.last_time = now;
    erase(field, selection_start(field), selection_end(field));
    field.text.insert(field.caret, typed);
    field.caret = field.anchor = field.caret + typed.size();
    return FieldChange::Text;
}

FieldChange field_key(TextField& field, FieldKey key, bool word, bool extend) {
    const std::string_view text = field.text;
    const bool selection = field.caret != field.anchor;
    switch (key) {
        case FieldKey::Left:
            // Left on a selection collapses it to its start, as Windows' edit controls do.
            if (selection && !extend) return move_to(field, selection_start(field), false);
            return move_to(field, word ? word_left(text, field.caret) : previous_point(text, field.caret),
                           extend);
        case FieldKey::Right:
            if (selection && !extend) return move_to(field, selection_end(field), false);
            return move_to(field, word ? word_right(text, field.caret) : next_point(text, field.caret),
                           extend);
        case FieldKey::Home: return move_to(field, 0, extend);
        case FieldKey::End: return move_to(field, text.size(), extend);
        case FieldKey::Backspace:
            return erase_towards(
                field, word ? word_left(text, field.caret) : previous_point(text, field.caret), word);
        case FieldKey::Delete:
            return erase_towards(field, word ? word_right(text, field.caret) : next_point(text, field.caret),
                                 word);
        case FieldKey::SelectAll: {
            const FieldState before = state_of(field);
            field.anchor = 0;
            field.caret = text.size();
            field.last = FieldEdit::None;
            return state_of(field) == before ? FieldChange::Nothing : FieldChange::Caret;
        }
        case FieldKey::Undo: return step_back(field, field.undo, field.redo);
        case FieldKey::Redo: return step_back(field, field.redo, field.undo);
    }
    return FieldChange::Nothing;
}

std::string selected_text(const TextField& field) {
    return field.text.substr(selection_start(field), selection_end(field) - selection_start(field));
}

FieldChange cut_selection(TextField& field) {
    if (field.caret == field.anchor) return FieldChange::Nothing;
    begin_step(field, FieldEdit::None);
    erase(field, selection_start(field), selection_end(field));
    return FieldChange::Text;
}

FieldChange set_field_text(TextField& field, std::string_view text) {
    if (field.text == text) return move_to(field, text.size(), false);
    begin_step(field, FieldEdit::None);
    field.text = std::string(text);
    field.caret = field.anchor = field.text.size();
    return FieldChange::Text;
}

FieldChange place_caret(TextField& field, std::size_t offset, bool extend) {
    offset = std::min(offset, field.text.size());
    while (offset > 0 && offset < field.text.size() && continuation(field.text[offset]))
        --offset;
    return move_to(field, offset, extend);
}

std::string shown_text(const TextField& field) {
    std::string shown = field.text;
    shown.insert(std::min(field.caret, shown.size()), field.composition);
    return shown;
}

std::size_t offset_at(std::string_view text, float x, const std::function<float(std::string_view)>& width) {
    std::size_t best = 0;
    float best_distance = std::abs(x);
    for (std::size_t at = 0; at < text.size();) {
        at = next_point(text, at);
        const float distance = std::abs(width(text.substr(0, at)) - x);
        if (distance < best_distance) {
            best = at;
            best_distance = distance;
        }
    }
    return best;
}

}  // namespace spadrim
