// The graphics device. See gfx.h.
#include "gfx/gfx.h"

#include <d3d11.h>

#include <algorithm>
#include <cmath>

#include "strings/wide_win.h"

namespace spadrim {
namespace {

struct StyleSpec {
    const wchar_t* family;
    DWRITE_FONT_WEIGHT weight;
    float size;  // DIPs
};

constexpr std::array<StyleSpec, 5> STYLES = {{
    {L"Segoe UI", DWRITE_FONT_WEIGHT_NORMAL, 11.5f},
    {L"Segoe UI", DWRITE_FONT_WEIGHT_NORMAL, 13.0f},
    {L"Segoe UI", DWRITE_FONT_WEIGHT_SEMI_BOLD, 13.0f},
    {L"Segoe UI", DWRITE_FONT_WEIGHT_SEMI_BOLD, 20.0f},
    {L"Segoe MDL2 Assets", DWRITE_FONT_WEIGHT_NORMAL, 16.0f},
}};

bool make_formats(IDWriteFactory* factory, float scale, std::array<ComPtr<IDWriteTextFormat>, 5>& out) {
    std::array<ComPtr<IDWriteTextFormat>, 5> made;
    for (std::size_t i = 0; i < STYLES.size(); ++i) {
        if (FAILED(factory->CreateTextFormat(STYLES[i].family, nullptr, STYLES[i].weight,
                                             DWRITE_FONT_STYLE_NORMAL, DWRITE_FONT_STRETCH_NORMAL,
                                             STYLES[i].size * scale, L"", &made[i]))) {
            return false;
        }
    }
    out = std::move(made);
    return true;
}

D2D1_COLOR_F d2d(Colour c) {
    return D2D1_COLOR_F{c.r, c.g, c.b, c.a};
}
D2D1_RECT_F rect(Box b) {
    return D2D1_RECT_F{b.x, b.y, b.x + b.width, b.y + b.height};
}

DWRITE_TEXT_ALIGNMENT alignment(Align align) {
    switch (align) {
        case Align::Centre: return DWRITE_TEXT_ALIGNMENT_CENTER;
        case Align::Trailing: return DWRITE_TEXT_ALIGNMENT_TRAILING;
        case Align::Leading: break;
    }
    return DWRITE_TEXT_ALIGNMENT_LEADING;
}

// The text's top when it is centred vertically in box.
float centred_top(IDWriteTextLayout* layout, Box box) {
    DWRITE_TEXT_METRICS metrics{};
    layout->GetMetrics(&metrics);
    return box.y + std::round((box.height - metrics.height) * 0.5f);
}

}  // namespace

std::unique_ptr<Gfx> create_gfx(HWND window, unsigned dpi, HRESULT* error) {
    HRESULT result = S_OK;
    const auto failed = [&](HRESULT hr) {
        result = hr;
        if (error) *error = hr;
        return FAILED(hr);
    };
    auto gfx = std::make_unique<Gfx>();
    gfx->scale = static_cast<float>(dpi) / 96.0f;

    ComPtr<ID2D1Factory1> d2d_factory;
    D2D1_FACTORY_OPTIONS options{};
    if (failed(D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, __uuidof(ID2D1Factory1), &options,
                                 reinterpret_cast<void**>(d2d_factory.GetAddressOf())))) {
        return nullptr;
    }
    if (failed(DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                   reinterpret_cast<IUnknown**>(gfx->write_factory.GetAddressOf())))) {
        return nullptr;
    }
    ComPtr<ID3D11Device> device;
    HRESULT created =
        D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, D3D11_CREATE_DEVICE_BGRA_SUPPORT,
                          nullptr, 0, D3D11_SDK_VERSION, &device, nullptr, nullptr);
    if (FAILED(created)) {
        created = D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_WARP, nullptr, D3D11_CREATE_DEVICE_BGRA_SUPPORT,
                                    nullptr, 0, D3D11_SDK_VERSION, &device, nullptr, nullptr);
    }
    if (failed(created)) return nullptr;
    ComPtr<IDXGIDevice1> dxgi_device;
    if (failed(device.As(&dxgi_device))) return nullptr;
    dxgi_device->SetMaximumFrameLatency(1);
    ComPtr<ID2D1Device> d2d_device;
    if (failed(d2d_factory->CreateDevice(dxgi_device.Get(), &d2d_device))) return nullptr;
    if (failed(d2d_device->CreateDeviceContext(D2D1_DEVICE_CONTEXT_OPTIONS_NONE, &gfx->context)))
        return nullptr;
    gfx->context->SetDpi(96, 96);
    gfx->context->SetTextAntialiasMode(D2D1_TEXT_ANTIALIAS_MODE_GRAYSCALE);

    ComPtr<IDXGIAdapter> adapter;
    if (failed(dxgi_device->GetAdapter(&adapter))) return nullptr;
    ComPtr<IDXGIFactory2> dxgi_factory;
    if (failed(adapter->GetParent(__uuidof(IDXGIFactory2),
                                  reinterpret_cast<void**>(dxgi_factory.GetAddressOf())))) {
        return nullptr;
    }
    RECT client{};
    GetClientRect(window, &client);
    DXGI_SWAP_CHAIN_DESC1 desc{};
    desc.Width = static_cast<UINT>(std::max<LONG>(client.right - client.left, 1));
    desc.Height = static_cast<UINT>(std::max<LONG>(client.bottom - client.top, 1));
    desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
    desc.BufferCount = 2;
    desc.Scaling = DXGI_SCALING_NONE;
    desc.SwapEffect = DXGI_SWAP_EFFECT_FLIP_SEQUENTIAL;
    desc.AlphaMode = DXGI_ALPHA_MODE_IGNORE;
    if (failed(dxgi_factory->CreateSwapChainForHwnd(device.Get(), window, &desc, nullptr, nullptr,
                                                    &gfx->swap_chain))) {
        return nullptr;
    }
    dxgi_factory->MakeWindowAssociation(window, DXGI_MWA_NO_ALT_ENTER);
    if (failed(gfx->context.As(&gfx->target_view))) return nullptr;
    if (failed(gfx->target_view->CreateSolidColorBrush(D2D1_COLOR_F{0, 0, 0, 1}, &gfx->brush)))
        return nullptr;
    if (!make_formats(gfx->write_factory.Get(), gfx->scale, gfx->formats)) {
        failed(E_FAIL);
        return nullptr;
    }
    if (failed(create_target(*gfx))) return nullptr;
    return gfx;
}

std::unique_ptr<Gfx> create_text_gfx(unsigned dpi) {
    auto gfx = std::make_unique<Gfx>();
    gfx->scale = static_cast<float>(dpi) / 96.0f;
    if (FAILED(DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                   reinterpret_cast<IUnknown**>(gfx->write_factory.GetAddressOf()))) ||
        !make_formats(gfx->write_factory.Get(), gfx->scale, gfx->formats)) {
        return nullptr;
    }
    return gfx;
}

HRESULT create_target(Gfx& gfx) {
    ComPtr<IDXGISurface> surface;
    HRESULT hr = gfx.swap_chain->GetBuffer(0, __uuidof(IDXGISurface),
                                           reinterpret_cast<void**>(surface.GetAddressOf()));
    if (FAILED(hr)) return hr;
    D2D1_BITMAP_PROPERTIES1 properties{};
    properties.pixelFormat = D2D1_PIXEL_FORMAT{DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_IGNORE};
    properties.dpiX = 96;
    properties.dpiY = 96;
    properties.bitmapOptions = D2D1_BITMAP_OPTIONS_TARGET | D2D1_BITMAP_OPTIONS_CANNOT_DRAW;
    ComPtr<ID2D1Bitmap1> bitmap;
    hr = gfx.context->CreateBitmapFromDxgiSurface(surface.Get(), &properties, &bitmap);
    if (SUCCEEDED(hr)) gfx.target = bitmap;
    return hr;
}

void resize_gfx(Gfx& gfx, UINT width, UINT height) {
    gfx.context->SetTarget(nullptr);
    gfx.target.Reset();
    if (SUCCEEDED(gfx.swap_chain->ResizeBuffers(0, std::max(width, 1u), std::max(height, 1u),
                                                DXGI_FORMAT_UNKNOWN, 0))) {
        create_target(gfx);
    }
}

void set_gfx_dpi(Gfx& gfx, unsigned dpi) {
    gfx.scale = static_cast<float>(dpi) / 96.0f;
    make_formats(gfx.write_factory.Get(), gfx.scale, gfx.formats);
}

ComPtr<IDWriteTextLayout> make_layout(const Gfx& gfx, std::string_view text, float max_width, TextStyle style,
                                      Align align, std::optional<float> wrap_height) {
    const std::wstring wide = to_wide(text);
    ComPtr<IDWriteTextLayout> layout;
    IDWriteTextFormat* format = gfx.formats[static_cast<std::size_t>(style)].Get();
    if (FAILED(gfx.write_factory->CreateTextLayout(
            wide.c_str(), static_cast<UINT32>(wide.size()), format, std::max(max_width, 1.0f),
            wrap_height ? std::max(*wrap_height, 1.0f) : 1000, &layout))) {
        return nullptr;
    }
    layout->SetWordWrapping(wrap_height ? DWRITE_WORD_WRAPPING_WRAP : DWRITE_WORD_WRAPPING_NO_WRAP);
    ComPtr<IDWriteInlineObject> ellipsis;
    if (SUCCEEDED(gfx.write_factory->CreateEllipsisTrimmingSign(format, &ellipsis))) {
        const DWRITE_TRIMMING trimming{DWRITE_TRIMMING_GRANULARITY_CHARACTER, 0, 0};
        layout->SetTrimming(&trimming, ellipsis.Get());
    }
    layout->SetTextAlignment(alignment(align));
    return layout;
}

float text_width(const Gfx& gfx, std::string_view text, TextStyle style) {
    const ComPtr<IDWriteTextLayout> layout = make_layout(gfx, text, 10000, style, Align::Leading);
    if (!layout) return 0;
    DWRITE_TEXT_METRICS metrics{};
    layout->GetMetrics(&metrics);
    return metrics.width;
}

void draw_text(Gfx& gfx, std::string_view text, Box box, Colour colour, TextStyle style, Align align) {
    const ComPtr<IDWriteTextLayout> layout = make_layout(gfx, text, box.width, style, align);
    if (!layout) return;
    gfx.brush->SetColor(d2d(colour));
    gfx.target_view->DrawTextLayout(D2D1_POINT_2F{box.x, centred_top(layout.Get(), box)}, layout.Get(),
                                    gfx.brush.Get(), D2D1_DRAW_TEXT_OPTIONS_CLIP);
}

void draw_paragraph(Gfx& gfx, std::string_view text, Box box, Colour colour, TextStyle style, Align align) {
    const ComPtr<IDWriteTextLayout> layout = make_layout(gfx, text, box.width, style, align, box.height);
    if (!layout) return;
    gfx.brush->SetColor(d2d(colour));
    gfx.target_view->DrawTextLayout(D2D1_POINT_2F{box.x, centred_top(layout.Get(), box)}, layout.Get(),
                                    gfx.brush.Get(), D2D1_DRAW_TEXT_OPTIONS_CLIP);
}

float paragraph_height(const Gfx& gfx, std::string_view text, float width, TextStyle style) {
    const ComPtr<IDWriteTextLayout> layout = make_layout(gfx, text, width, style, Align::Leading, 10000.0f);
    if (!layout) return 0;
    DWRITE_TEXT_METRICS metrics{};
    layout->GetMetrics(&metrics);
    return metrics.height;
}

void draw_icon(Gfx& gfx, std::u32string_view glyphs, Box box, Colour colour, float factor) {
    std::wstring wide;
    for (const char32_t glyph : glyphs)
        wide += static_cast<wchar_t>(glyph);  // the icon font's code points are in the BMP
    ComPtr<IDWriteTextLayout> layout;
    if (FAILED(
            gfx.write_factory->CreateTextLayout(wide.c_str(), static_cast<UINT32>(wide.size()),
                                                gfx.formats[static_cast<std::size_t>(TextStyle::Icons)].Get(),
                                                std::max(box.width, 1.0f), 1000, &layout))) {
        return;
    }
    layout->SetWordWrapping(DWRITE_WORD_WRAPPING_NO_WRAP);
    if (factor != 1) {
        layout->SetFontSize(factor * 16 * gfx.scale, DWRITE_TEXT_RANGE{0, static_cast<UINT32>(wide.size())});
    }
    layout->SetTextAlignment(DWRITE_TEXT_ALIGNMENT_CENTER);
    gfx.brush->SetColor(d2d(colour));
    gfx.target_view->DrawTextLayout(D2D1_POINT_2F{box.x, centred_top(layout.Get(), box)}, layout.Get(),
                                    gfx.brush.Get(), D2D1_DRAW_TEXT_OPTIONS_NONE);
}

void fill(Gfx& gfx, Box box, Colour colour) {
    gfx.brush->SetColor(d2d(colour));
    gfx.target_view->FillRectangle(rect(box), gfx.brush.Get());
}

void fill_rounded(Gfx& gfx, Box box, float radius, Colour colour) {
    gfx.brush->SetColor(d2d(colour));
    gfx.target_view->FillRoundedRectangle(D2D1_ROUNDED_RECT{rect(box), radius, radius}, gfx.brush.Get());
}

void outline(Gfx& gfx, Box box, Colour colour, float width) {
    gfx.brush->SetColor(d2d(colour));
    gfx.target_view->DrawRectangle(rect(box), gfx.brush.Get(), width);
}

}  // namespace spadrim
