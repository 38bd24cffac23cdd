#include "Platform.h"

#include "headless/HeadlessWindow.h"

namespace platform {

namespace {
WindowFactory currentFactory = &headless::CreateHeadlessWindow;
}

std::unique_ptr<Window> createWindow(void* parent, int clientWidth, int clientHeight, Rgb background,
                                     WindowEvents& events) {
    return currentFactory(parent, clientWidth, clientHeight, background, events);
}

WindowFactory setWindowFactory(WindowFactory factory) {
    const WindowFactory previous = currentFactory;
    currentFactory = factory != nullptr ? factory : &headless::CreateHeadlessWindow;
    return previous;
}

}  // namespace platform
