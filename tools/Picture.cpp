#include "Picture.h"

#include <fftw3.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include "AudioFiles.h"

namespace halvorine {

namespace {

constexpr Rgb kBackground{250, 250, 247};
constexpr Rgb kInk{30, 30, 35};
constexpr Rgb kGrid{205, 205, 200};
constexpr Rgb kPeak{150, 185, 225};
constexpr Rgb kRms{35, 90, 160};

// Layout, in pixels.
constexpr int kWidth = 1280;
constexpr int kLeft = 96;  // room for the axis labels
constexpr int kRight = 24;
constexpr int kPlotWidth = kWidth - kLeft - kRight;
constexpr int kHeader = 64;
constexpr int kLabelHeight = 24;
constexpr int kEnvelopeHeight = 100;
constexpr int kGap = 8;
constexpr int kSpectrumHeight = 170;
constexpr int kTimeAxis = 18;
constexpr int kTrackSpacing = 18;
constexpr int kTrackHeight = kLabelHeight + kEnvelopeHeight + kGap + kSpectrumHeight + kTimeAxis + kTrackSpacing;
constexpr int kFooter = 40;

// The envelope shows 0 down to -72 dBFS: room tone at about -45 dBFS sits
// well inside it, and a gate that closes drops to the bottom.
constexpr double kEnvelopeFloorDb = -72.0;
// Spectrogram: a 2048-point Hann window (46 ms at 44.1 kHz) separates the
// drums' low partials; colours span -100 to -10 dB of full scale.
constexpr int kFftSize = 2048;
constexpr double kSpectrumFloorDb = -100.0;
constexpr double kSpectrumTopDb = -10.0;
constexpr double kLowestFrequency = 30.0;

std::string format(const char* pattern, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, pattern, value);
    return buffer;
}

// Dark violet through red and orange to pale yellow: brightness rises
// steadily, so the picture also reads in grey.
Rgb heat(double t) {
    static constexpr Rgb stops[] = {{0, 0, 4},      {40, 11, 84},   {101, 21, 110}, {159, 42, 99},
                                    {212, 72, 66},  {245, 125, 21}, {250, 193, 39}, {252, 255, 164}};
    constexpr int last = static_cast<int>(sizeof stops / sizeof stops[0]) - 1;
    t = std::clamp(t, 0.0, 1.0) * last;
    int i = std::min(static_cast<int>(t), last - 1);
    double f = t - i;
    auto mix = [f](uint8_t a, uint8_t b) { return static_cast<uint8_t>(std::lround(a + (b - a) * f)); };
    return {mix(stops[i].r, stops[i + 1].r), mix(stops[i].g, stops[i + 1].g), mix(stops[i].b, stops[i + 1].b)};
}

double toDb(double v, double floor) { return v > 0 ? std::max(floor, 20.0 * std::log10(v)) : floor; }

void drawTextRight(Canvas& c, int right, int y, const std::string& s, Rgb colour) {
    c.text(right - Canvas::textWidth(s) + 1, y, s, colour);
}

void drawEnvelope(Canvas& c, const Track& track, int top) {
    const size_t frames = track.left.size();
    for (int db = 0; db >= kEnvelopeFloorDb; db -= 12) {
        int y = top + static_cast<int>(std::lround(db / kEnvelopeFloorDb * (kEnvelopeHeight - 1)));
        c.fill(kLeft, y, kPlotWidth, 1, kGrid);
        if (db % 24 == 0)
            drawTextRight(c, kLeft - 6, y - 3, std::to_string(db), kInk);
    }
    c.text(8, top + kEnvelopeHeight / 2 - 10, "level", kInk);
    c.text(8, top + kEnvelopeHeight / 2 + 2, "dBFS", kInk);
    for (int x = 0; x < kPlotWidth; ++x) {
        size_t begin = frames * x / kPlotWidth, end = std::max(begin + 1, frames * (x + 1) / kPlotWidth);
        end = std::min(end, frames);
        double peak = 0.0, sum = 0.0;
        for (size_t i = begin; i < end; ++i) {
            double l = track.left[i], r = track.right[i];
            peak = std::max({peak, std::fabs(l), std::fabs(r)});
            sum += l * l + r * r;
        }
        double rms = end > begin ? std::sqrt(sum / (2.0 * (end - begin))) : 0.0;
        auto height = [](double v) {
            return static_cast<int>(std::lround((1.0 - toDb(v, kEnvelopeFloorDb) / kEnvelopeFloorDb) * kEnvelopeHeight));
        };
        int hp = height(peak), hr = height(rms);
        c.fill(kLeft + x, top + kEnvelopeHeight - hp, 1, hp, kPeak);
        c.fill(kLeft + x, top + kEnvelopeHeight - hr, 1, hr, kRms);
    }
}

// One window's magnitudes in dB of full scale (a full-scale sine reads 0).
class Spectrum {
public:
    Spectrum()
        : in_(fftwf_alloc_real(kFftSize)), out_(fftwf_alloc_complex(kFftSize / 2 + 1)), window_(kFftSize),
          db_(kFftSize / 2 + 1) {
        plan_ = fftwf_plan_dft_r2c_1d(kFftSize, in_, out_, FFTW_ESTIMATE);
        double sum = 0.0;
        for (int i = 0; i < kFftSize; ++i) {
            window_[i] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * M_PI * i / kFftSize));
            sum += window_[i];
        }
        scale_ = 2.0 / sum;
    }
    ~Spectrum() {
        fftwf_destroy_plan(plan_);
        fftwf_free(in_);
        fftwf_free(out_);
    }
    Spectrum(const Spectrum&) = delete;
    Spectrum& operator=(const Spectrum&) = delete;

    // The mid signal around frame `centre`, silence beyond the ends.
    const std::vector<double>& analyse(const Track& track, long centre) {
        const long frames = static_cast<long>(track.left.size());
        for (int i = 0; i < kFftSize; ++i) {
            long at = centre - kFftSize / 2 + i;
            float mid = at >= 0 && at < frames ? 0.5f * (track.left[at] + track.right[at]) : 0.0f;
            in_[i] = mid * window_[i];
        }
        fftwf_execute(plan_);
        for (int k = 0; k <= kFftSize / 2; ++k)
            db_[k] = toDb(std::hypot(out_[k][0], out_[k][1]) * scale_, kSpectrumFloorDb);
        return db_;
    }

private:
    float* in_;
    fftwf_complex* out_;
    fftwf_plan plan_;
    std::vector<float> window_;
    std::vector<double> db_;
    double scale_;
};

void drawSpectrogram(Canvas& c, const Track& track, int sampleRate, int top, Spectrum& spectrum) {
    const double highest = std::min(20000.0, sampleRate / 2.0);
    const double ratio = highest / kLowestFrequency;
    const double binHz = double(sampleRate) / kFftSize;
    auto frequencyAt = [&](double rowsFromBottom) {
        return kLowestFrequency * std::pow(ratio, rowsFromBottom / kSpectrumHeight);
    };
    const size_t frames = track.left.size();
    for (int x = 0; x < kPlotWidth; ++x) {
        long centre = static_cast<long>((x + 0.5) * frames / kPlotWidth);
        const std::vector<double>& db = spectrum.analyse(track, centre);
        for (int y = 0; y < kSpectrumHeight; ++y) {
            int fromBottom = kSpectrumHeight - 1 - y;
            double lo = frequencyAt(fromBottom) / binHz, hi = frequencyAt(fromBottom + 1) / binHz;
            double level;
            if (hi - lo < 1.0) {
                // Low rows are narrower than a bin: interpolate between bins.
                double at = 0.5 * (lo + hi);
                int k = std::min(static_cast<int>(at), kFftSize / 2 - 1);
                double f = at - k;
                level = db[k] * (1.0 - f) + db[k + 1] * f;
            } else {
                // High rows span several bins: show the strongest.
                level = kSpectrumFloorDb;
                for (int k = static_cast<int>(lo); k <= std::min(static_cast<int>(hi), kFftSize / 2); ++k)
                    level = std::max(level, db[k]);
            }
            c.set(kLeft + x, top + y,
                  heat((level - kSpectrumFloorDb) / (kSpectrumTopDb - kSpectrumFloorDb)));
        }
    }
    static constexpr double marks[] = {50, 100, 200, 500, 1000, 2000, 5000, 10000, 20000};
    for (double hz : marks) {
        if (hz > highest)
            break;
        int y = top + kSpectrumHeight - 1 -
                static_cast<int>(std::lround(std::log(hz / kLowestFrequency) / std::log(ratio) * kSpectrumHeight));
        c.fill(kLeft - 4, y, 4, 1, kInk);
        drawTextRight(c, kLeft - 7, y - 3, hz >= 1000 ? format("%gk", hz / 1000) : format("%g", hz), kInk);
    }
    c.text(8, top + kSpectrumHeight / 2 - 4, "Hz", kInk);
}

void drawTimeAxis(Canvas& c, double seconds, int y) {
    c.fill(kLeft, y, kPlotWidth, 1, kInk);
    for (int tenth = 0; tenth <= static_cast<int>(seconds * 10); tenth += 5) {
        int x = kLeft + static_cast<int>(std::lround(tenth / 10.0 / seconds * (kPlotWidth - 1)));
        c.fill(x, y, 1, tenth % 10 == 0 ? 5 : 3, kInk);
        if (tenth % 10 == 0)
            c.text(x - 2, y + 7, format("%.0f s", tenth / 10.0), kInk);
    }
}

}  // namespace

Canvas::Canvas(int width, int height, Rgb background)
    : width_(width), height_(height), rgb_(static_cast<size_t>(width) * height * 3) {
    fill(0, 0, width, height, background);
}

Rgb Canvas::pixel(int x, int y) const {
    const uint8_t* p = &rgb_[(static_cast<size_t>(y) * width_ + x) * 3];
    return {p[0], p[1], p[2]};
}

void Canvas::set(int x, int y, Rgb colour) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return;
    uint8_t* p = &rgb_[(static_cast<size_t>(y) * width_ + x) * 3];
    p[0] = colour.r;
    p[1] = colour.g;
    p[2] = colour.b;
}

void Canvas::fill(int x, int y, int w, int h, Rgb colour) {
    for (int j = std::max(0, y); j < std::min(height_, y + h); ++j)
        for (int i = std::max(0, x); i < std::min(width_, x + w); ++i)
            set(i, j, colour);
}

int Canvas::text(int x, int y, const std::string& s, Rgb colour, int scale) {
    int pen = x;
    for (char ch : s) {
        bool descends = false;
        const unsigned char* rows = glyphRows(ch, &descends);
        const int top = y + (descends ? 2 * scale : 0);
        for (int row = 0; row < 7; ++row)
            for (int col = 0; col < 5; ++col)
                if (rows[row] & (0x10 >> col))
                    fill(pen + col * scale, top + row * scale, scale, scale, colour);
        pen += 6 * scale;
    }
    return pen - x;
}

void Canvas::writePng(const std::string& path) const {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width_);
    image.height = static_cast<png_uint_32>(height_);
    image.format = PNG_FORMAT_RGB;
    std::string temporary;
    const int fd = createTemporaryBeside(path, temporary);
    try {
        if (!png_image_write_to_file(&image, temporary.c_str(), 0, rgb_.data(), 0, nullptr)) {
            close(fd);
            throw std::runtime_error("cannot write " + path + ": " + image.message);
        }
        commitTemporary(fd, temporary, path);
    } catch (...) {
        unlink(temporary.c_str());
        throw;
    }
}

Canvas drawComparison(const std::vector<Track>& tracks, int sampleRate, const std::string& title) {
    const int height = kHeader + static_cast<int>(tracks.size()) * kTrackHeight + kFooter;
    Canvas c(kWidth, height, kBackground);
    c.text(kLeft, 14, title, kInk, 2);
    c.text(kLeft, 40,
           "Each row: level envelope (pale: peak, dark: RMS) and spectrogram of the left and right mix, over time.",
           kInk);

    Spectrum spectrum;
    int top = kHeader;
    for (const Track& track : tracks) {
        double seconds = double(track.left.size()) / sampleRate;
        c.text(kLeft, top + 4, track.label, kInk, 2);
        drawEnvelope(c, track, top + kLabelHeight);
        int spectrumTop = top + kLabelHeight + kEnvelopeHeight + kGap;
        drawSpectrogram(c, track, sampleRate, spectrumTop, spectrum);
        drawTimeAxis(c, seconds, spectrumTop + kSpectrumHeight);
        top += kTrackHeight;
    }

    // Colour key of the spectrogram.
    int keyX = kLeft, keyY = height - kFooter + 10;
    c.text(keyX, keyY + 3, "spectrogram:", kInk);
    int barX = keyX + Canvas::textWidth("spectrogram: ") + 4 + Canvas::textWidth(format("%.0f dB", kSpectrumFloorDb));
    c.text(barX - Canvas::textWidth(format("%.0f dB ", kSpectrumFloorDb)), keyY + 3,
           format("%.0f dB", kSpectrumFloorDb), kInk);
    for (int i = 0; i < 240; ++i)
        c.fill(barX + i, keyY, 1, 14, heat(i / 239.0));
    c.text(barX + 246, keyY + 3, format("%.0f dB of full scale", kSpectrumTopDb), kInk);
    return c;
}

}  // namespace halvorine
