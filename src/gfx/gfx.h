// The graphics device of the window: Direct2D 1.1 over a Direct3D 11 device (WARP when there is no
// hardware one) presenting through a flip-model swap chain, DirectWrite text in five styles, and the
// three text primitives every painter uses. Windows only; the window's thread only (the Direct2D
// factory is single-threaded).
//
// Everything is held in ComPtr: releasing a Gfx releases the whole device. The back buffer is wrapped
// as a bitmap that one frame borrows at a time.
#pragma once

#include <windows.h>

#include <d2d1_1.h>
#include <dwrite.h>
#include <dxgi1_2.h>
#include <wrl/client.h>

#include <array>
#include <memory>
#include <optional>
#include <string_view>

#include "gfx/style.h"

namespace spadrim {

using Microsoft::WRL::ComPtr;

struct Gfx {
    ComPtr<IDWriteFactory> write_factory;
    ComPtr<IDXGISwapChain1> swap_chain;
    ComPtr<ID2D1RenderTarget> target_view;  // the device context as a render target
    ComPtr<ID2D1DeviceContext> context;
    ComPtr<ID2D1Bitmap1> target;  // the back buffer; empty while a frame borrows it or after a resize
    ComPtr<ID2D1SolidColorBrush> brush;
    std::array<ComPtr<IDWriteTextFormat>, 5> formats;
    float scale = 1;
};

// Creates the device for a window at a DPI; nothing (and the failing HRESULT) when any step fails.
std::unique_ptr<Gfx> create_gfx(HWND window, unsigned dpi, HRESULT* error = nullptr);
HRESULT create_target(Gfx& gfx);
void resize_gfx(Gfx& gfx, UINT width, UINT height);
// New text formats at a DPI; the old ones stay when any of the five cannot be made.
void set_gfx_dpi(Gfx& gfx, unsigned dpi);
// A Gfx that only measures text: the DirectWrite factory and the window's text formats at a DPI, without
// a device or a window. Nothing when either cannot be made.
std::unique_ptr<Gfx> create_text_gfx(unsigned dpi);

// A text laid out on one line (trimmed with an ellipsis past max_width), or, given wrap_height, broken
// between words into lines max_width wide and trimmed past that height.
ComPtr<IDWriteTextLayout> make_layout(const Gfx& gfx, std::string_view text, float max_width, TextStyle style,
                                      Align align, std::optional<float> wrap_height = std::nullopt);
float text_width(const Gfx& gfx, std::string_view text, TextStyle style);
// One line, centred vertically in the box.
void draw_text(Gfx& gfx, std::string_view text, Box box, Colour colour, TextStyle style, Align align);
// As many lines as the box's width asks for, centred vertically in the box.
void draw_paragraph(Gfx& gfx, std::string_view text, Box box, Colour colour, TextStyle style, Align align);
// The height of a text broken into lines `width` wide.
float paragraph_height(const Gfx& gfx, std::string_view text, float width, TextStyle style);
void draw_icon(Gfx& gfx, std::u32string_view glyphs, Box box, Colour colour, float factor = 1);

void fill(Gfx& gfx, Box box, Colour colour);
void fill_rounded(Gfx& gfx, Box box, float radius, Colour colour);
void outline(Gfx& gfx, Box box, Colour colour, float width = 1);

}  // namespace spadrim
