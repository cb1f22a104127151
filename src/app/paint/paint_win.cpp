// The frame painter: borrows the back buffer, paints the current screen and the chrome, presents, and
// re-creates the device when it was lost. Home and progress screens here; every size is a DIP times the
// scale, as the layout computes them.
#include <algorithm>
#include <charconv>
#include <cmath>

#include "app/access/access_win.h"
#include "app/paint/paint_win.h"
#include "app/texts.h"
#include "app/window_win.h"
#include "kinds/kinds.h"
#include "scan/folder.h"
#include "strings/strings.h"

namespace spadrim {
namespace {

constexpr std::uint32_t FULL_DRIVE_RED = 0xEF4444;

// The recent scans under the drives: each row its root, then when and how big (the root is cut short
// first), and its "Compare with now" button.
void paint_recent(const Frame& f, const HomeCards& home) {
    const App& app = f.window.app;
    const float s = f.s;
    if (home.recent_heading) {
        draw_text(f.gfx, tr("최근 검사", "Recent scans"), *home.recent_heading, f.palette.text,
                  TextStyle::BodyBold, Align::Leading);
    }
    for (std::size_t i = 0; i < home.recent.size() && i < app.recent_scans.size(); ++i) {
        const RecentRow& recent = home.recent[i];
        const Box row = recent.row;
        const bool hovered = app.hover == HitTarget{HitKind::RecentScan, i};
        fill_rounded(f.gfx, row, 8 * s, f.palette.panel);
        if (hovered) fill_rounded(f.gfx, row, 8 * s, with_alpha(f.palette.accent, 0.08f));
        draw_icon(f.gfx, U"\uE81C", Box{row.x + 10 * s, row.y, 20 * s, row.height}, f.palette.accent, 1.1f);
        const RecentScanText text = recent_scan_text(app, i);
        const Box room = recent_text_box(recent, s);
        const float gap = 16 * s;
        const LineSplit split =
            split_line(text_width(f.gfx, text.root, TextStyle::Body),
                       text_width(f.gfx, text.details, TextStyle::Small) + gap, room.width, true);
        draw_text(f.gfx, text.root, Box{room.x, room.y, split.first, room.height}, f.palette.text,
                  TextStyle::Body, Align::Leading);
        draw_text(f.gfx, text.details,
                  Box{room.x + room.width - split.second + gap, room.y, std::max(split.second - gap, 0.0f),
                      room.height},
                  f.palette.text_dim, TextStyle::Small, Align::Trailing);
        const bool pressing = app.hover == HitTarget{HitKind::CompareWithNow, i};
        fill_rounded(f.gfx, recent.compare, 6 * s,
                     with_alpha(pressing ? f.palette.accent : f.palette.text_dim, pressing ? 0.18f : 0.12f));
        draw_text(f.gfx, tr("지금과 비교", "Compare with now"), recent.compare, f.palette.text,
                  TextStyle::Body, Align::Centre);
        outline(f.gfx, Box{row.x + 0.5f, row.y + 0.5f, row.width - 1, row.height - 1},
                hovered ? f.palette.accent : f.palette.line);
    }
}

void paint_home(const Frame& f) {
    const App& app = f.window.app;
    const float s = f.s;
    const HomeCards home = home_cards(f.in);
    draw_text(f.gfx, tr("무엇이 디스크를 차지하고 있을까요?", "What is taking up your disk space?"),
              home.title, f.palette.text, TextStyle::Title, Align::Centre);
    draw_paragraph(
        f.gfx,
        tr("드라이브나 폴더를 고르면 큰 것부터 보여 드립니다. 이 PC 밖으로는 아무것도 나가지 않습니다.",
           "Pick a drive or folder and the biggest things show up first. Nothing leaves this PC."),
        home.tagline, f.palette.text_dim, TextStyle::Body, Align::Centre);

    for (std::size_t i = 0; i < home.cards.size(); ++i) {
        const Box card = home.cards[i];
        const bool hovered = f.window.app.hover == HitTarget{HitKind::DriveCard, i};
        fill_rounded(f.gfx, card, 10 * s, f.palette.panel);
        if (hovered) fill_rounded(f.gfx, card, 10 * s, with_alpha(f.palette.accent, 0.08f));
        const bool folder_card = i == app.drives.size();
        draw_icon(f.gfx, folder_card ? U"\uE838" : U"\uEDA2",
                  Box{card.x + 16 * s, card.y + 16 * s, 32 * s, 32 * s}, f.palette.accent, 1.6f);
        const Box text_column = card_column(card, s);
        const float column = text_column.x;
        const float column_width = text_column.width;
        if (folder_card) {
            draw_text(f.gfx, tr("폴더 고르기…", "Choose a folder…"),
                      Box{column, card.y + 14 * s, column_width, 24 * s}, f.palette.text, TextStyle::BodyBold,
                      Align::Leading);
            draw_text(f.gfx, tr("폴더 하나만 빠르게 분석하기", "Analyze just one folder, quickly"),
                      Box{column, card.y + 42 * s, column_width, 22 * s}, f.palette.text_dim,
                      TextStyle::Small, Align::Leading);
            draw_text(f.gfx, "Ctrl+O", Box{column, card.y + 66 * s, column_width, 22 * s},
                      with_alpha(f.palette.text_dim, 0.8f), TextStyle::Small, Align::Leading);
        } else {
            const DriveInfo& drive = app.drives[i];
            draw_text(f.gfx, drive_title(drive), Box{column, card.y + 14 * s, column_width, 24 * s},
                      f.palette.text, TextStyle::BodyBold, Align::Leading);
            const Box track{column, card.y + 46 * s, column_width, 8 * s};
            fill_rounded(f.gfx, track, 4 * s, with_alpha(f.palette.text_dim, 0.2f));
            if (const std::optional<double> used = drive_usage(drive)) {
                const Box bar{track.x, track.y, std::max(static_cast<float>(*used) * column_width, 8 * s),
                              track.height};
                fill_rounded(f.gfx, bar, 4 * s, *used > 0.9 ? colour(FULL_DRIVE_RED) : f.palette.accent);
            }
            draw_text(f.gfx, drive_space_text(drive), Box{column, card.y + 62 * s, column_width, 22 * s},
                      f.palette.text_dim, TextStyle::Small, Align::Leading);
        }
        outline(f.gfx, Box{card.x + 0.5f, card.y + 0.5f, card.width - 1, card.height - 1},
                hovered ? f.palette.accent : f.palette.line);
    }
    if (home.recycle_line && f.in.recycle_bin) {
        const Box line = *home.recycle_line;
        draw_icon(f.gfx, U"\uE74D", Box{line.x, line.y, 24 * s, 40 * s}, f.palette.text_dim);
        draw_text(f.gfx, recycle_bin_text(*f.in.recycle_bin),
                  Box{line.x + 30 * s, line.y, line.width, 40 * s}, f.palette.text_dim, TextStyle::Body,
                  Align::Leading);
        if (home.recycle_button) {
            // Nothing to empty: drawn disabled, as the menu item is greyed.
            const bool enabled = *f.in.recycle_bin != 0;
            const bool hovered = enabled && f.window.app.hover.kind == HitKind::EmptyRecycleBin;
            fill_rounded(f.gfx, *home.recycle_button, 6 * s,
                         hovered   ? with_alpha(f.palette.accent, 0.18f)
                         : enabled ? with_alpha(f.palette.text_dim, 0.12f)
                                   : with_alpha(f.palette.text_dim, 0.06f));
            draw_text(f.gfx, tr("휴지통 비우기", "Empty the Recycle Bin"), *home.recycle_button,
                      enabled ? f.palette.text : with_alpha(f.palette.text_dim, 0.5f), TextStyle::Body,
                      Align::Centre);
        }
    }
    paint_recent(f, home);
}

// Where the sweeping segment of an indeterminate bar starts, as a share of the free travel (0 to 1).
float sweep(double seconds) {
    const double p = 0.8 * seconds - std::floor(0.8 * seconds);
    return static_cast<float>(p < 0.5 ? 2 * p : 2 - 2 * p);
}

void paint_progress(const Frame& f) {
    const App& app = f.window.app;
    if (!app.scan_job) return;
    ScanProgress& progress = *app.scan_job->progress;
    const float s = f.s;
    const ProgressBoxes boxes = progress_boxes(f.in);
    draw_text(f.gfx, tr("분석하는 중…", "Analyzing…"), boxes.heading, f.palette.text, TextStyle::Title,
              Align::Centre);
    draw_text(f.gfx, progress_text(progress.bytes, progress.files, progress.folders), boxes.figures,
              f.palette.text, TextStyle::BodyBold, Align::Centre);

    const Box track = boxes.track;
    const float bar_width = track.width;
    fill_rounded(f.gfx, track, 4 * s, with_alpha(f.palette.text_dim, 0.2f));
    const double elapsed = std::chrono::duration<double>(Clock::now() - app.scan_job->started).count();
    if (const std::optional<double> found = scan_share(*app.scan_job)) {
        const double share = std::clamp(*found, 0.02, 0.99);
        fill_rounded(f.gfx, Box{track.x, track.y, static_cast<float>(bar_width * share), track.height}, 4 * s,
                     f.palette.accent);
    } else {
        fill_rounded(
            f.gfx,
            Box{track.x + sweep(elapsed) * 0.75f * bar_width, track.y, 0.25f * bar_width, track.height},
            4 * s, f.palette.accent);
    }
    std::string path;
    {
        std::lock_guard hold(progress.lock);
        path = progress.current_path;
    }
    draw_text(f.gfx, path, boxes.path, f.palette.text_dim, TextStyle::Small, Align::Centre);
    draw_text(f.gfx, elapsed_text(elapsed), boxes.elapsed, f.palette.text_dim, TextStyle::Small,
              Align::Centre);
    const Box cancel = cancel_button(f.in);
    const bool hovered = f.window.app.hover.kind == HitKind::CancelScan;
    fill_rounded(f.gfx, cancel, 8 * s, with_alpha(f.palette.text_dim, hovered ? 0.28f : 0.15f));
    draw_text(f.gfx, tr("취소", "Cancel"), cancel, f.palette.text, TextStyle::Body, Align::Centre);
}

// The search field: its box, the magnifier, the text (or the placeholder) moved left as far as keeps the
// caret in sight, the selection behind it, an input method's composition underlined at the caret.
void paint_search(const Frame& f) {
    const std::optional<Box> field = search_box(f.in);
    if (!field) return;
    const TextField& search = f.window.app.search;
    const float s = f.s;
    const bool focused = f.window.app.focus.area == FocusArea::Search;
    fill_rounded(f.gfx, *field, 6 * s, focused ? f.palette.accent : f.palette.line);
    const Box inside{field->x + s, field->y + s, field->width - 2 * s, field->height - 2 * s};
    fill_rounded(f.gfx, inside, 5 * s, f.palette.panel);
    draw_icon(f.gfx, U"\uE721", Box{field->x + 6 * s, field->y, 20 * s, field->height}, f.palette.text_dim,
              0.8f);

    const Box room = search_text_box(*field, s);
    const std::string shown = shown_text(search);
    const auto width = [&](std::size_t end) {
        return end == 0 ? 0.0f : text_width(f.gfx, std::string_view(shown).substr(0, end), TextStyle::Body);
    };
    const std::size_t caret = std::min(search.caret, search.text.size());
    const std::size_t caret_end = caret + search.composition.size();
    const float shift = search_text_shift(width(caret_end), room);
    const float left = room.x - shift;
    const float line_top = room.y + 7 * s;
    const float line_height = room.height - 14 * s;
    f.gfx.target_view->PushAxisAlignedClip(
        D2D1_RECT_F{room.x - s, room.y, room.x + room.width + s, room.y + room.height},
        D2D1_ANTIALIAS_MODE_ALIASED);
    if (shown.empty()) {
        draw_text(f.gfx, tr("검색", "Search"), room, f.palette.text_dim, TextStyle::Body, Align::Leading);
    } else {
        if (search.anchor != search.caret && search.composition.empty()) {
            const float a = width(std::min(search.anchor, search.caret));
            const float b = width(std::max(search.anchor, search.caret));
            fill(f.gfx, Box{left + a, line_top, b - a, line_height}, with_alpha(f.palette.accent, 0.35f));
        }
        draw_text(f.gfx, shown, Box{left, room.y, width(shown.size()) + 8 * s, room.height}, f.palette.text,
                  TextStyle::Body, Align::Leading);
        if (!search.composition.empty()) {
            const float a = width(caret);
            fill(f.gfx,
                 Box{left + a, line_top + line_height, width(caret_end) - a, std::max(1.0f, std::round(s))},
                 f.palette.text);
        }
    }
    if (focused) {
        fill(f.gfx, Box{left + width(caret_end), line_top, std::max(1.0f, std::round(s)), line_height},
             f.palette.text);
    }
    f.gfx.target_view->PopAxisAlignedClip();
}

void paint_chrome(const Frame& f) {
    const App& app = f.window.app;
    const float s = f.s;
    const float w = std::max(f.in.width, 0.0f);
    const Box header = header_box(f.in);
    fill(f.gfx, header, f.palette.bar);
    fill(f.gfx, Box{0, header.height - 1, w, 1}, f.palette.line);
    for (const HeaderButton& button : header_buttons(f.in)) {
        const bool disabled = !header_button_enabled(app, button.kind);
        if (!disabled && f.window.app.hover == HitTarget{button.kind, 0}) {
            fill_rounded(f.gfx, button.box, 6 * s, with_alpha(f.palette.text_dim, 0.18f));
        }
        const char32_t glyph[] = {button.glyph, 0};
        draw_icon(f.gfx, glyph, button.box, disabled ? with_alpha(f.palette.text_dim, 0.5f) : f.palette.text);
    }
    if (app.screen == Screen::Home) {
        draw_text(f.gfx, "Spadrim", Box{18 * s, 0, 300 * s, header.height}, f.palette.text,
                  TextStyle::BodyBold, Align::Leading);
    } else if (app.screen == Screen::Scanning) {
        draw_text(f.gfx, app.scan_job ? shown_form(app.scan_job->root_path) : std::string(),
                  header_path_box(f.in), f.palette.text, TextStyle::Body, Align::Leading);
    } else {
        const std::vector<Crumb> crumbs = breadcrumb(f.in);
        const float separator = text_width(f.gfx, " \u203A ", TextStyle::Body);
        for (std::size_t i = 0; i < crumbs.size(); ++i) {
            const Crumb& crumb = crumbs[i];
            const bool last = i + 1 == crumbs.size();
            if (crumb.link && !last && f.window.app.hover == HitTarget{HitKind::Crumb, crumb.node}) {
                fill_rounded(f.gfx, crumb.box, 6 * s, with_alpha(f.palette.text_dim, 0.18f));
            }
            const Box text{crumb.box.x + 8 * s, crumb.box.y, crumb.box.width - 16 * s, crumb.box.height};
            draw_text(f.gfx, crumb.label, text, last ? f.palette.text : f.palette.text_dim,
                      last ? TextStyle::BodyBold : TextStyle::Body, Align::Leading);
            if (!last) {
                draw_text(f.gfx, "\u203A",
                          Box{crumb.box.x + crumb.box.width, crumb.box.y, separator, crumb.box.height},
                          f.palette.text_dim, TextStyle::Body, Align::Centre);
            }
        }
        paint_search(f);
    }
    if (!app.notice.empty()) {
        const Box pill = notice_pill(f.in, text_width(f.gfx, app.notice, TextStyle::Body));
        fill_rounded(f.gfx, pill, 8 * s, colour(NOTICE_BACKGROUND, 0.92f));
        draw_text(f.gfx, app.notice, padded(pill, NOTICE_PADDING * s), colour(0xFFFFFF), TextStyle::Body,
                  Align::Centre);
    }
}

}  // namespace

void paint_frame(Window& window) {
    if (!window.gfx) return;
    Gfx& gfx = *window.gfx;
    const Palette& palette = window.dark ? DARK : LIGHT;
    ComPtr<ID2D1Bitmap1> target = std::move(gfx.target);
    if (!target && SUCCEEDED(create_target(gfx))) target = std::move(gfx.target);
    gfx.context->SetTarget(target.Get());
    gfx.context->BeginDraw();
    D2D1_MATRIX_3X2_F identity{};
    identity._11 = 1;
    identity._22 = 1;
    gfx.context->SetTransform(&identity);
    gfx.context->Clear(D2D1_COLOR_F{palette.window.r, palette.window.g, palette.window.b, 1});

    const ViewInput in = view_input(window);
    if (window.app.screen == Screen::Results && window.app.tree) update_treemap(window, in);
    const Frame frame{gfx, palette, in, window, in.scale};
    if (window.app.screen == Screen::Home) paint_home(frame);
    if (window.app.screen == Screen::Scanning) paint_progress(frame);
    if (window.app.screen == Screen::Results && window.app.tree) paint_results(frame);
    paint_chrome(frame);
    if (window.app.focus_visible) {
        if (const std::optional<Box> ring = focus_ring(in, window.app.focus, window.app.selection))
            outline(gfx, *ring, palette.accent, 2 * in.scale);
    }

    const HRESULT drawn = gfx.context->EndDraw();
    gfx.context->SetTarget(nullptr);
    gfx.target = std::move(target);
    bool lost = drawn == static_cast<HRESULT>(D2DERR_RECREATE_TARGET);
    if (!lost) {
        const HRESULT presented = gfx.swap_chain->Present(1, 0);
        lost = presented == DXGI_ERROR_DEVICE_REMOVED || presented == DXGI_ERROR_DEVICE_RESET;
    }
    if (lost) {
        window.gfx = create_gfx(window.handle, window.dpi);
        repaint(window);
    }
    update_access(window);
}

}  // namespace spadrim
