// The headless backend: a window that exists only in memory. Its pictures
// are RGB pixel buffers, its text is the baked read-out font, and it
// composes the client area exactly as a screen would show it. Nothing
// happens on its own: tests and the command-line host drive its timer and
// mouse, and read its pixels back.
//
// It is also the default backend of every build until a native one is
// installed (see platform::setWindowFactory).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace platform::headless {

class HeadlessWindow final : public Window {
public:
    HeadlessWindow(void* parent, int clientWidth, int clientHeight, Rgb background, WindowEvents& events);
    ~HeadlessWindow() override;

    // platform::Window
    int addPicture(const PictureSpec& spec) override;
    Surface& surface(int control) override;
    std::unique_ptr<ImageList> createImageList(const Bitmap& image) override;
    int clientWidth() const override { return width; }
    int clientHeight() const override { return height; }
    double scale() const override { return shownScale; }
    // The composed frame's size: the panel's times the drawing scale.
    int frameWidth() const { return panelWidth * unit; }
    int frameHeight() const { return panelHeight * unit; }
    int drawingScale() const override { return unit; }
    bool setScale(double requested) override;
    void setPosition(int x, int y) override;
    void show() override { shown = true; }
    void hide() override { shown = false; }
    bool visible() const override { return shown; }
    void repaintNow() override { ++repaints; }
    void startTimer(int intervalMs) override { timerInterval = intervalMs; }
    void captureMouse() override { capturing = true; }
    void releaseMouse() override { capturing = false; }
    void* nativeHandle() const override { return nullptr; }
    char decimalSeparator() const override { return separator; }

    // The client area as the screen would show it: the background colour,
    // then every visible picture in order, clipped, key colour left out; at
    // an in-between scale filtered down from the drawing scale's frame.
    Bitmap compose() const;
    // The same at the drawing scale, before any filtering: the panel's size
    // times drawingScale().
    Bitmap composeFrame() const;
    // Only the part `area` of composeFrame() is composed; the rest of the
    // bitmap is left as the background colour.
    Bitmap composeFrame(const Rect& area) const;

    // The scale the system asks for, which setScale(0) takes (1 unless a
    // test says otherwise). A change is reported as the system's would be.
    void setSystemScale(double scale);

    // Driving it, as a pointer and the system would. Points are in client
    // coordinates and may lie outside the window.
    void tick();
    void mouseDown(int x, int y, MouseButton button, bool shift = false);
    void mouseMove(int x, int y, bool shift = false);
    void mouseUp(int x, int y, MouseButton button, bool shift = false);
    // Something else takes the mouse while the window holds it.
    void loseCapture();

    // Inspection.
    int pictureCount() const { return static_cast<int>(pictures.size()); }
    const PictureSpec& picture(int control) const;
    int findPicture(const std::string& name) const;  // -1 if none
    void* parent() const { return parentWindow; }
    int left() const { return posX; }
    int top() const { return posY; }
    int timerIntervalMs() const { return timerInterval; }  // 0 until started
    int repaintCount() const { return repaints; }
    bool mouseCaptured() const { return capturing; }
    void setDecimalSeparator(char c) { separator = c; }

private:
    class PixelSurface;
    struct Picture;

    void* parentWindow;
    int panelWidth, panelHeight;
    int width, height;  // the client size
    double shownScale = 1.0;
    int unit = 1;
    double systemScale = 0.0;
    Rgb background;
    WindowEvents& events;
    std::vector<std::unique_ptr<Picture>> pictures;
    bool shown = false;
    int posX = 0, posY = 0;
    int timerInterval = 0;
    int repaints = 0;
    char separator = '.';
    bool capturing = false;
};

// The factory that platform::createWindow uses by default.
std::unique_ptr<Window> CreateHeadlessWindow(void* parent, int clientWidth, int clientHeight, Rgb background,
                                     WindowEvents& events);

}  // namespace platform::headless
