#include "Win32Window.h"

#include <windows.h>
#include <windowsx.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "FloatingPointGuard.h"
#include "platform/Resample.h"

namespace platform::win32 {

namespace {

// The class is registered once per module. Two copies of the library in one
// process (two install folders) each get their own name, because the name
// carries the module's load address.
wchar_t g_className[48] = L"";
HINSTANCE g_classInstance = nullptr;
ATOM g_classAtom = 0;

constexpr UINT_PTR kTimerId = 1;

// DIB pixels are 0x00RRGGBB words. GDI leaves the top byte to itself (text
// output may clear it), so every comparison looks at the colour bits only.
constexpr uint32_t kColourBits = 0x00FFFFFFu;

uint32_t Pack(Rgb c) { return (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b; }

Rgb Unpack(uint32_t p) {
    return Rgb{static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p)};
}

void AppendHex(std::wstring& out, uintptr_t value) {
    static const wchar_t kDigits[] = L"0123456789ABCDEF";
    for (int shift = static_cast<int>(sizeof value * 8) - 4; shift >= 0; shift -= 4)
        out += kDigits[(value >> shift) & 0xF];
}

// Sent to a window when its DPI changes: WM_DPICHANGED to top-level
// windows, the second to child windows (Windows 10 1703 and later); older
// headers lack them.
constexpr UINT kDpiChanged = 0x02E0;
constexpr UINT kDpiChangedAfterParent = 0x02E3;

// A top-down 32-bit DIB section; `bits` is its first row.
struct Dib {
    HBITMAP bitmap = nullptr;
    uint32_t* bits = nullptr;

    bool create(int width, int height) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;  // negative: row 0 at the top
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* memory = nullptr;
        bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &memory, nullptr, 0);
        bits = static_cast<uint32_t*>(memory);
        return bitmap != nullptr && bits != nullptr;
    }
    void release() {
        if (bitmap != nullptr)
            DeleteObject(bitmap);
        bitmap = nullptr;
        bits = nullptr;
    }
};

// Image 0 of a one-image list, already in the DIB's pixel format.
class PackedImageList final : public ImageList {
public:
    explicit PackedImageList(const Bitmap& image) : w(image.width), h(image.height) {
        pixels.reserve(image.pixels.size());
        for (const Rgb& c : image.pixels)
            pixels.push_back(Pack(c));
        transparent.resize(pixels.size());
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                transparent[static_cast<size_t>(y) * w + x] = image.transparent(x, y) ? 1 : 0;
    }
    int width() const override { return w; }
    int height() const override { return h; }

    int w, h;
    std::vector<uint32_t> pixels;
    std::vector<uint8_t> transparent;
};

class Win32Window;

// A picture's drawing surface: a DIB section made on the first drawing call
// and filled white, as a new picture bitmap is.
class DibSurface final : public Surface {
public:
    DibSurface(Win32Window& owner, int control, int w, int h) : owner(owner), control(control), w(w), h(h) {}
    ~DibSurface() override { dib.release(); }
    DibSurface(const DibSurface&) = delete;
    DibSurface& operator=(const DibSurface&) = delete;

    int width() const override { return w; }
    int height() const override { return h; }
    bool exists() const { return dib.bits != nullptr; }
    uint32_t raw(int x, int y) const { return dib.bits[static_cast<size_t>(y) * w + x] & kColourBits; }

    void fillRect(const Rect& area, Rgb colour) override;
    void copyRect(const Rect& area, Surface& source) override;
    void drawImage(const ImageList& images, int x, int y) override;
    void drawText(int x, int y, std::string_view text, const FontSpec& font) override;
    Rgb pixel(int x, int y) const override {
        if (!exists() || x < 0 || y < 0 || x >= w || y >= h)
            return Rgb{};
        return Unpack(raw(x, y));
    }

private:
    // Clips to the surface, making the bitmap first if there is none.
    Rect prepare(const Rect& r);
    uint32_t& at(int x, int y) { return dib.bits[static_cast<size_t>(y) * w + x]; }
    void changed();

    Win32Window& owner;
    int control;
    int w, h;
    Dib dib;
};

class Win32Window final : public Window {
public:
    Win32Window(HWND parent, int clientWidth, int clientHeight, Rgb background, WindowEvents& events);
    ~Win32Window() override;
    Win32Window(const Win32Window&) = delete;
    Win32Window& operator=(const Win32Window&) = delete;

    // platform::Window
    int addPicture(const PictureSpec& spec) override;
    Surface& surface(int control) override { return pictures.at(control)->surface; }
    std::unique_ptr<ImageList> createImageList(const Bitmap& image) override {
        return std::make_unique<PackedImageList>(image);
    }
    int clientWidth() const override { return width; }
    int clientHeight() const override { return height; }
    double scale() const override { return shownScale; }
    int drawingScale() const override { return unit; }
    bool setScale(double requested) override;
    // Each does nothing once the system window is gone (destroyed with the
    // host's window before the editor was closed).
    void setPosition(int x, int y) override {
        if (hwnd != nullptr)
            SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    void show() override {
        if (hwnd != nullptr)
            SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    }
    void hide() override {
        if (hwnd != nullptr)
            ShowWindow(hwnd, SW_HIDE);
    }
    bool visible() const override { return hwnd != nullptr && (GetWindowLongW(hwnd, GWL_STYLE) & WS_VISIBLE) != 0; }
    void repaintNow() override {
        if (hwnd != nullptr)
            UpdateWindow(hwnd);
    }
    void startTimer(int intervalMs) override {
        if (hwnd != nullptr)
            SetTimer(hwnd, kTimerId, static_cast<UINT>(intervalMs), nullptr);
    }
    void captureMouse() override {
        if (hwnd != nullptr && GetCapture() != hwnd)
            SetCapture(hwnd);
    }
    void releaseMouse() override {
        if (hwnd != nullptr && GetCapture() == hwnd)
            ReleaseCapture();
    }
    void* nativeHandle() const override { return hwnd; }
    char decimalSeparator() const override;

    // A surface changed: repaint the part of the window it shows.
    void invalidate(int control);
    // Selects `bitmap` and the requested font into the text DC.
    HDC textContext(HBITMAP bitmap, const FontSpec& font);
    void releaseTextContext();

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

private:
    struct Picture {
        Picture(Win32Window& owner, int control, const PictureSpec& s)
            : spec(s), name(s.name), surface(owner, control, s.width, s.height) {
            spec.name = name.c_str();
        }
        PictureSpec spec;
        std::string name;  // owns the text spec.name points to
        DibSurface surface;
    };

    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    // Brings the back buffer's `area` (client pixels) up to date.
    void compose(const RECT& area);
    // Composes the pictures' `area` into a frame of the drawing scale.
    void composeFrame(const Rect& area, uint32_t* out, int frameWidth, int frameHeight);
    // Last in each handler: the editor may close itself, and this object
    // with it, while it handles the event.
    void mouseDown(MouseButton button, WPARAM keys, LPARAM point) {
        // Signed: with the mouse captured the pointer may lie left of or
        // above the window.
        events.onMouseDown(button, (keys & MK_SHIFT) != 0, GET_X_LPARAM(point), GET_Y_LPARAM(point));
    }
    void mouseUp(MouseButton button, WPARAM keys, LPARAM point) {
        events.onMouseUp(button, (keys & MK_SHIFT) != 0, GET_X_LPARAM(point), GET_Y_LPARAM(point));
    }

    HWND hwnd = nullptr;
    int panelWidth, panelHeight;
    int width, height;  // the client size: the panel's times the scale
    double shownScale = 1.0;
    int unit = 1;  // the drawing scale
    // At an in-between scale, the pictures composed at the drawing scale
    // before they are filtered down into the back buffer.
    std::vector<uint32_t> frame;
    uint32_t background;
    WindowEvents& events;
    std::vector<std::unique_ptr<Picture>> pictures;
    Dib backBuffer;
    HDC backDc = nullptr;
    HGDIOBJ backDcDefault = nullptr;
    HDC textDc = nullptr;
    HGDIOBJ textDcDefaultBitmap = nullptr;
    HGDIOBJ textDcDefaultFont = nullptr;
    HFONT font = nullptr;
    std::string fontName;
    int fontPoints = 0;
    int fontScale = 0;
};

// ---------------------------------------------------------------------------
// DibSurface

Rect DibSurface::prepare(const Rect& r) {
    if (!exists()) {
        if (!dib.create(w, h))
            throw std::bad_alloc();
        std::fill(dib.bits, dib.bits + static_cast<size_t>(w) * h, Pack(Rgb{255, 255, 255}));
    }
    return {std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, w), std::min(r.bottom, h)};
}

void DibSurface::changed() { owner.invalidate(control); }

void DibSurface::fillRect(const Rect& area, Rgb colour) {
    const Rect r = prepare(area);
    const uint32_t p = Pack(colour);
    for (int y = r.top; y < r.bottom; ++y)
        std::fill(&at(r.left, y), &at(r.left, y) + std::max(r.right - r.left, 0), p);
    changed();
}

void DibSurface::copyRect(const Rect& area, Surface& source) {
    Rect r = prepare(area);
    r.right = std::min(r.right, source.width());
    r.bottom = std::min(r.bottom, source.height());
    const auto* dibSource = dynamic_cast<const DibSurface*>(&source);
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            at(x, y) = dibSource != nullptr && dibSource->exists() ? dibSource->raw(x, y) : Pack(source.pixel(x, y));
    changed();
}

void DibSurface::drawImage(const ImageList& images, int x0, int y0) {
    const auto& image = static_cast<const PackedImageList&>(images);
    const Rect r = prepare({x0, y0, x0 + image.w, y0 + image.h});
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
            const size_t i = static_cast<size_t>(y - y0) * image.w + (x - x0);
            if (image.transparent[i] == 0)
                at(x, y) = image.pixels[i];
        }
    changed();
}

void DibSurface::drawText(int x, int y, std::string_view text, const FontSpec& spec) {
    prepare({0, 0, 0, 0});
    if (!text.empty()) {
        HDC dc = owner.textContext(dib.bitmap, spec);
        if (dc != nullptr) {
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, RGB(spec.colour.r, spec.colour.g, spec.colour.b));
            SetTextAlign(dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
            TextOutA(dc, x, y, text.data(), static_cast<int>(text.size()));
            owner.releaseTextContext();
        }
        // GDI may batch; the pixels are read directly from here on.
        GdiFlush();
    }
    changed();
}

// ---------------------------------------------------------------------------
// Win32Window

Win32Window::Win32Window(HWND parent, int clientWidth, int clientHeight, Rgb background, WindowEvents& events)
    : panelWidth(clientWidth), panelHeight(clientHeight), width(clientWidth), height(clientHeight),
      background(Pack(background)), events(events) {
    if (!backBuffer.create(width, height))
        throw std::runtime_error("no memory for the editor's back buffer");
    backDc = CreateCompatibleDC(nullptr);
    textDc = CreateCompatibleDC(nullptr);
    if (backDc == nullptr || textDc == nullptr) {
        if (backDc != nullptr)
            DeleteDC(backDc);
        if (textDc != nullptr)
            DeleteDC(textDc);
        backBuffer.release();
        throw std::runtime_error("no device context for the editor");
    }
    backDcDefault = SelectObject(backDc, backBuffer.bitmap);

    // Borderless: the window's rectangle is its client area. Created hidden;
    // the bridge places it and shows it.
    hwnd = CreateWindowExW(0, g_className, L"", WS_CHILD | WS_CLIPSIBLINGS, 0, 0, width, height, parent, nullptr,
                           g_classInstance, this);
    if (hwnd == nullptr) {
        SelectObject(backDc, backDcDefault);
        DeleteDC(backDc);
        DeleteDC(textDc);
        backBuffer.release();
        throw std::runtime_error("cannot create the editor window");
    }
}

Win32Window::~Win32Window() {
    if (hwnd != nullptr) {
        // From here on no message reaches this object, so nothing the
        // window does while it goes away calls back into the editor.
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        KillTimer(hwnd, kTimerId);
        if (GetCapture() == hwnd)
            ReleaseCapture();
        // Only the owning thread can destroy a window; from any other, ask
        // it to (the window procedure then leaves it to DefWindowProc).
        if (!DestroyWindow(hwnd))
            PostMessageW(hwnd, WM_CLOSE, 0, 0);
        hwnd = nullptr;
    }
    if (font != nullptr)
        DeleteObject(font);
    SelectObject(backDc, backDcDefault);
    DeleteDC(backDc);
    DeleteDC(textDc);
    backBuffer.release();
    // The pictures free their own DIB sections.
}

bool Win32Window::setScale(double requested) {
    const double chosen = ChooseScale(requested, hwnd != nullptr ? SystemScale(hwnd) : 0.0);
    if (chosen == shownScale)
        return false;
    const int newWidth = ScaledLength(panelWidth, chosen), newHeight = ScaledLength(panelHeight, chosen);
    const int newUnit = DrawingScaleOf(chosen);
    // Without memory for the new size nothing changes: the window stays as
    // it is.
    std::vector<uint32_t> newFrame;
    if (newUnit != chosen)
        newFrame.resize(static_cast<size_t>(panelWidth) * newUnit * panelHeight * newUnit);
    Dib resized;
    if (!resized.create(newWidth, newHeight))
        throw std::bad_alloc();
    SelectObject(backDc, resized.bitmap);
    backBuffer.release();
    backBuffer = resized;
    frame.swap(newFrame);
    pictures.clear();
    shownScale = chosen;
    unit = newUnit;
    width = newWidth;
    height = newHeight;
    if (hwnd != nullptr) {
        SetWindowPos(hwnd, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        InvalidateRect(hwnd, nullptr, FALSE);
    }
    return true;
}

int Win32Window::addPicture(const PictureSpec& spec) {
    const int control = static_cast<int>(pictures.size());
    auto p = std::make_unique<Picture>(*this, control, spec);
    if (p->spec.clipWidth <= 0)
        p->spec.clipWidth = spec.width;
    if (p->spec.clipHeight <= 0)
        p->spec.clipHeight = spec.height;
    pictures.push_back(std::move(p));
    return control;
}

char Win32Window::decimalSeparator() const {
    wchar_t text[8] = {};
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, text, 8) <= 0 || text[0] == 0)
        return '.';
    if (text[0] < 0x80)
        return static_cast<char>(text[0]);
    // The read-out is written in the ANSI code page: a separator that has
    // no single byte there cannot be shown, and a full stop stands in.
    char byte = 0;
    BOOL defaulted = FALSE;
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, 1, &byte, 1, nullptr, &defaulted) == 1 &&
        !defaulted && byte != 0)
        return byte;
    return '.';
}

void Win32Window::invalidate(int control) {
    const PictureSpec& s = pictures[control]->spec;
    if (!s.visible || hwnd == nullptr)
        return;
    Rect area{s.left, s.top, s.left + s.clipWidth, s.top + s.clipHeight};
    if (unit != shownScale)
        area = ClientAreaOf(panelWidth * unit, panelHeight * unit, width, height, area);
    RECT r{area.left, area.top, area.right, area.bottom};
    InvalidateRect(hwnd, &r, FALSE);
}

HDC Win32Window::textContext(HBITMAP bitmap, const FontSpec& spec) {
    const std::string name = spec.name != nullptr ? spec.name : "";
    if (font == nullptr || name != fontName || spec.points != fontPoints || spec.scale != fontScale) {
        // The window is laid out at 96 pixels per inch, so its points are
        // converted at 96 whatever the screen's setting, and then drawn at
        // the drawing scale.
        HFONT made = CreateFontA(-MulDiv(spec.points, 96, 72) * std::max(spec.scale, 1), 0, 0, 0, FW_NORMAL,
                                 FALSE, FALSE, FALSE,
                                 DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                 DEFAULT_PITCH | FF_DONTCARE, name.c_str());
        if (made == nullptr)
            return nullptr;
        if (font != nullptr)
            DeleteObject(font);
        font = made;
        fontName = name;
        fontPoints = spec.points;
        fontScale = spec.scale;
    }
    textDcDefaultBitmap = SelectObject(textDc, bitmap);
    textDcDefaultFont = SelectObject(textDc, font);
    return textDc;
}

void Win32Window::releaseTextContext() {
    // A DIB section may be deleted only while no DC holds it.
    SelectObject(textDc, textDcDefaultFont);
    SelectObject(textDc, textDcDefaultBitmap);
}

void Win32Window::compose(const RECT& client) {
    if (unit != shownScale) {
        // An in-between scale: compose what the client area reads at the
        // drawing scale, then filter it down into the back buffer.
        const int fw = panelWidth * unit, fh = panelHeight * unit;
        const Rect area{client.left, client.top, client.right, client.bottom};
        composeFrame(FrameAreaOf(fw, fh, width, height, area), frame.data(), fw, fh);
        FilterDown(
            fw, fh, width, height, area,
            [this, fw](int x, int y) { return Unpack(frame[static_cast<size_t>(y) * fw + x]); },
            [this](int x, int y, Rgb c) { backBuffer.bits[static_cast<size_t>(y) * width + x] = Pack(c); });
        return;
    }
    composeFrame({client.left, client.top, client.right, client.bottom}, backBuffer.bits, width, height);
}

void Win32Window::composeFrame(const Rect& area, uint32_t* out, int frameWidth, int frameHeight) {
    const int x0 = std::max<int>(area.left, 0), y0 = std::max<int>(area.top, 0);
    const int x1 = std::min<int>(area.right, frameWidth), y1 = std::min<int>(area.bottom, frameHeight);
    if (x0 >= x1 || y0 >= y1)
        return;
    GdiFlush();
    for (int y = y0; y < y1; ++y)
        std::fill(out + static_cast<size_t>(y) * frameWidth + x0, out + static_cast<size_t>(y) * frameWidth + x1,
                  background);
    for (const auto& p : pictures) {
        const PictureSpec& s = p->spec;
        const DibSurface& surface = p->surface;
        if (!s.visible || !surface.exists())
            continue;
        const uint32_t key = Pack(surface.pixel(0, s.height - 1));
        const int left = std::max(x0, s.left), right = std::min(x1, s.left + s.clipWidth);
        const int top = std::max(y0, s.top), bottom = std::min(y1, s.top + s.clipHeight);
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x) {
                const uint32_t c = Pack(surface.pixel(x - s.left, y - s.top));
                if (s.transparent && c == key)
                    continue;
                out[static_cast<size_t>(y) * frameWidth + x] = c;
            }
    }
}

LRESULT Win32Window::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND:
        return 1;  // the paint covers every pixel
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        if (dc != nullptr) {
            compose(ps.rcPaint);
            BitBlt(dc, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right - ps.rcPaint.left,
                   ps.rcPaint.bottom - ps.rcPaint.top, backDc, ps.rcPaint.left, ps.rcPaint.top, SRCCOPY);
        }
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_PRINTCLIENT: {
        const RECT all{0, 0, width, height};
        compose(all);
        BitBlt(reinterpret_cast<HDC>(wParam), 0, 0, width, height, backDc, 0, 0, SRCCOPY);
        return 0;
    }
    case WM_TIMER:
        if (wParam == kTimerId)
            events.onTimer();
        return 0;
    case WM_LBUTTONDOWN:
        mouseDown(MouseButton::Left, wParam, lParam);
        return 0;
    case WM_RBUTTONDOWN:
        mouseDown(MouseButton::Right, wParam, lParam);
        return 0;
    case WM_MBUTTONDOWN:
        mouseDown(MouseButton::Middle, wParam, lParam);
        return 0;
    case WM_LBUTTONUP:
        mouseUp(MouseButton::Left, wParam, lParam);
        return 0;
    case WM_RBUTTONUP:
        mouseUp(MouseButton::Right, wParam, lParam);
        return 0;
    case WM_MBUTTONUP:
        mouseUp(MouseButton::Middle, wParam, lParam);
        return 0;
    case WM_MOUSEMOVE:
        events.onMouseMove((wParam & MK_SHIFT) != 0, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_CAPTURECHANGED:
        // Something else took the mouse (a host dialog, a task switch)
        // while the editor may hold it for a drag: no button-up will come.
        if (reinterpret_cast<HWND>(lParam) != hwnd)
            events.onCaptureLost();
        return 0;
    case kDpiChanged:
    case kDpiChangedAfterParent:
        // Moved to a screen of another density (or the user changed it):
        // the editor decides whether to follow.
        events.onSystemScaleChanged();
        return 0;
    case WM_DESTROY:
        KillTimer(hwnd, kTimerId);
        return 0;
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

LRESULT CALLBACK Win32Window::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // The host's message loop may run with floating-point exceptions
    // unmasked; the timer's refresh pass and the mouse handlers compute.
    fpenv::FloatingPointGuard guard;
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* self = static_cast<Win32Window*>(create->lpCreateParams);
        self->hwnd = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        // The last message: the system window is going (with the host's
        // window, if the host destroyed that first), and its handle may
        // soon name another window. Forget it, so that nothing here (the
        // destructor above all) calls a window by it again.
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd = nullptr;
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    // Nothing may unwind into the host's message loop.
    try {
        return self->handle(message, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

}  // namespace

// The system's scale for a window: its DPI over 96 where the thread that
// runs it is DPI-aware. In a thread that is not, the system itself scales
// the window's pixels up, so the editor draws at 1. The functions come with
// Windows 10 (1607) and are looked up at run time, as older systems and
// older wine lack them; there a process that declared itself aware gets
// the screen's DPI. The process's awareness is the host's business and is
// never changed here. Without a window (null), the system's DPI, which a
// new window on the primary screen takes.
double SystemScale(void* window) {
    const HWND hwnd = static_cast<HWND>(window);
    using GetDpiForWindowProc = UINT(WINAPI*)(HWND);
    using GetDpiForSystemProc = UINT(WINAPI*)();
    using GetThreadDpiAwarenessContextProc = HANDLE(WINAPI*)();  // a DPI_AWARENESS_CONTEXT
    using GetAwarenessFromDpiAwarenessContextProc = int(WINAPI*)(HANDLE);
    using IsProcessDPIAwareProc = BOOL(WINAPI*)();
    constexpr int kDpiUnaware = 0;  // DPI_AWARENESS_UNAWARE
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    if (user32 == nullptr)
        return 1.0;
    auto lookUp = [user32](const char* name) { return reinterpret_cast<void*>(GetProcAddress(user32, name)); };
    const auto dpiForWindow = reinterpret_cast<GetDpiForWindowProc>(lookUp("GetDpiForWindow"));
    const auto dpiForSystem = reinterpret_cast<GetDpiForSystemProc>(lookUp("GetDpiForSystem"));
    const auto threadContext =
        reinterpret_cast<GetThreadDpiAwarenessContextProc>(lookUp("GetThreadDpiAwarenessContext"));
    const auto awarenessOf =
        reinterpret_cast<GetAwarenessFromDpiAwarenessContextProc>(lookUp("GetAwarenessFromDpiAwarenessContext"));
    if (dpiForWindow != nullptr && dpiForSystem != nullptr && threadContext != nullptr && awarenessOf != nullptr) {
        if (awarenessOf(threadContext()) == kDpiUnaware)
            return 1.0;
        const UINT dpi = hwnd != nullptr ? dpiForWindow(hwnd) : dpiForSystem();
        return dpi > 0 ? dpi / 96.0 : 1.0;
    }
    const auto processAware = reinterpret_cast<IsProcessDPIAwareProc>(lookUp("IsProcessDPIAware"));
    if (processAware == nullptr || !processAware())
        return 1.0;
    double scale = 1.0;
    if (HDC screen = GetDC(nullptr)) {
        const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
        if (dpi > 0)
            scale = dpi / 96.0;
        ReleaseDC(nullptr, screen);
    }
    return scale;
}

bool RegisterEditorClass(void* instance) {
    if (g_classAtom != 0)
        return true;
    HINSTANCE module = static_cast<HINSTANCE>(instance);
    std::wstring name = L"Halvorine.Editor.";
    AppendHex(name, reinterpret_cast<uintptr_t>(module));
    if (name.size() >= sizeof g_className / sizeof g_className[0])
        return false;
    std::copy(name.begin(), name.end(), g_className);
    g_className[name.size()] = L'\0';

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = 0;  // fixed size, no double-click messages: two presses stay two presses
    wc.lpfnWndProc = &Win32Window::WindowProc;
    wc.hInstance = module;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = nullptr;  // the window paints every pixel itself
    wc.lpszClassName = g_className;
    g_classAtom = RegisterClassExW(&wc);
    if (g_classAtom == 0) {
        g_className[0] = L'\0';
        return false;
    }
    g_classInstance = module;
    return true;
}

void UnregisterEditorClass(void* instance) {
    if (g_classAtom == 0)
        return;
    UnregisterClassW(g_className, static_cast<HINSTANCE>(instance));
    g_classAtom = 0;
    g_classInstance = nullptr;
    g_className[0] = L'\0';
}

const wchar_t* EditorClassName() { return g_className; }

std::unique_ptr<Window> CreateWin32Window(void* parent, int clientWidth, int clientHeight, Rgb background,
                                          WindowEvents& events) {
    HWND parentWindow = static_cast<HWND>(parent);
    if (parentWindow == nullptr || !IsWindow(parentWindow))
        throw std::runtime_error("the host gave no window to open the editor in");
    if (g_classAtom == 0) {
        // The load hook registers the class; should it have failed there,
        // try once more now, outside the loader lock, for the module that
        // holds this code.
        HMODULE module = nullptr;
        if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                reinterpret_cast<LPCWSTR>(&Win32Window::WindowProc), &module) ||
            !RegisterEditorClass(module))
            throw std::runtime_error("the editor's window class is not registered");
    }
    return std::make_unique<Win32Window>(parentWindow, clientWidth, clientHeight, background, events);
}

}  // namespace platform::win32
