#include "HeadlessWindow.h"

#include <algorithm>

#include "font/BakedFont.h"
#include "platform/Resample.h"

namespace platform::headless {

namespace {

class PixelImageList final : public ImageList {
public:
    explicit PixelImageList(const Bitmap& image) : bitmap(image) {}
    int width() const override { return bitmap.width; }
    int height() const override { return bitmap.height; }
    Bitmap bitmap;
};

// Ink over what lies under it by the glyph's coverage, in integers, so that
// every machine gets the same bytes.
uint8_t Blend(uint8_t under, uint8_t ink, uint8_t coverage) {
    return static_cast<uint8_t>((under * (255 - coverage) + ink * coverage + 127) / 255);
}

}  // namespace

class HeadlessWindow::PixelSurface final : public Surface {
public:
    PixelSurface(int w, int h) : w(w), h(h) {}

    int width() const override { return w; }
    int height() const override { return h; }
    bool exists() const { return !pixels.empty(); }

    void fillRect(const Rect& area, Rgb colour) override {
        const Rect r = clip(area);
        for (int y = r.top; y < r.bottom; ++y)
            std::fill(&at(r.left, y), &at(r.left, y) + (r.right - r.left), colour);
    }

    void copyRect(const Rect& area, Surface& source) override {
        Rect r = clip(area);
        r.right = std::min(r.right, source.width());
        r.bottom = std::min(r.bottom, source.height());
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                at(x, y) = source.pixel(x, y);
    }

    void drawImage(const ImageList& images, int x0, int y0) override {
        const Bitmap& image = static_cast<const PixelImageList&>(images).bitmap;
        const Rect r = clip({x0, y0, x0 + image.width, y0 + image.height});
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                if (!image.transparent(x - x0, y - y0))
                    at(x, y) = image.at(x - x0, y - y0);
    }

    void drawText(int x, int y, std::string_view text, const FontSpec& spec) override {
        // One baked face stands in for every font request: the read-out's
        // 8-point "Arial" is the only text the editor writes.
        const font::BakedFont& face = font::ReadoutFont(spec.scale);
        clip({0, 0, 0, 0});  // creates the bitmap if this is the first drawing
        int pen = x;
        for (char c : text) {
            const font::Glyph& g = face.glyph(c);
            const uint8_t* cov = face.coverage + g.offset;
            for (int gy = 0; gy < g.height; ++gy)
                for (int gx = 0; gx < g.width; ++gx) {
                    const int px = pen + g.left + gx, py = y + g.top + gy;
                    const uint8_t a = cov[gy * g.width + gx];
                    if (a == 0 || px < 0 || py < 0 || px >= w || py >= h)
                        continue;
                    Rgb& d = at(px, py);
                    d = {Blend(d.r, spec.colour.r, a), Blend(d.g, spec.colour.g, a), Blend(d.b, spec.colour.b, a)};
                }
            pen += g.advance;
        }
    }

    Rgb pixel(int x, int y) const override {
        if (!exists() || x < 0 || y < 0 || x >= w || y >= h)
            return Rgb{};
        return pixels[static_cast<size_t>(y) * w + x];
    }

private:
    // Clips to the surface and, as a picture's bitmap comes into being on
    // its first drawing, makes sure there is one (white, as a new bitmap).
    Rect clip(const Rect& r) {
        if (pixels.empty())
            pixels.assign(static_cast<size_t>(w) * h, Rgb{255, 255, 255});
        return {std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, w), std::min(r.bottom, h)};
    }
    Rgb& at(int x, int y) { return pixels[static_cast<size_t>(y) * w + x]; }

    int w, h;
    std::vector<Rgb> pixels;
};

struct HeadlessWindow::Picture {
    PictureSpec spec;
    std::string name;  // owns the text spec.name points to
    PixelSurface surface;
};

HeadlessWindow::HeadlessWindow(void* parent, int clientWidth, int clientHeight, Rgb background,
                               WindowEvents& events)
    : parentWindow(parent), panelWidth(clientWidth), panelHeight(clientHeight), width(clientWidth),
      height(clientHeight), background(background), events(events) {}

bool HeadlessWindow::setScale(double requested) {
    const double chosen = ChooseScale(requested, systemScale);
    if (chosen == shownScale)
        return false;
    shownScale = chosen;
    unit = DrawingScaleOf(chosen);
    width = ScaledLength(panelWidth, chosen);
    height = ScaledLength(panelHeight, chosen);
    pictures.clear();
    return true;
}

void HeadlessWindow::setSystemScale(double scale) {
    systemScale = scale;
    events.onSystemScaleChanged();
}

HeadlessWindow::~HeadlessWindow() = default;

int HeadlessWindow::addPicture(const PictureSpec& spec) {
    auto p = std::unique_ptr<Picture>(new Picture{spec, spec.name, PixelSurface(spec.width, spec.height)});
    p->spec.name = p->name.c_str();
    if (p->spec.clipWidth <= 0)
        p->spec.clipWidth = spec.width;
    if (p->spec.clipHeight <= 0)
        p->spec.clipHeight = spec.height;
    pictures.push_back(std::move(p));
    return static_cast<int>(pictures.size()) - 1;
}

Surface& HeadlessWindow::surface(int control) { return pictures.at(control)->surface; }

const PictureSpec& HeadlessWindow::picture(int control) const { return pictures.at(control)->spec; }

int HeadlessWindow::findPicture(const std::string& name) const {
    for (size_t i = 0; i < pictures.size(); ++i)
        if (pictures[i]->name == name)
            return static_cast<int>(i);
    return -1;
}

std::unique_ptr<ImageList> HeadlessWindow::createImageList(const Bitmap& image) {
    return std::make_unique<PixelImageList>(image);
}

void HeadlessWindow::setPosition(int x, int y) {
    posX = x;
    posY = y;
}

Bitmap HeadlessWindow::compose() const {
    if (DrawingScaleOf(shownScale) == shownScale)
        return composeFrame();
    const Bitmap frame = composeFrame();
    Bitmap client;
    client.width = width;
    client.height = height;
    client.pixels.resize(static_cast<size_t>(width) * height);
    FilterDown(
        frame.width, frame.height, width, height, {0, 0, width, height},
        [&frame](int x, int y) { return frame.at(x, y); },
        [&client](int x, int y, Rgb c) { client.pixels[static_cast<size_t>(y) * client.width + x] = c; });
    return client;
}

Bitmap HeadlessWindow::composeFrame() const { return composeFrame({0, 0, panelWidth * unit, panelHeight * unit}); }

Bitmap HeadlessWindow::composeFrame(const Rect& area) const {
    Bitmap frame;
    frame.width = panelWidth * unit;
    frame.height = panelHeight * unit;
    frame.pixels.assign(static_cast<size_t>(frame.width) * frame.height, background);
    const int x0 = std::max(area.left, 0), y0 = std::max(area.top, 0);
    const int x1 = std::min(area.right, frame.width), y1 = std::min(area.bottom, frame.height);
    for (const auto& p : pictures) {
        const PictureSpec& s = p->spec;
        if (!s.visible || !p->surface.exists())
            continue;
        const Rgb key = p->surface.pixel(0, s.height - 1);
        for (int y = std::max(0, y0 - s.top); y < s.clipHeight && s.top + y < y1; ++y)
            for (int x = std::max(0, x0 - s.left); x < s.clipWidth && s.left + x < x1; ++x) {
                const int fx = s.left + x, fy = s.top + y;
                const Rgb c = p->surface.pixel(x, y);
                if (s.transparent && c == key)
                    continue;
                frame.pixels[static_cast<size_t>(fy) * frame.width + fx] = c;
            }
    }
    return frame;
}

void HeadlessWindow::tick() {
    if (timerInterval > 0)
        events.onTimer();
}

void HeadlessWindow::mouseDown(int x, int y, MouseButton button, bool shift) {
    events.onMouseDown(button, shift, x, y);
}

void HeadlessWindow::mouseMove(int x, int y, bool shift) { events.onMouseMove(shift, x, y); }

void HeadlessWindow::mouseUp(int x, int y, MouseButton button, bool shift) {
    events.onMouseUp(button, shift, x, y);
}

void HeadlessWindow::loseCapture() {
    if (!capturing)
        return;
    capturing = false;
    events.onCaptureLost();
}

std::unique_ptr<Window> CreateHeadlessWindow(void* parent, int clientWidth, int clientHeight, Rgb background,
                                     WindowEvents& events) {
    return std::make_unique<HeadlessWindow>(parent, clientWidth, clientHeight, background, events);
}

}  // namespace platform::headless
