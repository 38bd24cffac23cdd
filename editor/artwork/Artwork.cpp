#include "Artwork.h"

#include "ArtworkData.h"

namespace artwork {
namespace {

uint32_t Read16(const uint8_t* p) { return p[0] | (p[1] << 8); }
uint32_t Read32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// A mask is stored as its own 1-bit bitmap: white marks a transparent
// pixel, as in an image list's mask.
platform::Bitmap WithMask(platform::Bitmap colour, const platform::Bitmap& mask) {
    if (mask.width != colour.width || mask.height != colour.height)
        return colour;
    colour.mask.resize(colour.pixels.size());
    for (size_t i = 0; i < colour.pixels.size(); ++i)
        colour.mask[i] = mask.pixels[i] == platform::Rgb{255, 255, 255} ? 1 : 0;
    return colour;
}

}  // namespace

platform::Bitmap DecodeBmp(const uint8_t* data, size_t size) {
    platform::Bitmap out;
    if (size < 54 || data[0] != 'B' || data[1] != 'M')
        return out;
    const uint32_t pixelOffset = Read32(data + 10);
    const uint32_t headerSize = Read32(data + 14);
    const int32_t width = static_cast<int32_t>(Read32(data + 18));
    int32_t height = static_cast<int32_t>(Read32(data + 22));
    const uint32_t bits = Read16(data + 28);
    const uint32_t compression = Read32(data + 30);
    uint32_t paletteSize = Read32(data + 46);
    const bool topDown = height < 0;
    if (topDown)
        height = -height;
    if (compression != 0 || width <= 0 || height <= 0 || width > 4096 || height > 4096 ||
        (bits != 1 && bits != 8 && bits != 24))
        return out;
    if (bits != 24 && paletteSize == 0)
        paletteSize = 1u << bits;
    const size_t paletteAt = 14 + static_cast<size_t>(headerSize);
    const size_t stride = ((static_cast<size_t>(width) * bits + 31) / 32) * 4;
    if (paletteAt + paletteSize * 4 > size || pixelOffset + stride * height > size)
        return out;

    out.width = width;
    out.height = height;
    out.pixels.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = data + pixelOffset + stride * (topDown ? y : height - 1 - y);
        for (int x = 0; x < width; ++x) {
            platform::Rgb& px = out.pixels[static_cast<size_t>(y) * width + x];
            uint32_t entry;
            if (bits == 24) {
                px = {row[3 * x + 2], row[3 * x + 1], row[3 * x]};
                continue;
            } else if (bits == 8) {
                entry = row[x];
            } else {
                entry = (row[x / 8] >> (7 - x % 8)) & 1;
            }
            if (entry >= paletteSize)
                entry = 0;
            const uint8_t* q = data + paletteAt + entry * 4;
            px = {q[2], q[1], q[0]};
        }
    }
    return out;
}

namespace {

// One embedded file.
struct Data {
    const uint8_t* bytes;
    size_t size;
};
template <size_t N>
constexpr Data Of(const uint8_t (&bytes)[N]) {
    return {bytes, N};
}

// By drawing scale, 1 to 3.
const Data kBackgrounds[] = {Of(kBackgroundBmp), Of(kBackground2xBmp), Of(kBackground3xBmp)};
const Data kTracks[] = {Of(kTrackBmp), Of(kTrack2xBmp), Of(kTrack3xBmp)};
const Data kTrackMasks[] = {Of(kTrackMaskBmp), Of(kTrackMask2xBmp), Of(kTrackMask3xBmp)};
const Data kKnobs[] = {Of(kKnobBmp), Of(kKnob2xBmp), Of(kKnob3xBmp)};
const Data kKnobMasks[] = {Of(kKnobMaskBmp), Of(kKnobMask2xBmp), Of(kKnobMask3xBmp)};
const Data kReadouts[] = {Of(kReadoutBmp), Of(kReadout2xBmp), Of(kReadout3xBmp)};
const Data kKeySelectors[] = {Of(kKeySelectorBmp), Of(kKeySelector2xBmp), Of(kKeySelector3xBmp)};

platform::Bitmap Decode(const Data (&set)[3], int scale) {
    const Data& d = set[scale <= 1 ? 0 : scale >= 3 ? 2 : 1];
    return DecodeBmp(d.bytes, d.size);
}

}  // namespace

platform::Bitmap Background(int scale) { return Decode(kBackgrounds, scale); }

platform::Bitmap Track(int scale) { return WithMask(Decode(kTracks, scale), Decode(kTrackMasks, scale)); }

platform::Bitmap Knob(int scale) { return WithMask(Decode(kKnobs, scale), Decode(kKnobMasks, scale)); }

platform::Bitmap ReadoutBackground(int scale) { return Decode(kReadouts, scale); }

platform::Bitmap KeySelector(int scale) { return Decode(kKeySelectors, scale); }

}  // namespace artwork
