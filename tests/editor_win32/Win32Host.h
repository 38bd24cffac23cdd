// A Windows host for the editor tests: a top-level window to open the
// editor in, a message pump, the editor's child windows, captures of them,
// and the headless picture of the same state to compare them with.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "TestHost.h"
#include "platform/Platform.h"

namespace w32test {

// The host's top-level window, shown on the screen, with a client area of
// the size the editor asks for before it opens.
class HostWindow {
public:
    HostWindow();
    ~HostWindow();
    HWND handle() const { return hwnd; }

private:
    HWND hwnd = nullptr;
};

// Runs the thread's messages for `ms` milliseconds (timer ticks, posted
// mouse messages, paints).
void Pump(int ms);
// Runs the messages already queued, without waiting.
void PumpQueued();

// The editor windows inside `parent`, found by their class (the library
// registers a class whose name starts with this prefix).
constexpr const wchar_t* kEditorClassPrefix = L"Halvorine.Editor.";
std::vector<HWND> EditorWindows(HWND parent);
bool IsEditorClass(HWND hwnd);

// The window's client area as RGB pixels: through WM_PRINTCLIENT, through
// PrintWindow, and read back from the screen (its window DC).
platform::Bitmap CaptureByPrintClient(HWND hwnd);
platform::Bitmap CaptureByPrintWindow(HWND hwnd);
platform::Bitmap CaptureFromScreen(HWND hwnd);
// The whole window, frame and title included, as the screen shows it.
platform::Bitmap CaptureWindowFromScreen(HWND hwnd);

// Pixels of `a` and `b` that differ outside `excluded` (a client rect);
// the first difference is described in `first`.
int CountDifferences(const platform::Bitmap& a, const platform::Bitmap& b, const RECT& excluded,
                     std::string* first = nullptr);

// Writes an RGB bitmap as a 24-bit .bmp file (for looking at it).
bool WriteBmp(const platform::Bitmap& image, const std::string& path);

// The read-out strip in client coordinates: where GDI text and the baked
// font legitimately differ.
constexpr RECT kReadoutStrip{20, 210, 220, 233};

// Client point of slider-relative x on the slider of parameter `index`.
POINT SliderPoint(int index, int x);
LPARAM PointParam(int x, int y);  // signed x and y, as the system packs them

// A plug-in instance loaded from the module, with the editor requests.
struct Instance {
    explicit Instance(testhost::Host& host);
    ~Instance();
    void close();  // effClose; the destructor does it if not done
    VstIntPtr open(HWND parent) { return testhost::dispatch(effect, effEditOpen, 0, 0, parent); }
    void closeEditor() { testhost::dispatch(effect, effEditClose); }
    ERect rect();
    AEffect* effect = nullptr;
};

}  // namespace w32test
