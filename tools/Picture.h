// The demo's comparison picture: an RGB canvas with a small bitmap font,
// level envelopes and spectrograms, written as PNG.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace halvorine {

struct Rgb {
    uint8_t r, g, b;
};

class Canvas {
public:
    Canvas(int width, int height, Rgb background);
    int width() const { return width_; }
    int height() const { return height_; }
    Rgb pixel(int x, int y) const;
    void set(int x, int y, Rgb colour);  // outside the canvas: ignored
    void fill(int x, int y, int w, int h, Rgb colour);
    // Text in the 5x7 font, each font pixel `scale` pixels wide, top-left at
    // (x, y), nine rows high with descenders; answers the width drawn.
    int text(int x, int y, const std::string& s, Rgb colour, int scale = 1);
    static int textWidth(const std::string& s, int scale = 1) { return static_cast<int>(s.size()) * 6 * scale; }
    // Written beside `path` and renamed over it, as the audio files are.
    // Throws std::runtime_error when the file cannot be written.
    void writePng(const std::string& path) const;

private:
    int width_, height_;
    std::vector<uint8_t> rgb_;
};

// The seven rows of a character's glyph, five bits each, leftmost pixel in
// bit 4; a box for characters the font lacks. `descends` (if given) tells
// whether the glyph sits two rows lower than the others.
const unsigned char* glyphRows(char c, bool* descends = nullptr);

struct Track {
    std::string label;
    std::vector<float> left, right;
};

// One row per track: its level envelope in dBFS over time and its
// spectrogram (log frequency) over time, with axes and labels.
Canvas drawComparison(const std::vector<Track>& tracks, int sampleRate, const std::string& title);

}  // namespace halvorine
