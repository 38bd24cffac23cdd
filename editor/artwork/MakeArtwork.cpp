// Draws the editor's bitmaps and writes them as uncompressed .bmp files:
//
//   background.bmp   407 x 242, 8 bits with a 256-colour palette
//   track.bmp        100 x 13, 24 bits, and track_mask.bmp (1 bit)
//   knob.bmp         9 x 9, 24 bits, and knob_mask.bmp (1 bit)
//   readout.bmp      200 x 23, 24 bits
//   keyselector.bmp  57 x 23, 24 bits
//
// and the same again, drawn natively at twice and three times the size,
// as background_2x.bmp, track_2x.bmp, ... and background_3x.bmp, ...: the
// editor at drawing scales 2 and 3. Every coordinate below is in panel
// units (scale-1 pixels); the drawing functions multiply by the scale `S`,
// so that each shape, line and caption stands where it stands at scale 1,
// with the detail of the finer grid. At scale 1 the arithmetic is that of
// the original scale-1 artwork, bit for bit.
//
// Build and run (Linux; stb_truetype and Liberation Sans from Debian):
//   cmake --build <dir> --target make-artwork
//   <dir>/editor/make-artwork editor/artwork
//
// A mask is white where the image is transparent, as in an image list.
// Geometry that the window relies on: slider tracks are 100 x 13 and show
// through their three masked pixels at each corner; the knob is 9 x 9 and
// sits at rows 2 to 10 of the track; the read-out strip lies under the
// 200 x 23 panel at (20, 210); the key selector's face covers the product's
// mark at (227, 210); only the top-left 398 x 241 pixels of the background
// are ever seen.
#define STB_TRUETYPE_IMPLEMENTATION
#include <stb/stb_truetype.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The drawing scale of the set being drawn: device pixels per panel unit.
int S = 1;

struct Rgb {
    int r, g, b;
};

Rgb Grey(int v) { return {v, v, v}; }

Rgb Mix(Rgb under, Rgb over, double a) {
    auto m = [a](int u, int o) { return static_cast<int>(std::lround(u + (o - u) * a)); };
    return {m(under.r, over.r), m(under.g, over.g), m(under.b, over.b)};
}

struct Canvas {
    int w, h;
    std::vector<Rgb> px;
    Canvas(int w, int h, Rgb fill) : w(w), h(h), px(static_cast<size_t>(w) * h, fill) {}
    Rgb& at(int x, int y) { return px[static_cast<size_t>(y) * w + x]; }
    Rgb at(int x, int y) const { return px[static_cast<size_t>(y) * w + x]; }
    void blend(int x, int y, Rgb c, double a) {
        if (x >= 0 && y >= 0 && x < w && y < h && a > 0)
            at(x, y) = Mix(at(x, y), c, std::min(a, 1.0));
    }
};

// Fraction of device pixel (x, y) inside the rounded rectangle [x0, x1) x
// [y0, y1) with corner radius r, in panel units, from 8 x 8 samples.
double RoundRectCoverage(double x0, double y0, double x1, double y1, double r, int x, int y) {
    x0 *= S;
    y0 *= S;
    x1 *= S;
    y1 *= S;
    r *= S;
    int inside = 0;
    for (int sy = 0; sy < 8; ++sy)
        for (int sx = 0; sx < 8; ++sx) {
            const double px = x + (sx + 0.5) / 8, py = y + (sy + 0.5) / 8;
            if (px < x0 || px > x1 || py < y0 || py > y1)
                continue;
            const double cx = std::clamp(px, x0 + r, x1 - r), cy = std::clamp(py, y0 + r, y1 - r);
            if ((px - cx) * (px - cx) + (py - cy) * (py - cy) <= r * r)
                ++inside;
        }
    return inside / 64.0;
}

void FillRoundRect(Canvas& c, double x0, double y0, double x1, double y1, double r, Rgb colour) {
    for (int y = static_cast<int>(y0 * S) - 1; y <= static_cast<int>(y1 * S); ++y)
        for (int x = static_cast<int>(x0 * S) - 1; x <= static_cast<int>(x1 * S); ++x)
            c.blend(x, y, colour, RoundRectCoverage(x0, y0, x1, y1, r, x, y));
}

// A line one panel unit wide along a rounded rectangle's edge.
void StrokeRoundRect(Canvas& c, double x0, double y0, double x1, double y1, double r, Rgb colour) {
    for (int y = static_cast<int>(y0 * S) - 1; y <= static_cast<int>(y1 * S); ++y)
        for (int x = static_cast<int>(x0 * S) - 1; x <= static_cast<int>(x1 * S); ++x) {
            const double outer = RoundRectCoverage(x0, y0, x1, y1, r, x, y);
            const double inner = RoundRectCoverage(x0 + 1, y0 + 1, x1 - 1, y1 - 1, std::max(r - 1, 0.0), x, y);
            c.blend(x, y, colour, outer - inner);
        }
}

struct Face {
    std::vector<unsigned char> ttf;
    stbtt_fontinfo info;
};

Face LoadFace(const std::string& path) {
    Face f;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        std::perror(path.c_str());
        std::exit(1);
    }
    for (int ch; (ch = std::fgetc(file)) != EOF;)
        f.ttf.push_back(static_cast<unsigned char>(ch));
    std::fclose(file);
    if (!stbtt_InitFont(&f.info, f.ttf.data(), 0)) {
        std::fprintf(stderr, "%s: not a font\n", path.c_str());
        std::exit(1);
    }
    return f;
}

double TextWidth(const Face& f, double em, const std::string& s, double tracking = 0) {
    const double scale = stbtt_ScaleForMappingEmToPixels(&f.info, static_cast<float>(em));
    double w = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        int adv, lsb;
        stbtt_GetCodepointHMetrics(&f.info, s[i], &adv, &lsb);
        w += adv * scale + tracking;
        if (i + 1 < s.size())
            w += stbtt_GetCodepointKernAdvance(&f.info, s[i], s[i + 1]) * scale;
    }
    return w - tracking;
}

// Draws `s` with its baseline at y, starting at x (whole pixels, so that
// small captions stay crisp); all in panel units.
void DrawText(Canvas& c, const Face& f, double em, int x, int baseline, const std::string& s, Rgb colour,
              double tracking = 0) {
    em *= S;
    baseline *= S;
    tracking *= S;
    const float scale = stbtt_ScaleForMappingEmToPixels(&f.info, static_cast<float>(em));
    double pen = x * S;
    for (size_t i = 0; i < s.size(); ++i) {
        int x0, y0, x1, y1;
        const float shift = static_cast<float>(pen - std::floor(pen));
        stbtt_GetCodepointBitmapBoxSubpixel(&f.info, s[i], scale, scale, shift, 0, &x0, &y0, &x1, &y1);
        const int gw = x1 - x0, gh = y1 - y0;
        if (gw > 0 && gh > 0) {
            std::vector<unsigned char> bits(static_cast<size_t>(gw) * gh);
            stbtt_MakeCodepointBitmapSubpixel(&f.info, bits.data(), gw, gh, gw, scale, scale, shift, 0, s[i]);
            for (int gy = 0; gy < gh; ++gy)
                for (int gx = 0; gx < gw; ++gx)
                    c.blend(static_cast<int>(std::floor(pen)) + x0 + gx, baseline + y0 + gy, colour,
                            bits[gy * gw + gx] / 255.0);
        }
        int adv, lsb;
        stbtt_GetCodepointHMetrics(&f.info, s[i], &adv, &lsb);
        pen += adv * scale + tracking;
        if (i + 1 < s.size())
            pen += stbtt_GetCodepointKernAdvance(&f.info, s[i], s[i + 1]) * scale;
    }
}

// ---------------------------------------------------------------------------
// .bmp writing

void Put16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(v & 0xff);
    b.push_back((v >> 8) & 0xff);
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
    Put16(b, v & 0xffff);
    Put16(b, v >> 16);
}

std::vector<uint8_t> BmpHeader(int w, int h, int bits, int paletteEntries, size_t stride) {
    std::vector<uint8_t> b;
    const uint32_t offset = 14 + 40 + 4 * paletteEntries;
    b.push_back('B');
    b.push_back('M');
    Put32(b, offset + static_cast<uint32_t>(stride * h));
    Put32(b, 0);
    Put32(b, offset);
    Put32(b, 40);
    Put32(b, w);
    Put32(b, h);  // bottom-up
    Put16(b, 1);
    Put16(b, bits);
    Put32(b, 0);  // uncompressed
    Put32(b, static_cast<uint32_t>(stride * h));
    Put32(b, 3780);  // 96 pixels per inch
    Put32(b, 3780);
    Put32(b, paletteEntries);
    Put32(b, 0);
    return b;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
}

void WriteBmp24(const std::string& path, const Canvas& c) {
    const size_t stride = (static_cast<size_t>(c.w) * 3 + 3) / 4 * 4;
    std::vector<uint8_t> b = BmpHeader(c.w, c.h, 24, 0, stride);
    for (int y = c.h - 1; y >= 0; --y) {
        size_t n = 0;
        for (int x = 0; x < c.w; ++x, n += 3) {
            const Rgb p = c.at(x, y);
            b.push_back(static_cast<uint8_t>(p.b));
            b.push_back(static_cast<uint8_t>(p.g));
            b.push_back(static_cast<uint8_t>(p.r));
        }
        for (; n < stride; ++n)
            b.push_back(0);
    }
    WriteFile(path, b);
}

// Entry 0 black, entry 1 white; a set bit is a transparent pixel.
void WriteMask(const std::string& path, int w, int h, const std::vector<bool>& transparent) {
    const size_t stride = (static_cast<size_t>(w) + 31) / 32 * 4;
    std::vector<uint8_t> b = BmpHeader(w, h, 1, 2, stride);
    Put32(b, 0x000000);
    Put32(b, 0xffffff);
    for (int y = h - 1; y >= 0; --y) {
        std::vector<uint8_t> row(stride, 0);
        for (int x = 0; x < w; ++x)
            if (transparent[static_cast<size_t>(y) * w + x])
                row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        b.insert(b.end(), row.begin(), row.end());
    }
    WriteFile(path, b);
}

// 8 bits per pixel: each pixel takes the nearest entry of `palette`.
void WriteBmp8(const std::string& path, const Canvas& c, const std::vector<Rgb>& palette) {
    const size_t stride = (static_cast<size_t>(c.w) + 3) / 4 * 4;
    std::vector<uint8_t> b = BmpHeader(c.w, c.h, 8, static_cast<int>(palette.size()), stride);
    for (const Rgb& p : palette)
        Put32(b, static_cast<uint32_t>(p.b | (p.g << 8) | (p.r << 16)));
    for (int y = c.h - 1; y >= 0; --y) {
        size_t n = 0;
        for (int x = 0; x < c.w; ++x, ++n) {
            const Rgb p = c.at(x, y);
            int best = 0, bestDistance = 1 << 30;
            for (size_t i = 0; i < palette.size(); ++i) {
                const int dr = p.r - palette[i].r, dg = p.g - palette[i].g, db = p.b - palette[i].b;
                const int d = dr * dr + dg * dg + db * db;
                if (d < bestDistance) {
                    bestDistance = d;
                    best = static_cast<int>(i);
                }
            }
            b.push_back(static_cast<uint8_t>(best));
        }
        for (; n < stride; ++n)
            b.push_back(0);
    }
    WriteFile(path, b);
}

// ---------------------------------------------------------------------------
// The pieces

// The corners of a w x h image (panel units) outside a rounded rectangle
// of radius r over the whole image: each device pixel whose centre lies
// outside. At scale 1, with the radii used here (4 for the track, 4.5 for
// the knob), that is three pixels at each corner: two in the outer row,
// one in the next.
std::vector<bool> CornerMask(int w, int h, double r) {
    const int dw = w * S, dh = h * S;
    std::vector<bool> m(static_cast<size_t>(dw) * dh, false);
    for (int y = 0; y < dh; ++y)
        for (int x = 0; x < dw; ++x) {
            const double px = (x + 0.5) / S, py = (y + 0.5) / S;
            const double cx = std::clamp(px, r, w - r), cy = std::clamp(py, r, h - r);
            m[static_cast<size_t>(y) * dw + x] = (px - cx) * (px - cx) + (py - cy) * (py - cy) > r * r;
        }
    return m;
}

// The window composes sliders over grey 128, which is their transparent
// key: no visible pixel of the track or knob may be exactly that grey.
void AvoidKeyGrey(Canvas& c, const std::vector<bool>& mask) {
    for (int y = 0; y < c.h; ++y)
        for (int x = 0; x < c.w; ++x) {
            Rgb& p = c.at(x, y);
            if (mask[static_cast<size_t>(y) * c.w + x])
                p = Grey(128);
            else if (p.r == 128 && p.g == 128 && p.b == 128)
                p = Grey(129);
        }
}

// The panel's field at device row y: a light grey that darkens a little
// towards the bottom.
Rgb Field(int y) { return Grey(224 - ((y / S) * 14) / 241); }

// A grey that changes by `step` per panel row, `base` at panel row 0, for
// device row y: whole at scale 1, the row's centre at finer scales.
Rgb RowGrey(int base, int step, int y) {
    return Grey(static_cast<int>(std::lround(base + step * ((y + 0.5) / S - 0.5))));
}

const Rgb kInk = Grey(52);           // captions
const Rgb kAccent{34, 86, 118};      // the product's mark
const Rgb kEngraveDark = Grey(158);  // the shadow side of an engraved line
const Rgb kEngraveLight = Grey(246);

constexpr double kTrackRadius = 4;
constexpr double kKnobRadius = 4.5;

Canvas MakeTrack() {
    Canvas c(100 * S, 13 * S, Grey(128));
    // A recessed groove: darker at the top, where the light does not reach.
    for (int y = 0; y < c.h; ++y)
        for (int x = 0; x < c.w; ++x)
            c.at(x, y) = RowGrey(150, 4, y);
    FillRoundRect(c, 0, 0, 100, 13, 4, Grey(172));
    for (int y = S; y < 12 * S; ++y)
        for (int x = 0; x < c.w; ++x)
            c.blend(x, y, RowGrey(146, 5, y), RoundRectCoverage(1, 1, 99, 12, 3, x, y));
    // The slot the knob runs along.
    FillRoundRect(c, 4, 5, 96, 8, 1.5, Grey(78));
    FillRoundRect(c, 4, 5, 96, 6, 0.5, Grey(62));
    // The light catching the lower lip.
    for (int y = 10 * S; y < 11 * S; ++y)
        for (int x = 3 * S; x < 97 * S; ++x)
            c.at(x, y) = Mix(c.at(x, y), Grey(238), 0.85);
    StrokeRoundRect(c, 0, 0, 100, 13, 4, Grey(96));
    AvoidKeyGrey(c, CornerMask(100, 13, kTrackRadius));
    return c;
}

Canvas MakeKnob(const Canvas& track) {
    Canvas c(9 * S, 9 * S, Grey(0));
    for (int y = 0; y < c.h; ++y)
        for (int x = 0; x < c.w; ++x) {
            // What the knob's rim blends into: the track row it sits on.
            Rgb p = track.at(50 * S, y + 2 * S);
            int inside = 0, rim = 0;
            double shade = 0;
            for (int sy = 0; sy < 4; ++sy)
                for (int sx = 0; sx < 4; ++sx) {
                    const double px = (x + (sx + 0.5) / 4) / S - 4.5, py = (y + (sy + 0.5) / 4) / S - 4.5;
                    const double d = std::sqrt(px * px + py * py);
                    if (d > 4.6)
                        continue;
                    ++inside;
                    if (d > 3.6) {
                        ++rim;
                    } else {
                        // Lit from the top left.
                        const double lx = px + 1.3, ly = py + 1.6;
                        shade += std::clamp(1.0 - std::sqrt(lx * lx + ly * ly) / 5.5, 0.0, 1.0);
                    }
                }
            if (inside > 0) {
                const int face = inside - rim;
                Rgb body = face > 0 ? Mix(Grey(150), Grey(252), shade / face) : Grey(48);
                body = Mix(body, Grey(48), static_cast<double>(rim) / inside);
                p = Mix(p, body, inside / 16.0);
            }
            c.at(x, y) = p;
        }
    AvoidKeyGrey(c, CornerMask(9, 9, kKnobRadius));
    return c;
}

// At (x0, y0) in panel units.
void DrawMasked(Canvas& c, const Canvas& image, const std::vector<bool>& mask, int x0, int y0) {
    x0 *= S;
    y0 *= S;
    for (int y = 0; y < image.h; ++y)
        for (int x = 0; x < image.w; ++x)
            if (!mask[static_cast<size_t>(y) * image.w + x])
                c.at(x0 + x, y0 + y) = image.at(x, y);
}

// A rectangle of panel units in one colour.
void Fill(Canvas& c, int x0, int y0, int x1, int y1, Rgb colour) {
    for (int y = y0 * S; y < y1 * S; ++y)
        for (int x = x0 * S; x < x1 * S; ++x)
            c.at(x, y) = colour;
}

void EngraveH(Canvas& c, int x0, int x1, int y) {
    Fill(c, x0, y, x1, y + 1, kEngraveDark);
    Fill(c, x0, y + 1, x1, y + 2, kEngraveLight);
}

void EngraveV(Canvas& c, int x, int y0, int y1) {
    Fill(c, x, y0, x + 1, y1, kEngraveDark);
    Fill(c, x + 1, y0, x + 2, y1, kEngraveLight);
}

// Draws the set at drawing scale S; `suffix` goes before each file's ".bmp".
void DrawSet(const std::string& out, const std::string& suffix, const Face& regular, const Face& bold) {
    const Canvas track = MakeTrack();
    const std::vector<bool> trackMask = CornerMask(100, 13, kTrackRadius);
    const Canvas knob = MakeKnob(track);
    const std::vector<bool> knobMask = CornerMask(9, 9, kKnobRadius);

    Canvas bg(407 * S, 242 * S, Grey(0));
    for (int y = 0; y < bg.h; ++y)
        for (int x = 0; x < bg.w; ++x)
            bg.at(x, y) = Field(y);

    // The slider area's frame: an engraved rounded line with a slightly
    // lighter field inside.
    for (int y = 7 * S; y < 202 * S; ++y)
        for (int x = 7 * S; x < 391 * S; ++x)
            bg.blend(x, y, Grey(236), 0.35 * RoundRectCoverage(7, 7, 391, 202, 7, x, y));
    StrokeRoundRect(bg, 7, 7, 392, 203, 8, kEngraveLight);
    StrokeRoundRect(bg, 6, 6, 391, 202, 8, kEngraveDark);
    // The global controls apart from the bands; the bands in groups of four.
    EngraveV(bg, 131, 16, 194);
    EngraveH(bg, 142, 383, 110);

    struct Slider {
        int left, top;
    };
    const int bandTops[8] = {30, 50, 70, 90, 120, 140, 160, 180};
    std::vector<Slider> sliders;
    for (int i = 0; i < 8; ++i) {
        sliders.push_back({150, bandTops[i]});
        sliders.push_back({280, bandTops[i]});
    }
    const char* globals[6] = {"Low Freq", "Hi Freq", "Q", "Attack", "Release", "Boost"};
    const int globalTops[6] = {30, 60, 90, 120, 150, 180};
    for (int i = 0; i < 6; ++i) {
        sliders.push_back({20, globalTops[i]});
        DrawText(bg, bold, 11, 21, globalTops[i] - 4, globals[i], kInk);
    }
    // Empty tracks with the knob at rest where the live sliders go.
    for (const Slider& s : sliders) {
        DrawMasked(bg, track, trackMask, s.left, s.top);
        DrawMasked(bg, knob, knobMask, s.left + 5, s.top + 2);
    }
    DrawText(bg, bold, 11, 151, 26, "Band", kInk);
    DrawText(bg, bold, 11, 281, 26, "Band", kInk);
    for (int i = 0; i < 16; ++i) {
        const std::string number = std::to_string(i + 1);
        const int right = i < 8 ? 146 : 276;
        const int width = static_cast<int>(std::lround(TextWidth(bold, 11, number)));
        DrawText(bg, bold, 11, right - width, bandTops[i % 8] + 10, number, kInk);
    }

    // The read-out strip: a recessed well under the 200 x 23 panel at
    // (20, 210), whose light face the read-out's own bitmap repeats.
    FillRoundRect(bg, 17, 207, 223, 236, 5, Mix(Field(220 * S), Grey(140), 0.35));
    StrokeRoundRect(bg, 18, 208, 223, 236, 5, kEngraveLight);
    StrokeRoundRect(bg, 17, 207, 222, 235, 5, kEngraveDark);
    Canvas strip(200 * S, 23 * S, Grey(0));
    for (int y = 0; y < strip.h; ++y)
        for (int x = 0; x < strip.w; ++x)
            strip.at(x, y) = bg.at(20 * S + x, 210 * S + y);
    FillRoundRect(strip, 0, 0, 200, 23, 4, Grey(122));
    FillRoundRect(strip, 1, 1, 199, 22, 3, Grey(238));
    for (int y = S; y < 2 * S; ++y)
        for (int x = 2 * S; x < 198 * S; ++x)
            strip.blend(x, y, Grey(205), 0.8);  // the lip's shadow
    for (int y = 0; y < strip.h; ++y)
        for (int x = 0; x < strip.w; ++x)
            bg.at(20 * S + x, 210 * S + y) = strip.at(x, y);

    // The key selector, in the editions that choose what keys the gates: a
    // raised button of the same rounded look, over the field where the
    // product's mark stands (left out beneath it), whose caption the
    // window writes.
    Canvas selector(57 * S, 23 * S, Grey(0));
    for (int y = 0; y < selector.h; ++y)
        for (int x = 0; x < selector.w; ++x)
            selector.at(x, y) = bg.at(227 * S + x, 210 * S + y);
    FillRoundRect(selector, 0, 0, 57, 23, 4, Grey(104));
    for (int y = 0; y < selector.h; ++y)
        for (int x = 0; x < selector.w; ++x)
            selector.blend(x, y, RowGrey(250, -2, y), RoundRectCoverage(1, 1, 56, 22, 3, x, y));
    for (int y = S; y < 2 * S; ++y)
        for (int x = 3 * S; x < 54 * S; ++x)
            selector.blend(x, y, Grey(255), 0.7);  // the light on the upper edge

    // The product's mark: sixteen bands, some let through, some gated.
    const int heights[16] = {6, 13, 9, 17, 4, 19, 12, 7, 15, 10, 18, 5, 14, 8, 11, 3};
    for (int i = 0; i < 16; ++i) {
        const int x = 238 + 2 * i, h = heights[i];
        for (int y = (229 - h) * S; y < 229 * S; ++y)
            for (int dx = 0; dx < S; ++dx)
                bg.at(x * S + dx, y) = i % 2 == 0 ? kAccent : Mix(kAccent, Field(y), 0.45);
    }
    for (int y = 230 * S; y < 231 * S; ++y)
        for (int x = 236 * S; x < 271 * S; ++x)
            bg.at(x, y) = Mix(kAccent, Field(y), 0.3);
    const int logoRight = 389;
    const int logoWidth = static_cast<int>(std::ceil(TextWidth(bold, 22, "Halvorine")));
    DrawText(bg, bold, 22, logoRight - logoWidth, 226, "Halvorine", kAccent);
    const int makerWidth = static_cast<int>(std::ceil(TextWidth(regular, 10, "Pellucid", 1.2)));
    DrawText(bg, regular, 10, logoRight - makerWidth, 238, "Pellucid", Grey(84), 1.2);

    // 192 greys and 64 shades of the accent over the field.
    std::vector<Rgb> palette;
    for (int i = 0; i < 192; ++i)
        palette.push_back(Grey(static_cast<int>(std::lround(i * 255.0 / 191))));
    for (int i = 0; i < 64; ++i)
        palette.push_back(Mix(Field(226 * S), kAccent, (i + 1) / 64.0));

    WriteBmp8(out + "/background" + suffix + ".bmp", bg, palette);
    WriteBmp24(out + "/track" + suffix + ".bmp", track);
    WriteMask(out + "/track_mask" + suffix + ".bmp", track.w, track.h, trackMask);
    WriteBmp24(out + "/knob" + suffix + ".bmp", knob);
    WriteMask(out + "/knob_mask" + suffix + ".bmp", knob.w, knob.h, knobMask);
    WriteBmp24(out + "/readout" + suffix + ".bmp", strip);
    WriteBmp24(out + "/keyselector" + suffix + ".bmp", selector);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string out = argc > 1 ? argv[1] : ".";
    const std::string fonts = argc > 2 ? argv[2] : "/usr/share/fonts/truetype/liberation2";
    const Face regular = LoadFace(fonts + "/LiberationSans-Regular.ttf");
    const Face bold = LoadFace(fonts + "/LiberationSans-Bold.ttf");
    for (S = 1; S <= 3; ++S)
        DrawSet(out, S == 1 ? "" : "_" + std::to_string(S) + "x", regular, bold);
    return 0;
}
