#include "Win32Host.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>

namespace w32test {

namespace {

constexpr const wchar_t* kHostClass = L"HalvorineTestHostWindow";

LRESULT CALLBACK HostProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// A top-down 32-bit DIB section selected into its own memory DC.
struct Canvas {
    Canvas(int w, int h) : w(w), h(h) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0);
        old = SelectObject(dc, bitmap);
        // A colour the editor never paints, so that an unpainted capture
        // cannot pass for a picture.
        for (int i = 0; i < w * h; ++i)
            bits[i] = 0x00FF00FF;
    }
    ~Canvas() {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    platform::Bitmap toBitmap() const {
        GdiFlush();
        platform::Bitmap out;
        out.width = w;
        out.height = h;
        for (int i = 0; i < w * h; ++i)
            out.pixels.push_back({static_cast<uint8_t>(bits[i] >> 16), static_cast<uint8_t>(bits[i] >> 8),
                                  static_cast<uint8_t>(bits[i])});
        return out;
    }
    int w, h;
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
    uint32_t* bits = nullptr;
};

SIZE ClientSize(HWND hwnd) {
    RECT r{};
    GetClientRect(hwnd, &r);
    return {r.right - r.left, r.bottom - r.top};
}

BOOL CALLBACK CollectEditor(HWND hwnd, LPARAM out) {
    if (IsEditorClass(hwnd))
        reinterpret_cast<std::vector<HWND>*>(out)->push_back(hwnd);
    return TRUE;
}

}  // namespace

HostWindow::HostWindow() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = HostProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kHostClass;
    RegisterClassExW(&wc);  // fails harmlessly from the second window on
    // A client area of 665 x 518, the size the editor asks for while closed.
    RECT r{0, 0, 665, 518};
    AdjustWindowRectEx(&r, WS_OVERLAPPEDWINDOW, FALSE, 0);
    // Away from the screen's corner, so that the pointer can leave it on
    // every side.
    hwnd = CreateWindowExW(0, kHostClass, L"Halvorine test host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 60, 40,
                           r.right - r.left, r.bottom - r.top, nullptr, nullptr, GetModuleHandleW(nullptr),
                           nullptr);
    ShowWindow(hwnd, SW_SHOWNORMAL);
    UpdateWindow(hwnd);
    PumpQueued();
}

HostWindow::~HostWindow() {
    DestroyWindow(hwnd);
    PumpQueued();
}

void PumpQueued() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void Pump(int ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        PumpQueued();
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= static_cast<DWORD>(ms))
            break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(ms) - elapsed, QS_ALLINPUT);
    }
}

bool IsEditorClass(HWND hwnd) {
    wchar_t name[128] = {};
    GetClassNameW(hwnd, name, 128);
    return std::wcsncmp(name, kEditorClassPrefix, std::wcslen(kEditorClassPrefix)) == 0;
}

std::vector<HWND> EditorWindows(HWND parent) {
    std::vector<HWND> found;
    EnumChildWindows(parent, CollectEditor, reinterpret_cast<LPARAM>(&found));
    return found;
}

platform::Bitmap CaptureByPrintClient(HWND hwnd) {
    const SIZE s = ClientSize(hwnd);
    Canvas canvas(s.cx, s.cy);
    SendMessageW(hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.dc), PRF_CLIENT);
    return canvas.toBitmap();
}

platform::Bitmap CaptureByPrintWindow(HWND hwnd) {
    const SIZE s = ClientSize(hwnd);
    Canvas canvas(s.cx, s.cy);
    PrintWindow(hwnd, canvas.dc, PW_CLIENTONLY);
    return canvas.toBitmap();
}

platform::Bitmap CaptureFromScreen(HWND hwnd) {
    const SIZE s = ClientSize(hwnd);
    Canvas canvas(s.cx, s.cy);
    UpdateWindow(hwnd);
    HDC dc = GetDC(hwnd);
    BitBlt(canvas.dc, 0, 0, s.cx, s.cy, dc, 0, 0, SRCCOPY);
    ReleaseDC(hwnd, dc);
    return canvas.toBitmap();
}

platform::Bitmap CaptureWindowFromScreen(HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    Canvas canvas(r.right - r.left, r.bottom - r.top);
    HDC dc = GetDC(nullptr);
    BitBlt(canvas.dc, 0, 0, canvas.w, canvas.h, dc, r.left, r.top, SRCCOPY);
    ReleaseDC(nullptr, dc);
    return canvas.toBitmap();
}

int CountDifferences(const platform::Bitmap& a, const platform::Bitmap& b, const RECT& excluded, std::string* first) {
    if (a.width != b.width || a.height != b.height) {
        if (first != nullptr)
            *first = "sizes differ";
        return a.width * a.height + 1;
    }
    int n = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            if (x >= excluded.left && x < excluded.right && y >= excluded.top && y < excluded.bottom)
                continue;
            const platform::Rgb p = a.at(x, y), q = b.at(x, y);
            if (p == q)
                continue;
            if (n++ == 0 && first != nullptr) {
                char text[128];
                std::snprintf(text, sizeof text, "first at (%d, %d): %d,%d,%d against %d,%d,%d", x, y, p.r, p.g, p.b,
                              q.r, q.g, q.b);
                *first = text;
            }
        }
    return n;
}

bool WriteBmp(const platform::Bitmap& image, const std::string& path) {
    const int rowBytes = (image.width * 3 + 3) & ~3;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(rowBytes) * image.height;
    info.biSize = sizeof info;
    info.biWidth = image.width;
    info.biHeight = image.height;  // bottom-up
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    std::fwrite(&file, sizeof file, 1, f);
    std::fwrite(&info, sizeof info, 1, f);
    std::vector<uint8_t> row(static_cast<size_t>(rowBytes));
    for (int y = image.height - 1; y >= 0; --y) {
        for (int x = 0; x < image.width; ++x) {
            const platform::Rgb c = image.at(x, y);
            row[static_cast<size_t>(x) * 3] = c.b;
            row[static_cast<size_t>(x) * 3 + 1] = c.g;
            row[static_cast<size_t>(x) * 3 + 2] = c.r;
        }
        std::fwrite(row.data(), row.size(), 1, f);
    }
    return std::fclose(f) == 0;
}

POINT SliderPoint(int index, int x) {
    // The slider table's left and top edges (the window's layout), by
    // parameter index.
    static const POINT kOrigins[22] = {
        {20, 30},   {20, 60},   {20, 90},   {20, 120},  {20, 150},  {20, 180},  {150, 30},  {150, 50},
        {150, 70},  {150, 90},  {150, 120}, {150, 140}, {150, 160}, {150, 180}, {280, 30},  {280, 50},
        {280, 70},  {280, 90},  {280, 120}, {280, 140}, {280, 160}, {280, 180}};
    return {kOrigins[index].x + x, kOrigins[index].y + 6};
}

LPARAM PointParam(int x, int y) {
    return MAKELPARAM(static_cast<WORD>(static_cast<short>(x)), static_cast<WORD>(static_cast<short>(y)));
}

Instance::Instance(testhost::Host& host) : effect(host.create()) {}

Instance::~Instance() { close(); }

void Instance::close() {
    if (effect != nullptr)
        testhost::dispatch(effect, effClose);
    effect = nullptr;
}

ERect Instance::rect() {
    ERect* r = nullptr;
    testhost::dispatch(effect, effEditGetRect, 0, 0, &r);
    return r != nullptr ? *r : ERect{-1, -1, -1, -1};
}

}  // namespace w32test
