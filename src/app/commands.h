// What the user asks for besides pointing and scrolling: the header buttons, shortcuts and menus. Input
// handlers only name the command; the window runs it once the handler is done, because commands open
// menus, dialogs and message boxes whose modal loops dispatch messages of their own.
#pragma once

#include <cstdint>

#include "scan/tree.h"

namespace spadrim {

enum class CommandKind : std::uint8_t {
    ChooseFolder = 0,
    AnalyzeAgain = 1,
    EmptyRecycleBin = 2,
    ShowMenu = 3,  // at a client point
    OpenItem = 4,  // a node
    CopyPath = 5,
    RecycleItem = 6,
    UpdateChecked = 7,  // the updater's workers left an outcome
    DownloadEnded = 8,
    ItemMenu = 9,  // a node, at a client point
    OpenScanFile = 10,
    CopyFieldText = 11,  // the search field's selection to the clipboard
    CutFieldText = 12,
    PasteIntoField = 13,
};

struct Command {
    CommandKind kind;
    NodeIndex node = NO_NODE;
    float x = 0;
    float y = 0;
    bool operator==(const Command&) const = default;
};

}  // namespace spadrim
