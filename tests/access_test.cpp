// What a screen reader is told: the elements of each screen, their states and links, what changed, and
// the actions done through them, on a window of 1000 × 700 pixels at 96 DPI.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/access/access.h"
#include "kinds/times.h"
#include "scan/folder.h"

namespace spadrim {
namespace {

float fake_measure(std::string_view text, TextStyle) {
    return static_cast<float>(text.size()) * 7.0f;
}

// /r holds "many" (40 files of 100 bytes), "deep/er/x.bin" of 7 bytes and a.txt of 50 bytes; a.txt and
// f00 are videos, the rest documents.
struct Fixture {
    App app;
    std::vector<TreemapRect> tiles;
    Surface surface{1000, 700, 1, &tiles, fake_measure};

    Fixture() {
        app.tree = make_tree("/r");
        FileTree& tree = *app.tree;
        append_listing(tree, 0,
                       std::vector<ListedEntry>{
                           {"many", 0, FLAG_DIR, 0}, {"deep", 0, FLAG_DIR, 0}, {"a.txt", 50, 0, 1}});
        std::vector<ListedEntry> files;
        for (int i = 0; i < 40; ++i)
            files.push_back(ListedEntry{(i < 10 ? "f0" : "f") + std::to_string(i), 100, 0,
                                        static_cast<std::uint8_t>(i == 0 ? 1 : 3)});
        append_listing(tree, 1, files);
        append_listing(tree, 2, std::vector<ListedEntry>{{"er", 0, FLAG_DIR, 0}});
        append_listing(tree, static_cast<NodeIndex>(tree.nodes.size() - 1),
                       std::vector<ListedEntry>{{"x.bin", 7, 0, 3}});
        roll_up(tree);
        app.screen = Screen::Results;
        refresh_view(app);
        lay_out();
    }

    // The treemap of the current folder, as the window caches it.
    void lay_out() {
        tiles.clear();
        const Box area = treemap_box(view_input(app, surface));
        layout_treemap(*app.tree, app.current_folder, RectD{area.x, area.y, area.width, area.height}, 0, 18,
                       2, tiles);
    }

    ScreenDescription screen() const { return describe(app, view_input(app, surface)); }
};

// Every element but the window has a parent that lists it among its children, in order, and the
// sibling links run both ways.
void expect_linked(const ScreenDescription& screen) {
    ASSERT_FALSE(screen.elements.empty());
    EXPECT_EQ(screen.elements[0].parent, NO_ELEMENT);
    std::size_t reached = 1;
    for (std::uint32_t i = 0; i < screen.elements.size(); ++i) {
        const Element& parent = screen.elements[i];
        std::uint32_t before = NO_ELEMENT;
        for (std::uint32_t c = parent.first_child; c != NO_ELEMENT; c = screen.elements[c].next) {
            ASSERT_LT(c, screen.elements.size());
            EXPECT_EQ(screen.elements[c].parent, i);
            EXPECT_EQ(screen.elements[c].previous, before);
            EXPECT_GT(c, i) << "a child comes after its parent";
            before = c;
            ++reached;
        }
        EXPECT_EQ(parent.last_child, before);
    }
    EXPECT_EQ(reached, screen.elements.size()) << "every element is reachable from the window";
}

const Element& named(const ScreenDescription& screen, std::string_view name) {
    const auto found = std::find_if(screen.elements.begin(), screen.elements.end(),
                                    [&](const Element& e) { return e.name == name; });
    if (found == screen.elements.end()) {
        ADD_FAILURE() << "no element named \"" << name << '"';
        return screen.elements.front();
    }
    return *found;
}

std::vector<std::string> children_names(const ScreenDescription& screen, std::uint32_t parent) {
    std::vector<std::string> names;
    for (std::uint32_t c = screen.elements[parent].first_child; c != NO_ELEMENT; c = screen.elements[c].next)
        names.push_back(screen.elements[c].name);
    return names;
}

std::uint32_t index_of(const ScreenDescription& screen, Piece piece, std::uint64_t item = 0) {
    for (std::uint32_t i = 0; i < screen.elements.size(); ++i) {
        if (screen.elements[i].key.piece == piece && screen.elements[i].key.item == item) return i;
    }
    return NO_ELEMENT;
}

TEST(AccessScreens, TheHomeScreenNamesItsCardsAndButtons) {
    App app;
    app.drives = {DriveInfo{"C:\\", "", 252'000'000'000, 73'400'000'000}, DriveInfo{"D:\\", "Games", 0, 0}};
    app.recycle_bin_bytes = 0;
    const ScreenDescription screen =
        describe(app, view_input(app, Surface{1000, 700, 1, nullptr, fake_measure}));
    expect_linked(screen);
    EXPECT_EQ(
        children_names(screen, 0),
        (std::vector<std::string>{"Menu", "What is taking up your disk space?",
                                  "Pick a drive or folder and the biggest things show up first. Nothing "
                                  "leaves this PC.",
                                  "Local disk (C:), 68.4 GB free of 235 GB", "Games (D:), 0 B free of 0 B",
                                  "Choose a folder…", "In the Recycle Bin: 0 B", "Empty the Recycle Bin"}));
    const Element& card = named(screen, "Local disk (C:), 68.4 GB free of 235 GB");
    EXPECT_EQ(card.role, Role::Button);
    EXPECT_TRUE(card.abilities & CAN_INVOKE);
    EXPECT_EQ(named(screen, "Choose a folder…").help, "Analyze just one folder, quickly");
    EXPECT_TRUE(named(screen, "Empty the Recycle Bin").states & DISABLED);
    // The keyboard starts on the first card, and the focus follows its stop.
    EXPECT_EQ(screen.elements[focused_element(screen)].name, "Local disk (C:), 68.4 GB free of 235 GB");
    app.focus.home = 2;
    const ScreenDescription moved =
        describe(app, view_input(app, Surface{1000, 700, 1, nullptr, fake_measure}));
    EXPECT_EQ(moved.elements[focused_element(moved)].name, "Choose a folder…");

    // A card keeps its identity only while it stands for the same drive.
    App other;
    other.drives = {DriveInfo{"E:\\", "", 1, 1}};
    const ScreenDescription later = describe(other, view_input(other, Surface{1000, 700, 1, nullptr, {}}));
    EXPECT_EQ(find_element(later, card.key), NO_ELEMENT);

    app.recycle_bin_bytes = 2048;
    const ScreenDescription full =
        describe(app, view_input(app, Surface{1000, 700, 1, nullptr, fake_measure}));
    EXPECT_FALSE(named(full, "Empty the Recycle Bin").states & DISABLED);

    // Under the bin the recent scans: each row a button named by its root, with when and how big as its
    // help, and its own button that names the root in its help; an unreadable file by its file name.
    app.recent_scans = {RememberedScan{"/scans/a.json.gz", 1, 1'765'000'000, 2048, 3, 50},
                        RememberedScan{"/scans/b.json.gz", 2, 1'764'000'000, 1, 1, 50}};
    app.recent_roots = {{"/scans/a.json.gz", "C:\\Users"}};
    const ScreenDescription recent =
        describe(app, view_input(app, Surface{1000, 700, 1, nullptr, fake_measure}));
    expect_linked(recent);
    const std::vector<std::string> names = children_names(recent, 0);
    ASSERT_GE(names.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(names.end() - 5, names.end()),
              (std::vector<std::string>{"Recent scans", "C:\\Users", "Compare with now", "b.json.gz",
                                        "Compare with now"}));
    const Element& row = named(recent, "C:\\Users");
    EXPECT_EQ(row.role, Role::Button);
    EXPECT_EQ(row.target, (HitTarget{HitKind::RecentScan, 0}));
    EXPECT_EQ(row.help, format_time(mtime_from_unix(1'765'000'000)) + "  \u00B7  2.00 KB");
    const Element& compare = recent.elements[row.next];
    EXPECT_EQ(compare.help, "C:\\Users");
    EXPECT_EQ(compare.target, (HitTarget{HitKind::CompareWithNow, 0}));
    EXPECT_NE(compare.key, row.key);
}

TEST(AccessScreens, TheProgressScreenHasItsFiguresBarAndCancel) {
    App app;
    app.screen = Screen::Scanning;
    auto progress = std::make_shared<ScanProgress>();
    progress->bytes = 250;
    progress->files = 3;
    progress->folders = 1;
    progress->current_path = "/data/photos";
    app.scan_job = ScanJob{"/data", std::nullopt, Clock::now(), progress, 1, 1000};
    const Surface surface{1000, 700, 1, nullptr, fake_measure};
    ScreenDescription screen = describe(app, view_input(app, surface));
    expect_linked(screen);
    EXPECT_EQ(
        children_names(screen, 0),
        (std::vector<std::string>{"Home", "/data", "Menu", "Analyzing…", "250 B  ·  3 files  ·  1 folder",
                                  "Analyzing…", "/data/photos", "0 s", "Cancel"}));
    const Element& bar = screen.elements[index_of(screen, Piece::ScanBar)];
    EXPECT_EQ(bar.role, Role::ProgressBar);
    ASSERT_TRUE(bar.fraction);
    EXPECT_DOUBLE_EQ(*bar.fraction, 0.25);
    EXPECT_TRUE(bar.box.width > 0 && bar.box.y > 48);

    // More found than expected is still a full bar; nothing expected is an unknown share.
    progress->bytes = 5000;
    EXPECT_DOUBLE_EQ(
        *describe(app, view_input(app, surface)).elements[index_of(screen, Piece::ScanBar)].fraction, 1.0);
    app.scan_job->expected_bytes = 0;
    screen = describe(app, view_input(app, surface));
    EXPECT_FALSE(screen.elements[index_of(screen, Piece::ScanBar)].fraction);

    act_on(app, surface, ElementKey{Piece::Cancel}, Act::Invoke);
    EXPECT_TRUE(progress->cancel);
    app.scan_job.reset();  // nothing runs to be joined
}

TEST(AccessScreens, TheResultsScreenFromHeaderToStatusLine) {
    Fixture f;
    f.app.volume = VolumeSpace{10'000'000, 4'000'000};
    const ScreenDescription screen = f.screen();
    expect_linked(screen);
    EXPECT_EQ(screen.elements[0].name, "/r - Spadrim");  // the title, as the host may not say it
    const std::vector<std::string> top = children_names(screen, 0);
    EXPECT_EQ(std::vector<std::string>(top.begin(), top.begin() + 6),
              (std::vector<std::string>{"Home", "Up", "/r", "Search", "Analyze again", "Menu"}));
    EXPECT_TRUE(named(screen, "Up").states & DISABLED);  // at the scanned folder

    // The search field is an edit whose value is its text; a reader's SetValue types it, as nothing else can.
    EXPECT_EQ(named(screen, "Search").role, Role::Edit);
    EXPECT_EQ(named(screen, "Search").abilities, CAN_EDIT);
    EXPECT_TRUE(
        act_on(f.app, f.surface, ElementKey{Piece::SearchField}, Act::SetValue, "ext:iso 한").changed);
    EXPECT_EQ(f.app.query_text, "ext:iso 한");
    EXPECT_EQ(named(f.screen(), "Search").value, "ext:iso 한");
    act_on(f.app, f.surface, ElementKey{Piece::HeaderButton, static_cast<std::uint64_t>(HitKind::Menu)},
           Act::SetValue, "x");
    EXPECT_EQ(f.app.query_text, "ext:iso 한");

    const std::uint32_t tabs = index_of(screen, Piece::Tabs);
    EXPECT_EQ(children_names(screen, tabs),
              (std::vector<std::string>{"Folders", "Largest files", "By type", "Duplicates"}));
    EXPECT_TRUE(named(screen, "Folders").states & SELECTED);
    EXPECT_FALSE(named(screen, "Duplicates").states & SELECTED);
    EXPECT_EQ(named(screen, "Folders").role, Role::TabItem);

    const std::uint32_t list = index_of(screen, Piece::List);
    EXPECT_EQ(screen.elements[list].name, "Folders");
    EXPECT_EQ(children_names(screen, list),
              (std::vector<std::string>{"many, 3.91 KB, 98.6%", "a.txt, 50 B, 1.2%", "deep, 7 B, 0.2%"}));

    // The treemap holds a folder's tiles under the folder's own.
    const std::uint32_t map = index_of(screen, Piece::Treemap);
    EXPECT_EQ(screen.elements[map].help, "/r");
    const Element& many = named(screen, "many, 3.91 KB");
    EXPECT_EQ(many.role, Role::Group);
    EXPECT_EQ(many.parent, map);
    EXPECT_EQ(screen.elements[many.first_child].name, "f00, 100 B");
    EXPECT_EQ(named(screen, "f39, 100 B").role, Role::ListItem);
    EXPECT_EQ(screen.elements[named(screen, "f39, 100 B").parent].name, "many, 3.91 KB");

    EXPECT_EQ(children_names(screen, index_of(screen, Piece::Legend)),
              (std::vector<std::string>{"Documents 3.82 KB", "Videos 150 B"}));
    const Element& status = screen.elements.back();
    EXPECT_EQ(status.role, Role::StatusBar);
    EXPECT_EQ(status.name, "/r  ·  3.96 KB  ·  42 files");
    EXPECT_EQ(status.help, "3.81 MB free of 9.54 MB");
}

TEST(AccessScreens, OnlyTheRowsInViewAreListedAndTheSecondLineIsHelp) {
    Fixture f;
    App& app = f.app;
    f.surface.height = 300;  // a list viewport of 182 pixels: five rows of 32, the sixth in part
    app.current_folder = 1;
    refresh_view(app);
    f.lay_out();
    ScreenDescription screen = f.screen();
    std::uint32_t list = index_of(screen, Piece::List);
    std::vector<std::string> rows = children_names(screen, list);
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows.front(), "f00, 100 B, 2.5%");
    const Element& partial = screen.elements[screen.elements[list].last_child];
    EXPECT_EQ(partial.box.y + partial.box.height,
              screen.elements[list].box.y + screen.elements[list].box.height);

    app.scroll = 32 * 30;
    screen = f.screen();
    list = index_of(screen, Piece::List);
    rows = children_names(screen, list);
    EXPECT_EQ(rows.front(), "f30, 100 B, 2.5%");
    EXPECT_EQ(screen.elements[screen.elements[list].first_child].key.item, 34u);  // the node of f30

    app.tab = Tab::LargestFiles;
    app.scroll = 0;
    refresh_view(app);
    screen = f.screen();
    const Element& first = screen.elements[screen.elements[index_of(screen, Piece::List)].first_child];
    EXPECT_EQ(first.help, path_of(*app.tree, 1));  // the folder it lives in; no time where none is known

    // A known time follows, in the row's help and in the status line of the selected entry.
    const auto largest = static_cast<NodeIndex>(first.key.item);
    app.tree->nodes[largest].mtime = 1719848096;
    app.selection = largest;
    screen = f.screen();
    const std::string modified = "modified " + format_time(1719848096);
    EXPECT_EQ(screen.elements[screen.elements[index_of(screen, Piece::List)].first_child].help,
              path_of(*app.tree, 1) + ", " + modified);
    EXPECT_EQ(screen.elements.back().name, path_of(*app.tree, largest) + "  ·  100 B  ·  " + modified);
}

TEST(AccessScreens, TheFocusIsWhereTheKeyboardIs) {
    Fixture f;
    App& app = f.app;
    app.focus = Focus{FocusArea::List};
    EXPECT_EQ(f.screen().elements[focused_element(f.screen())].key.piece, Piece::List);  // no selection yet
    app.selection = app.node_rows[1];
    ScreenDescription screen = f.screen();
    EXPECT_EQ(screen.elements[focused_element(screen)].name, "a.txt, 50 B, 1.2%");
    EXPECT_TRUE(screen.elements[focused_element(screen)].states & SELECTED);

    app.focus = Focus{FocusArea::Treemap};
    screen = f.screen();
    EXPECT_EQ(screen.elements[focused_element(screen)].name, "a.txt, 50 B");
    app.focus = Focus{FocusArea::Header, 3};
    screen = f.screen();
    EXPECT_EQ(screen.elements[focused_element(screen)].name, "Menu");
    app.focus = Focus{FocusArea::Header, 9};  // past the buttons: the last
    EXPECT_EQ(f.screen().elements[focused_element(f.screen())].name, "Menu");
    app.focus = Focus{FocusArea::Search};
    EXPECT_EQ(f.screen().elements[focused_element(f.screen())].key.piece, Piece::SearchField);
    app.focus = Focus{FocusArea::Tabs};
    app.tab = Tab::ByType;
    refresh_view(app);
    screen = f.screen();
    EXPECT_EQ(screen.elements[focused_element(screen)].name, "By type");
}

TEST(AccessChanges, StructureFocusAndNoticesAreTold) {
    Fixture f;
    App& app = f.app;
    const ScreenDescription before = f.screen();
    ScreenChanges changes = changes_between(before, f.screen());
    EXPECT_FALSE(changes.structure);
    EXPECT_FALSE(changes.focus);
    EXPECT_FALSE(changes.notice);

    app.selection = app.node_rows[0];  // the focus is on the list
    changes = changes_between(before, f.screen());
    EXPECT_FALSE(changes.structure);
    ASSERT_TRUE(changes.focus);
    EXPECT_EQ(changes.focus->piece, Piece::Row);
    EXPECT_EQ(changes.focus->item, 1u);  // the row of "many"

    app.hover = HitTarget{HitKind::Tile, 3};  // the status line says something else: not a new structure
    EXPECT_FALSE(changes_between(before, f.screen()).structure);

    show_notice(app, "Path copied");
    changes = changes_between(before, f.screen());
    ASSERT_TRUE(changes.notice);
    EXPECT_EQ(f.screen().elements[find_element(f.screen(), *changes.notice)].name, "Path copied");
    // The same notice shown again is a new one.
    const ScreenDescription shown = f.screen();
    show_notice(app, "Path copied");
    EXPECT_TRUE(changes_between(shown, f.screen()).notice);

    app.tab = Tab::ByType;
    refresh_view(app);
    EXPECT_TRUE(changes_between(before, f.screen()).structure);
}

TEST(AccessActions, InvokeSelectAndExpandDoWhatTheClicksDo) {
    Fixture f;
    App& app = f.app;
    ScreenDescription screen = f.screen();
    // Invoking a tab chooses it; a row of a folder opens it.
    EXPECT_TRUE(act_on(app, f.surface, named(screen, "Largest files").key, Act::Invoke).changed);
    EXPECT_EQ(app.tab, Tab::LargestFiles);
    EXPECT_TRUE(act_on(app, f.surface, named(screen, "Folders").key, Act::Select).changed);
    EXPECT_EQ(app.tab, Tab::Folders);
    screen = f.screen();
    const ElementKey many_row = named(screen, "many, 3.91 KB, 98.6%").key;
    EXPECT_TRUE(act_on(app, f.surface, named(screen, "a.txt, 50 B, 1.2%").key, Act::Select).changed);
    EXPECT_EQ(app.selection, 3u);
    act_on(app, f.surface, many_row, Act::Invoke);
    EXPECT_EQ(app.current_folder, 1u);
    // The rows of the list before are gone, and so is what they could do.
    EXPECT_FALSE(act_on(app, f.surface, many_row, Act::Invoke).changed);
    EXPECT_EQ(app.current_folder, 1u);
    f.lay_out();
    act_on(app, f.surface, named(f.screen(), "Up").key, Act::Invoke);
    EXPECT_EQ(app.current_folder, 0u);
    EXPECT_FALSE(
        act_on(app, f.surface, named(f.screen(), "Up").key, Act::Invoke).changed);  // disabled at the top

    // Rows of a list of nodes are added to the selection and taken from it; the list says it can hold
    // many, and tells which rows it holds.
    screen = f.screen();
    const ElementKey a_txt = named(screen, "a.txt, 50 B, 1.2%").key;
    EXPECT_TRUE(screen.elements[index_of(screen, Piece::List)].abilities & CAN_SELECT_MANY);
    ASSERT_EQ(app.selection, 1u);  // "many", revealed on the way up
    EXPECT_TRUE(act_on(app, f.surface, a_txt, Act::Add).changed);
    EXPECT_FALSE(act_on(app, f.surface, a_txt, Act::Add).changed);  // already there
    const ScreenDescription two = f.screen();
    EXPECT_EQ(
        std::count_if(two.elements.begin(), two.elements.end(),
                      [](const Element& e) { return e.key.piece == Piece::Row && (e.states & SELECTED); }),
        2);
    EXPECT_TRUE(act_on(app, f.surface, a_txt, Act::Remove).changed);
    EXPECT_EQ(app.selection, 1u);
    EXPECT_FALSE(named(f.screen(), "a.txt, 50 B, 1.2%").states & SELECTED);

    // Selecting what is selected leaves it so, though a second click on an extension would clear it.
    app.tab = Tab::ByType;
    refresh_view(app);
    screen = f.screen();
    const ElementKey documents =
        screen.elements[screen.elements[index_of(screen, Piece::List)].first_child].key;
    EXPECT_FALSE(screen.elements[index_of(screen, Piece::List)].abilities & CAN_SELECT_MANY);
    act_on(app, f.surface, documents, Act::Select);
    ASSERT_TRUE(app.selected_extension);
    EXPECT_FALSE(act_on(app, f.surface, documents, Act::Select).changed);
    EXPECT_TRUE(app.selected_extension);
    // Files without an extension have no query to name them: only their row is marked. Another
    // extension is the query ext:, whose chip says so.
    EXPECT_TRUE(app.query_text.empty());
    act_on(app, f.surface,
           screen.elements[screen.elements[index_of(screen, Piece::List)].first_child + 1].key, Act::Select);
    EXPECT_EQ(app.query_text, "ext:txt");
    EXPECT_TRUE(named(f.screen(), "Showing ext:txt · Esc clears").role == Role::Text);
    set_query(app, {});

    // A duplicate set expands and collapses, each only from the other state.
    app.selected_extension.reset();
    std::vector<NodeIndex> copies;
    for (NodeIndex i = 4; i < 44; ++i)
        copies.push_back(i);
    app.duplicates[0] = DuplicatesFound{{DuplicateSet{copies, 100, Digest{}, 3900}}, 0};
    app.tab = Tab::Duplicates;
    refresh_view(app);
    screen = f.screen();
    const Element set = screen.elements[screen.elements[index_of(screen, Piece::List)].first_child];
    EXPECT_TRUE(set.abilities & CAN_EXPAND);
    EXPECT_FALSE(set.states & EXPANDED);
    EXPECT_FALSE(act_on(app, f.surface, set.key, Act::Collapse).changed);
    EXPECT_TRUE(act_on(app, f.surface, set.key, Act::Expand).changed);
    EXPECT_EQ(app.duplicate_rows.size(), 41u);
    screen = f.screen();
    const Element open_set = screen.elements[screen.elements[index_of(screen, Piece::List)].first_child];
    EXPECT_TRUE(open_set.states & EXPANDED);
    EXPECT_EQ(open_set.key, set.key) << "an opened set is the same element";
    EXPECT_FALSE(act_on(app, f.surface, open_set.key, Act::Expand).changed);
    EXPECT_TRUE(act_on(app, f.surface, open_set.key, Act::Collapse).changed);
    EXPECT_EQ(app.duplicate_rows.size(), 1u);
}

TEST(AccessActions, InvokingATileOpensItsFolderAndSelectingItSelects) {
    Fixture f;
    App& app = f.app;
    const Element deep = named(f.screen(), "deep, 7 B");
    EXPECT_TRUE(act_on(app, f.surface, deep.key, Act::Select).changed);
    EXPECT_EQ(app.selection, 2u);
    EXPECT_TRUE(act_on(app, f.surface, deep.key, Act::Invoke).changed);
    EXPECT_EQ(app.current_folder, 2u);
}

// A reader opens a row's or tile's item menu as a right click does; other elements have none.
TEST(AccessActions, RowsAndTilesOpenTheirItemMenu) {
    Fixture f;
    App& app = f.app;
    const ScreenDescription screen = f.screen();
    for (const char* name : {"a.txt, 50 B, 1.2%", "deep, 7 B"}) {
        const std::optional<Command> command =
            act_on(app, f.surface, named(screen, name).key, Act::Menu).command;
        ASSERT_TRUE(command) << name;
        EXPECT_EQ(command->kind, CommandKind::ItemMenu);
        EXPECT_EQ(command->node, app.selection) << name;
    }
    EXPECT_EQ(app.selection, 2u);
    EXPECT_FALSE(act_on(app, f.surface, named(screen, "Largest files").key, Act::Menu).command);
}

}  // namespace
}  // namespace spadrim
