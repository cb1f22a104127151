// A reader's actions, done as the clicks they stand for. See access.h.
#include "app/access/access.h"

namespace spadrim {

Reaction act_on(App& app, const Surface& surface, const ElementKey& key, Act act, std::string_view value) {
    const ScreenDescription screen = describe(app, view_input(app, surface));
    const std::uint32_t found = find_element(screen, key);
    if (found == NO_ELEMENT) return {};
    const Element& element = screen.elements[found];
    if (element.states & DISABLED) return {};
    const HitTarget target = element.target;
    // Header buttons are pressed at their bottom left corner, where the main menu opens below the
    // button; everything else at its centre.
    const bool header = key.piece == Piece::HeaderButton;
    const float x = header ? element.box.x : element.box.x + element.box.width / 2;
    const float y = header ? element.box.y + element.box.height : element.box.y + element.box.height / 2;
    const bool expandable = (element.abilities & CAN_EXPAND) != 0;
    const bool expanded = (element.states & EXPANDED) != 0;
    switch (act) {
        case Act::Invoke:
            if (!(element.abilities & CAN_INVOKE)) return {};
            // A row of a node or a tile opens, as its double-click does; a set row opens or closes.
            if ((key.piece == Piece::Row && !expandable && row_node(app, target.payload) != NO_NODE) ||
                key.piece == Piece::Tile)
                return double_click(app, surface, target, x, y);
            return click(app, surface, target, x, y);
        case Act::Select:
            if (!(element.abilities & CAN_SELECT) || (element.states & SELECTED)) return {};
            return click(app, surface, target, x, y);
        case Act::Expand:
            if (!expandable || expanded) return {};
            return click(app, surface, target, x, y);
        case Act::Collapse:
            if (!expandable || !expanded) return {};
            return click(app, surface, target, x, y);
        case Act::Menu:
            if (key.piece != Piece::Row && key.piece != Piece::Tile) return {};
            return right_click(app, target, x, y);
        case Act::SetValue:
            if (!(element.abilities & CAN_EDIT)) return {};
            return search_edited(app, surface, set_field_text(app.search, value));
    }
    return {};
}

}  // namespace spadrim
