// The editor's five bitmaps, embedded at build time from the .bmp files
// beside this header (made by MakeArtwork.cpp), and the small decoder that
// turns them into platform::Bitmap.
//
// Each comes at drawing scales 1, 2 and 3 (`scale`; others take the
// nearest): the same artwork drawn natively at that many device pixels per
// panel unit, so the sizes below are multiplied by the scale.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Platform.h"

namespace artwork {

// Decodes an uncompressed Windows bitmap of 1, 8 or 24 bits per pixel,
// bottom-up or top-down. Answers an empty bitmap for anything else.
platform::Bitmap DecodeBmp(const uint8_t* data, size_t size);

// The background: 407 x 242, no mask.
platform::Bitmap Background(int scale = 1);
// The slider track: 100 x 13, three pixels at each corner masked (at
// scale 1; the rounded corner's outside at finer scales).
platform::Bitmap Track(int scale = 1);
// The slider knob: 9 x 9, masked as the track.
platform::Bitmap Knob(int scale = 1);
// The read-out background: 200 x 23, opaque.
platform::Bitmap ReadoutBackground(int scale = 1);
// The key selector's face, with the field around its corners: 57 x 23,
// opaque.
platform::Bitmap KeySelector(int scale = 1);

}  // namespace artwork
