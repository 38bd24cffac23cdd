// The window services the editor needs from an operating system, and
// nothing more.
//
// The editor's logic (uEditor) builds its controls on a platform::Window,
// draws on their surfaces and receives timer ticks and mouse events through
// platform::WindowEvents. A backend (headless/, win32/, x11/) implements
// Window, Surface and ImageList; it never knows what the controls mean.
//
// Threads: every call on these classes, and every call a backend makes into
// WindowEvents, happens on the thread that owns the window (the host's
// user-interface thread). Nothing here is meant for the audio thread.
//
// Coordinates are pixels; a Rect's right and bottom are exclusive.
//
// Scale. A window shows a panel of fixed size in panel units (the editor's
// 398 x 241) at a scale: `scale()` screen pixels per panel unit, 1 to 3 in
// quarters. Its pictures, surfaces, images and text are drawn natively at
// the integer drawing scale `drawingScale()` (the scale rounded up), so
// every picture spec and drawing call is in pixels of that scale; the
// backend shows the composed frame as it is when the two scales are equal
// and filtered down to the client size otherwise (see Resample.h). Mouse
// events are in client (screen) pixels. At scale 1 nothing of this shows:
// frame, client and panel are one.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace platform {

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(Rgb a, Rgb b) { return a.r == b.r && a.g == b.g && a.b == b.b; }
    friend bool operator!=(Rgb a, Rgb b) { return !(a == b); }
};

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// A decoded bitmap: 24-bit colour, row 0 at the top, and an optional 1-bit
// mask (empty, or one entry per pixel, non-zero = transparent).
struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<Rgb> pixels;
    std::vector<uint8_t> mask;

    Rgb at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    bool transparent(int x, int y) const {
        return !mask.empty() && mask[static_cast<size_t>(y) * width + x] != 0;
    }
};

// A one-image list: a colour image and its transparency mask, ready for
// Surface::drawImage. Made by Window::createImageList.
class ImageList {
public:
    virtual ~ImageList() = default;
    virtual int width() const = 0;
    virtual int height() const = 0;
};

// A font request. On Windows the named system font; elsewhere the baked
// read-out font stands in for it (see editor/font/).
struct FontSpec {
    const char* name = "Arial";
    int points = 8;
    Rgb colour{0, 0, 0};
    // The drawing scale: the text is `scale` times the size the points
    // give at 96 pixels per inch (1, 2 or 3).
    int scale = 1;
};

// The drawing surface of a picture control. Its bitmap has the control's
// width and height and comes into being on the first drawing call; until
// then the picture shows nothing. Every drawing call marks the control for
// repainting.
class Surface {
public:
    virtual ~Surface() = default;
    virtual int width() const = 0;
    virtual int height() const = 0;

    // Fills `area` (clipped to the surface) with one colour.
    virtual void fillRect(const Rect& area, Rgb colour) = 0;
    // Copies `area` of `source` to the same rectangle of this surface,
    // pixel for pixel (clipped to both).
    virtual void copyRect(const Rect& area, Surface& source) = 0;
    // Draws image 0 of `images` with its top-left corner at (x, y); pixels
    // that the mask marks transparent leave the surface untouched.
    virtual void drawImage(const ImageList& images, int x, int y) = 0;
    // Writes `text` with its cell's top-left corner at (x, y), in the given
    // font and colour, over a clear background (the cells are not filled).
    virtual void drawText(int x, int y, std::string_view text, const FontSpec& font) = 0;

    // Reads one pixel back (tests, snapshots). Black before the bitmap exists.
    virtual Rgb pixel(int x, int y) const = 0;
};

// A picture control: a rectangle of the window that shows its surface.
struct PictureSpec {
    const char* name = "";
    int left = 0, top = 0, width = 0, height = 0;
    // The visible part, from the control's top-left corner (a parent panel
    // that clips it); 0 means the whole control.
    int clipWidth = 0, clipHeight = 0;
    bool visible = true;
    // Transparent: pixels of the colour of the surface's bottom-left pixel
    // are not painted, so what lies under the control shows through.
    bool transparent = false;
    // Takes the mouse: the editor's logic hands the window's mouse input to
    // the topmost visible picture under the pointer if it has this set.
    // Backends do not look at it.
    bool mouseEvents = false;
};

enum class MouseButton { Left, Right, Middle };

// What a backend calls on the editor's logic: the window's timer and its
// raw mouse input, in client coordinates (signed: while the mouse is
// captured the pointer may lie outside the window). Which control a point
// belongs to, and which control holds the mouse, is the logic's business.
class WindowEvents {
public:
    virtual ~WindowEvents() = default;
    // One tick of the repeating timer started by Window::startTimer.
    virtual void onTimer() = 0;
    // A button went down or up, or the pointer moved, anywhere in the
    // window, or anywhere at all while the window holds the mouse
    // (Window::captureMouse). Every button is reported, pressed or released.
    virtual void onMouseDown(MouseButton button, bool shift, int x, int y) = 0;
    virtual void onMouseMove(bool shift, int x, int y) = 0;
    virtual void onMouseUp(MouseButton button, bool shift, int x, int y) = 0;
    // The system took the mouse away from the window while it held it (a
    // host dialog, the window unmapped mid-drag): no button-up will come.
    // Spurious calls, with the mouse not held, are harmless.
    virtual void onCaptureLost() = 0;
    // The system's scale for the window changed (it moved to a screen of
    // another density). The window keeps its scale until it is told a new
    // one (Window::setScale); the default ignores the news.
    virtual void onSystemScaleChanged() {}
};

// A borderless child window of fixed client size inside a host's window.
// It paints its pictures back to front in the order they were added,
// double-buffered, over its background colour. Destroying it stops its
// timer and releases the mouse; no event arrives afterwards.
class Window {
public:
    virtual ~Window() = default;

    // Adds a picture control on top of the earlier ones; answers its index
    // (0, 1, 2, ... in order of addition).
    virtual int addPicture(const PictureSpec& spec) = 0;
    virtual Surface& surface(int control) = 0;
    virtual std::unique_ptr<ImageList> createImageList(const Bitmap& image) = 0;

    // The client size in screen pixels: the panel's size times the scale.
    virtual int clientWidth() const = 0;
    virtual int clientHeight() const = 0;
    // Screen pixels per panel unit (1 to 3, in quarters), and the integer
    // scale the pictures are drawn at (the scale rounded up).
    virtual double scale() const = 0;
    virtual int drawingScale() const = 0;
    // Shows the panel at a new scale: `requested` as ChooseScale takes it
    // (0 for the system's). If the chosen scale differs from the present
    // one, the window takes the new client size and removes every picture,
    // which the caller then adds again at the new drawing scale, and the
    // answer is true; otherwise nothing changes and the answer is false.
    // Image lists made earlier stay valid.
    virtual bool setScale(double requested) = 0;
    // Places the window's top-left corner in its parent.
    virtual void setPosition(int x, int y) = 0;
    // Makes the window visible and brings it in front of its siblings.
    virtual void show() = 0;
    virtual void hide() = 0;
    virtual bool visible() const = 0;
    // Repaints at once whatever is marked for repainting.
    virtual void repaintNow() = 0;

    // Starts the repeating timer; ticks arrive as WindowEvents::onTimer.
    virtual void startTimer(int intervalMs) = 0;
    // For a host that drives the window from its own loop, where the window
    // has no timer of its own that runs by itself (X11, whose host owns the
    // thread's loop): the descriptor to watch for reading, on which
    // repaintNow is due; -1 where the window needs no such host.
    virtual int loopConnection() const { return -1; }
    // One tick of the window's timer, due now however long ago the last one
    // ran, then what repaintNow does. (repaintNow alone ticks only when the
    // timer's interval has passed, which a host timer of the same period
    // reaches only every other time.)
    virtual void runTimerNow() { repaintNow(); }
    // Mouse capture: from captureMouse until releaseMouse (or until the
    // system ends it, WindowEvents::onCaptureLost), every move and button
    // event comes to this window wherever the pointer is. Both are harmless
    // when repeated.
    virtual void captureMouse() = 0;
    virtual void releaseMouse() = 0;
    // The native window (an HWND, an X Window id in the pointer), or null
    // for a window that exists only in memory.
    virtual void* nativeHandle() const = 0;
    // The user's decimal separator for numbers shown to them ('.' when the
    // system sets none).
    virtual char decimalSeparator() const = 0;
};

// Creates a window as a child of `parent` (the host's native window handle;
// the headless backend accepts anything, null included), showing a panel of
// the given size at scale 1 (Window::setScale chooses another), with the
// given background colour, sending its events to `events`, which
// must outlive it. Never answers null.
using WindowFactory = std::unique_ptr<Window> (*)(void* parent, int clientWidth, int clientHeight,
                                                  Rgb background, WindowEvents& events);

std::unique_ptr<Window> createWindow(void* parent, int clientWidth, int clientHeight, Rgb background,
                                     WindowEvents& events);

// Chooses the backend that createWindow uses from now on and answers the
// previous one. The headless backend is the default, so every build can
// open its editor; a native backend installs itself when the module loads.
// Call it only while no editor is being opened.
WindowFactory setWindowFactory(WindowFactory factory);

// A window backend as an editor embedded in a host's window uses it: how
// its windows are made (null: createWindow's), and the system's scale for
// a window not yet made, as the window will read it once it exists (null:
// none known before there is a window).
struct Backend {
    WindowFactory create = nullptr;
    double (*systemScale)() = nullptr;
};

// The scale a window shows its panel at, from what asks for one, first
// match wins:
//   1. the environment variable HALVORINE_SCALE ("2", "1.5", "150%"), for
//      users whose host gets it wrong;
//   2. `requested`, the host's scale, when it is above 0;
//   3. `system`, the system's scale for the window (its screen's density),
//      when it is above 0;
//   4. 1.
// The result is rounded to the nearest quarter and held within 1 to 3.
// Values that are not finite numbers are passed over.
double ChooseScale(double requested, double system);
// Reads a decimal number ("2", "1.5", ".75"; blanks before it skipped) in
// the same notation whatever the C library's locale: a host in a locale
// whose decimal separator is a comma must not turn "1.5" into 1. Answers
// where the number ends, or null (and `value` untouched) if there is none.
const char* ReadDecimal(const char* text, double& value);
// The integer scale pictures are drawn at for a scale: rounded up.
int DrawingScaleOf(double scale);
// A length of `units` panel units in screen pixels at `scale`, rounded.
int ScaledLength(int units, double scale);
// A client coordinate in screen pixels back in panel units at `scale`: the
// unit that the pixel's centre lies in (also left of and above the window).
int PanelUnits(int pixels, double scale);

}  // namespace platform
