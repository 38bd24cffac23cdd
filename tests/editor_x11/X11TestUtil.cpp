#include "X11TestUtil.h"

#include <dlfcn.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <X11/Xatom.h>
#include <X11/Xutil.h>

namespace x11test {

bool DisplayRequired() {
    const char* required = std::getenv("HALVORINE_REQUIRE_DISPLAY");
    return required != nullptr && *required != '\0' && std::string(required) != "0";
}

const XTest* XTest::get() {
    static const XTest loaded = [] {
        XTest t;
        if (void* lib = dlopen("libXtst.so.6", RTLD_NOW | RTLD_LOCAL)) {
            t.motion = reinterpret_cast<decltype(t.motion)>(dlsym(lib, "XTestFakeMotionEvent"));
            t.button = reinterpret_cast<decltype(t.button)>(dlsym(lib, "XTestFakeButtonEvent"));
            t.key = reinterpret_cast<decltype(t.key)>(dlsym(lib, "XTestFakeKeyEvent"));
        }
        return t;
    }();
    return loaded.motion && loaded.button && loaded.key ? &loaded : nullptr;
}

Display* SharedDisplay() {
    static Display* const connection = XOpenDisplay(nullptr);
    return connection;
}

Window MakeHostWindow(Display* dpy, int width, int height) {
    const int screen = DefaultScreen(dpy);
    Window w = XCreateSimpleWindow(dpy, RootWindow(dpy, screen), 30, 40, static_cast<unsigned>(width),
                                   static_cast<unsigned>(height), 0, BlackPixel(dpy, screen), WhitePixel(dpy, screen));
    XSelectInput(dpy, w, StructureNotifyMask);
    XMapWindow(dpy, w);
    for (XEvent e;;) {
        XWindowEvent(dpy, w, StructureNotifyMask, &e);
        if (e.type == MapNotify)
            break;
    }
    return w;
}

ScopedResources::ScopedResources(Display* dpy, const char* text) : dpy(dpy) {
    const Window root = RootWindow(dpy, 0);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(dpy, root, XA_RESOURCE_MANAGER, 0, 1 << 20, False, XA_STRING, &type, &format, &count,
                           &left, &data) == Success &&
        data != nullptr) {
        had = type == XA_STRING && format == 8;
        if (had)
            previous.assign(data, data + count);
        XFree(data);
    }
    XChangeProperty(dpy, root, XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(text), static_cast<int>(std::strlen(text)));
    XSync(dpy, False);
}

ScopedResources::~ScopedResources() {
    const Window root = RootWindow(dpy, 0);
    if (had)
        XChangeProperty(dpy, root, XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace, previous.data(),
                        static_cast<int>(previous.size()));
    else
        XDeleteProperty(dpy, root, XA_RESOURCE_MANAGER);
    XSync(dpy, False);
}

std::vector<Window> Children(Display* dpy, Window w) {
    Window root = 0, up = 0, *list = nullptr;
    unsigned count = 0;
    std::vector<Window> out;
    if (XQueryTree(dpy, w, &root, &up, &list, &count) && list != nullptr) {
        out.assign(list, list + count);
        XFree(list);
    }
    return out;
}

platform::Bitmap Capture(Display* dpy, Window w, int width, int height) {
    platform::Bitmap out;
    XImage* im =
        XGetImage(dpy, w, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (im == nullptr)
        return out;
    auto channel = [](unsigned long pixel, unsigned long mask) {
        int shift = 0;
        while (((mask >> shift) & 1) == 0)
            ++shift;
        return static_cast<uint8_t>(((pixel & mask) >> shift) * 255 / (mask >> shift));
    };
    out.width = width;
    out.height = height;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const unsigned long p = XGetPixel(im, x, y);
            out.pixels.push_back({channel(p, im->red_mask), channel(p, im->green_mask), channel(p, im->blue_mask)});
        }
    XDestroyImage(im);
    return out;
}

::testing::AssertionResult SamePicture(const platform::Bitmap& a, const platform::Bitmap& b) {
    if (a.width != b.width || a.height != b.height)
        return ::testing::AssertionFailure() << "size " << a.width << "x" << a.height << " against " << b.width
                                             << "x" << b.height;
    int count = 0;
    std::string first;
    auto rgb = [](platform::Rgb c) {
        return std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b);
    };
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            if (a.at(x, y) != b.at(x, y) && count++ == 0)
                first = "(" + std::to_string(x) + ", " + std::to_string(y) + ") is " + rgb(a.at(x, y)) + " against " +
                        rgb(b.at(x, y));
    if (count == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << count << " pixels differ, first " << first;
}

}  // namespace x11test
