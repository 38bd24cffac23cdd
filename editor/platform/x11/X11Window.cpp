#include "X11Window.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <stdexcept>
#include <vector>

#include "FloatingPointGuard.h"
#include "platform/Resample.h"
#include "platform/headless/HeadlessWindow.h"

namespace platform::x11 {

namespace {

// ---------------------------------------------------------------------------
// X errors. Xlib reports them through one process-wide handler, whose
// default ends the process, and a host installs its own. While the backend
// reads its connection it installs a handler that swallows the errors of
// that connection (a parent that the host destroyed first, a window id that
// was never valid) and hands any other to the handler it replaced. Every
// Xlib call that may read a connection of ours runs inside a trap and ends
// with XSync, so no error of ours is left for a later reader. A trap covers
// those calls and nothing else: never the editor's handlers, which call the
// host. So whenever the host's code runs, on this thread or after the
// library is gone, the process-wide handler is the host's own, and a
// handler that the host installs meanwhile never hands errors on to ours.

class ErrorTrap {
public:
    explicit ErrorTrap(Display* display) : display(display), outer(innermost) {
        innermost = this;
        std::lock_guard<std::mutex> lock(installLock);
        if (installed++ == 0) {
            const XErrorHandler previous = XSetErrorHandler(&ErrorTrap::handle);
            // Ours is already installed if a handler put over it (see
            // below) was later removed by its owner; it must never hand
            // errors on to itself.
            if (previous != &ErrorTrap::handle)
                replaced.store(previous);
        }
    }
    ~ErrorTrap() {
        innermost = outer;
        std::lock_guard<std::mutex> lock(installLock);
        if (--installed == 0) {
            // Xlib can only swap handlers, not compare them: put the saved
            // one back and, should another than ours have been installed
            // meanwhile (a host's, from inside one of our events), reinstall
            // that one and leave it. Ours then forwards to the saved handler
            // if it is ever called again.
            const XErrorHandler current = XSetErrorHandler(replaced.load());
            if (current != &ErrorTrap::handle)
                XSetErrorHandler(current);
        }
    }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

    // Waits until the server has run every request so far; answers whether
    // any of them failed since the trap was set.
    bool syncFailed() {
        XSync(display, False);
        return failed;
    }

private:
    static int handle(Display* d, XErrorEvent* error) {
        // Xlib calls the handler on the thread that reads the connection,
        // which for ours is the thread that set the trap.
        for (ErrorTrap* t = innermost; t != nullptr; t = t->outer)
            if (t->display == d) {
                t->failed = true;
                return 0;
            }
        // Another connection's error, on any thread: read without the lock
        // (the handler may run while a trap on another thread holds it).
        const XErrorHandler next = replaced.load();
        return next != nullptr ? next(d, error) : 0;
    }

    // Traps nest (a window destroyed from inside an event that the backend
    // is handling); each thread has its own chain, for hosts that give
    // editors threads of their own. The handler is installed once while
    // any thread has a trap set.
    static inline thread_local ErrorTrap* innermost = nullptr;
    static inline std::mutex installLock;
    static inline int installed = 0;
    static inline std::atomic<XErrorHandler> replaced{nullptr};
    Display* display;
    ErrorTrap* outer;
    bool failed = false;
};

// ---------------------------------------------------------------------------
// Pixels in the visual's format.

// Where one 8-bit channel goes in a pixel value of a true-colour visual.
struct Channel {
    int shift = 0;  // lowest bit of the mask
    int bits = 0;   // width of the mask
    explicit Channel(unsigned long mask = 0) {
        if (mask == 0)
            return;
        while (((mask >> shift) & 1) == 0)
            ++shift;
        while (shift + bits < static_cast<int>(8 * sizeof mask) && ((mask >> (shift + bits)) & 1) != 0)
            ++bits;
    }
    unsigned long place(uint8_t v) const {
        return bits >= 8 ? static_cast<unsigned long>(v) << (shift + bits - 8)
                         : static_cast<unsigned long>(v >> (8 - bits)) << shift;
    }
};

// Far more than a pointer sends between two idle calls.
constexpr int kMaxEventsPerPump = 512;

Rect Intersect(const Rect& a, const Rect& b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
}
bool Empty(const Rect& r) { return r.left >= r.right || r.top >= r.bottom; }
void Unite(Rect& into, const Rect& r) {
    if (Empty(r))
        return;
    if (Empty(into)) {
        into = r;
        return;
    }
    into = {std::min(into.left, r.left), std::min(into.top, r.top), std::max(into.right, r.right),
            std::max(into.bottom, r.bottom)};
}

// The scale the user's desktop sets for X clients: Xft.dpi from the X
// resources (xrdb), 96 dots per inch being scale 1; 0 when it sets none.
double ScaleFromResources(Display* display) {
    const char* resources = XResourceManagerString(display);
    constexpr char kName[] = "Xft.dpi:";
    for (const char* line = resources; line != nullptr && *line != '\0';) {
        if (std::strncmp(line, kName, sizeof kName - 1) == 0) {
            double dpi = 0.0;
            ReadDecimal(line + sizeof kName - 1, dpi);
            return dpi > 0.0 && dpi < 10000.0 ? dpi / 96.0 : 0.0;
        }
        line = std::strchr(line, '\n');
        if (line != nullptr)
            ++line;
    }
    return 0.0;
}

class X11Window;

// A picture's surface: the headless picture itself, with every drawing call
// marking the part of the window it shows as changed.
class TrackedSurface final : public Surface {
public:
    TrackedSurface(X11Window& owner, int control, Surface& pixels) : owner(owner), control(control), pixels(pixels) {}
    int width() const override { return pixels.width(); }
    int height() const override { return pixels.height(); }
    void fillRect(const Rect& area, Rgb colour) override {
        pixels.fillRect(area, colour);
        changed();
    }
    void copyRect(const Rect& area, Surface& source) override {
        pixels.copyRect(area, source);
        changed();
    }
    void drawImage(const ImageList& images, int x, int y) override {
        pixels.drawImage(images, x, y);
        changed();
    }
    void drawText(int x, int y, std::string_view text, const FontSpec& font) override {
        pixels.drawText(x, y, text, font);
        changed();
    }
    Rgb pixel(int x, int y) const override { return pixels.pixel(x, y); }

private:
    void changed();
    X11Window& owner;
    int control;
    Surface& pixels;
};

class X11Window final : public Window {
public:
    X11Window(Display* display, ::Window parent, int clientWidth, int clientHeight, Rgb background,
              WindowEvents& events);
    ~X11Window() override;
    X11Window(const X11Window&) = delete;
    X11Window& operator=(const X11Window&) = delete;

    // platform::Window
    int addPicture(const PictureSpec& spec) override;
    Surface& surface(int control) override { return *surfaces.at(control); }
    std::unique_ptr<ImageList> createImageList(const Bitmap& image) override { return model.createImageList(image); }
    int clientWidth() const override { return width; }
    int clientHeight() const override { return height; }
    double scale() const override { return model.scale(); }
    int drawingScale() const override { return model.drawingScale(); }
    bool setScale(double requested) override;
    void setPosition(int x, int y) override;
    void show() override;
    void hide() override;
    bool visible() const override { return mapped; }
    void repaintNow() override;
    void startTimer(int intervalMs) override;
    // The server grabs the pointer for the window from a press until every
    // button is up; the window only remembers that the editor holds it.
    void captureMouse() override { holding = true; }
    void releaseMouse() override { holding = false; }
    void* nativeHandle() const override { return reinterpret_cast<void*>(static_cast<uintptr_t>(window)); }
    char decimalSeparator() const override;

    void invalidate(int control);

    // Driven by a host's run loop.
    int loopConnection() const override { return ConnectionNumber(display); }
    void runTimerNow() override {
        lastTick = Clock::now() - interval;
        repaintNow();
    }

private:
    using Clock = std::chrono::steady_clock;

    // Takes the next queued event, if there is one, without blocking.
    bool nextEvent(XEvent& event);
    // Answers false if this object was destroyed by the event's handler.
    bool dispatch(const XEvent& event);
    // Composes the changed part into the client-side image and puts it,
    // with what the server asked to have repainted, on the screen.
    void paint();
    // A client-side image of the given size, in the visual's format; null
    // if there is no memory for it.
    XImage* makeImage(int w, int h) const;

    Display* display;
    ::Window window = 0;
    int width, height;
    WindowEvents& events;
    headless::HeadlessWindow model;  // the pictures and their composition
    std::vector<std::unique_ptr<TrackedSurface>> surfaces;
    XImage* image = nullptr;          // the composed window, in the visual's format
    Visual* visual = nullptr;
    int depth = 0;
    double systemScale = 0.0;  // from Xft.dpi, 0 if the resources set none
    Channel red, green, blue;
    GC gc = nullptr;
    Rect changed{};  // composed pictures that differ from `image`, frame pixels
    Rect exposed{};  // parts of the screen to put again
    bool mapped = false;
    Clock::duration interval{};
    Clock::time_point lastTick{};
    bool pumping = false;
    bool holding = false;  // the editor holds the mouse (captureMouse)
    // Shared with a pump under way, which checks it after every event: a
    // host may close the editor from inside one.
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
};

void TrackedSurface::changed() { owner.invalidate(control); }

X11Window::X11Window(Display* display, ::Window parent, int clientWidth, int clientHeight, Rgb background,
                     WindowEvents& events)
    : display(display), width(clientWidth), height(clientHeight), events(events),
      model(reinterpret_cast<void*>(parent), clientWidth, clientHeight, background, events) {
    ErrorTrap trap(display);
    XWindowAttributes parentAttributes{};
    if (!XGetWindowAttributes(display, parent, &parentAttributes) || trap.syncFailed() ||
        parentAttributes.screen == nullptr)
        throw std::runtime_error("the host's window is not on this display");
    // The screen's default visual, whatever the parent's: the image below
    // is made for it, and a colormap and border pixel of our own make the
    // window valid under a parent of another visual.
    Screen* screen = parentAttributes.screen;
    const int screenNumber = XScreenNumberOfScreen(screen);
    visual = DefaultVisual(display, screenNumber);
    depth = DefaultDepth(display, screenNumber);
    systemScale = ScaleFromResources(display);
    if (visual->c_class != TrueColor)
        throw std::runtime_error("the display has no true-colour visual");
    red = Channel(visual->red_mask);
    green = Channel(visual->green_mask);
    blue = Channel(visual->blue_mask);

    XSetWindowAttributes attributes{};
    attributes.background_pixmap = None;  // the paint covers every pixel: the server clears nothing
    attributes.border_pixel = 0;
    attributes.colormap = DefaultColormap(display, screenNumber);
    attributes.bit_gravity = NorthWestGravity;
    attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                            LeaveWindowMask | StructureNotifyMask;
    window = XCreateWindow(display, parent, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                           depth, InputOutput, visual,
                           CWBackPixmap | CWBorderPixel | CWColormap | CWBitGravity | CWEventMask, &attributes);
    if (window != 0)
        gc = XCreateGC(display, window, 0, nullptr);
    image = makeImage(width, height);
    if (window == 0 || gc == nullptr || image == nullptr || trap.syncFailed()) {
        if (image != nullptr)
            XDestroyImage(image);
        if (gc != nullptr)
            XFreeGC(display, gc);
        if (window != 0)
            XDestroyWindow(display, window);
        trap.syncFailed();
        throw std::runtime_error("cannot create the editor window");
    }
    trap.syncFailed();
}

XImage* X11Window::makeImage(int w, int h) const {
    XImage* made = XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                                static_cast<unsigned>(w), static_cast<unsigned>(h), 32, 0);
    if (made == nullptr)
        return nullptr;
    made->data = static_cast<char*>(std::calloc(static_cast<size_t>(made->bytes_per_line), h));
    if (made->data == nullptr) {
        XDestroyImage(made);
        return nullptr;
    }
    if (made->bits_per_pixel == 32) {
        // Written as native words below; Xlib swaps them if the server's
        // order differs.
        const uint32_t probe = 1;
        made->byte_order = *reinterpret_cast<const uint8_t*>(&probe) == 1 ? LSBFirst : MSBFirst;
    }
    return made;
}

bool X11Window::setScale(double requested) {
    const double chosen = ChooseScale(requested, systemScale);
    if (chosen == model.scale())
        return false;
    const int unit = model.drawingScale();
    XImage* resized = makeImage(ScaledLength(model.frameWidth() / unit, chosen),
                                ScaledLength(model.frameHeight() / unit, chosen));
    if (resized == nullptr)
        throw std::bad_alloc();  // nothing changed: the window stays as it is
    model.setScale(chosen);  // the chosen scale again, whatever asks
    width = model.clientWidth();
    height = model.clientHeight();
    XDestroyImage(image);
    image = resized;
    surfaces.clear();  // the model dropped its pictures
    changed = {};
    exposed = {0, 0, width, height};
    ErrorTrap trap(display);
    if (window != 0)
        XResizeWindow(display, window, static_cast<unsigned>(width), static_cast<unsigned>(height));
    trap.syncFailed();
    return true;
}

X11Window::~X11Window() {
    *alive = false;
    {
        ErrorTrap trap(display);
        if (gc != nullptr)
            XFreeGC(display, gc);
        // Gone already if the host destroyed its own window first: the
        // error is trapped.
        if (window != 0)
            XDestroyWindow(display, window);
        trap.syncFailed();
        if (image != nullptr)
            XDestroyImage(image);  // frees the pixels too
        XCloseDisplay(display);
    }
}

int X11Window::addPicture(const PictureSpec& spec) {
    const int control = model.addPicture(spec);
    surfaces.push_back(std::make_unique<TrackedSurface>(*this, control, model.surface(control)));
    return control;
}

void X11Window::invalidate(int control) {
    const PictureSpec& s = model.picture(control);
    if (s.visible)
        Unite(changed, Intersect({s.left, s.top, s.left + s.clipWidth, s.top + s.clipHeight},
                                 {0, 0, model.frameWidth(), model.frameHeight()}));
}

void X11Window::setPosition(int x, int y) {
    ErrorTrap trap(display);
    XMoveWindow(display, window, x, y);
    trap.syncFailed();
}

void X11Window::show() {
    ErrorTrap trap(display);
    XMapRaised(display, window);
    mapped = true;
    trap.syncFailed();
}

void X11Window::hide() {
    ErrorTrap trap(display);
    XUnmapWindow(display, window);
    mapped = false;
    trap.syncFailed();
}

void X11Window::startTimer(int intervalMs) {
    interval = std::chrono::milliseconds(intervalMs);
    lastTick = Clock::now();
}

char X11Window::decimalSeparator() const {
    // The user's numeric locale from the environment, as a desktop would
    // apply it, without touching the host's own locale.
    char separator = '.';
    if (locale_t user = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0))) {
        const char* radix = nl_langinfo_l(RADIXCHAR, user);
        // The read-out is single-byte text: a separator of several bytes
        // cannot be shown, and a full stop stands in.
        if (radix != nullptr && radix[0] != '\0' && radix[1] == '\0')
            separator = radix[0];
        freelocale(user);
    }
    return separator;
}

bool X11Window::dispatch(const XEvent& event) {
    const std::shared_ptr<bool> token = alive;
    switch (event.type) {
    case Expose:
        Unite(exposed, Intersect({event.xexpose.x, event.xexpose.y, event.xexpose.x + event.xexpose.width,
                                  event.xexpose.y + event.xexpose.height},
                                 {0, 0, width, height}));
        break;
    case DestroyNotify:
        if (event.xdestroywindow.window == window)
            window = 0;  // destroyed with the host's window
        break;
    case ButtonPress:
    case ButtonRelease: {
        const XButtonEvent& b = event.xbutton;
        MouseButton button;
        if (b.button == Button1)
            button = MouseButton::Left;
        else if (b.button == Button2)
            button = MouseButton::Middle;
        else if (b.button == Button3)
            button = MouseButton::Right;
        else
            break;  // wheel and extra buttons
        // Signed and relative to this window, also outside it: a press
        // grabs the pointer for the window until every button is up.
        const bool shift = (b.state & ShiftMask) != 0;
        if (event.type == ButtonPress)
            events.onMouseDown(button, shift, b.x, b.y);
        else
            events.onMouseUp(button, shift, b.x, b.y);
        break;
    }
    case MotionNotify: {
        const XMotionEvent& m = event.xmotion;
        if (holding && (m.state & Button1Mask) == 0) {
            // The server ended the grab without a release reaching us (the
            // window or its parent was unmapped mid-drag).
            holding = false;
            events.onCaptureLost();
            if (!*token)
                return false;
        }
        events.onMouseMove((m.state & ShiftMask) != 0, m.x, m.y);
        break;
    }
    case LeaveNotify:
        if (event.xcrossing.mode == NotifyUngrab && holding && (event.xcrossing.state & Button1Mask) == 0) {
            holding = false;
            events.onCaptureLost();
        }
        break;
    default:
        break;
    }
    return *token;
}

void X11Window::repaintNow() {
    // Events and the refresh pass run here, on the host's thread, whose
    // floating-point exceptions may be unmasked.
    fpenv::FloatingPointGuard guard;
    if (pumping)
        return;  // called again from inside one of our own events
    // Ends the pump however it ends (an exception from a handler included),
    // unless the window went with it.
    struct Pumping {
        X11Window& window;
        std::shared_ptr<bool> token;
        explicit Pumping(X11Window& w) : window(w), token(w.alive) { window.pumping = true; }
        ~Pumping() {
            if (*token)
                window.pumping = false;
        }
    } pump(*this);
    // Bounded, so that a stream of pointer motion cannot keep the host's
    // thread here: what is left waits for the next call.
    XEvent event;
    for (int handled = 0; handled < kMaxEventsPerPump && nextEvent(event); ++handled)
        if (!dispatch(event))
            return;  // closed by the event's handler: nothing here is ours any more
    if (interval.count() > 0 && Clock::now() - lastTick >= interval) {
        // One tick however late: a refresh pass draws every change at once.
        lastTick = Clock::now();
        events.onTimer();
        if (!*pump.token)
            return;
    }
    ErrorTrap trap(display);
    paint();
    trap.syncFailed();
}

bool X11Window::nextEvent(XEvent& event) {
    // Reading the connection hands Xlib the errors that came with the
    // events (none of ours, as every trap ends with XSync; trapped anyway).
    ErrorTrap trap(display);
    if (XPending(display) <= 0)
        return false;
    XNextEvent(display, &event);
    return true;
}

void X11Window::paint() {
    if (!Empty(changed)) {
        auto put = [this](int x, int y, Rgb c) {
            const unsigned long value = red.place(c.r) | green.place(c.g) | blue.place(c.b);
            if (image->bits_per_pixel == 32)
                reinterpret_cast<uint32_t*>(image->data + static_cast<size_t>(y) * image->bytes_per_line)[x] =
                    static_cast<uint32_t>(value);
            else
                XPutPixel(image, x, y, value);
        };
        const int fw = model.frameWidth(), fh = model.frameHeight();
        if (fw == width && fh == height) {
            const Bitmap frame = model.composeFrame(changed);
            for (int y = changed.top; y < changed.bottom; ++y)
                for (int x = changed.left; x < changed.right; ++x)
                    put(x, y, frame.at(x, y));
            Unite(exposed, changed);
        } else {
            // An in-between scale: the client pixels that read the changed
            // frame pixels, filtered down from the frame around them.
            const Rect area = ClientAreaOf(fw, fh, width, height, changed);
            const Bitmap frame = model.composeFrame(FrameAreaOf(fw, fh, width, height, area));
            FilterDown(
                fw, fh, width, height, area, [&frame](int x, int y) { return frame.at(x, y); }, put);
            Unite(exposed, area);
        }
        changed = {};
    }
    if (!mapped || window == 0) {
        exposed = {};  // the server asks again when the window is shown
        return;
    }
    if (!Empty(exposed))
        XPutImage(display, window, gc, image, exposed.left, exposed.top, exposed.left, exposed.top,
                  static_cast<unsigned>(exposed.right - exposed.left),
                  static_cast<unsigned>(exposed.bottom - exposed.top));
    exposed = {};
}

}  // namespace

double DisplayScale() {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr)
        return 0.0;
    const double scale = ScaleFromResources(display);
    XCloseDisplay(display);
    return scale;
}

std::unique_ptr<Window> CreateX11Window(void* parent, int clientWidth, int clientHeight, Rgb background,
                                        WindowEvents& events) {
    const ::Window parentWindow = static_cast<::Window>(reinterpret_cast<uintptr_t>(parent));
    if (parentWindow == 0)
        throw std::runtime_error("the host gave no window to open the editor in");
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr)
        throw std::runtime_error("no X display to open the editor on");
    try {
        return std::make_unique<X11Window>(display, parentWindow, clientWidth, clientHeight, background, events);
    } catch (...) {
        XCloseDisplay(display);
        throw;
    }
}

}  // namespace platform::x11
