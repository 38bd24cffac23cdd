// Filtering a frame drawn at the integer drawing scale down to the client
// size of an in-between scale (1.25, 1.5, 1.75 from 2; 2.25 to 2.75 from
// 3): each client pixel is the mean of the frame pixels under it, each
// weighted by the area it covers, in integers, so that every backend and
// machine gets the same bytes. A box filter of the exact footprint keeps
// lines and text as sharp as the smaller grid allows, without the dropped
// and doubled rows of nearest-neighbour scaling.
#pragma once

#include <algorithm>
#include <cstdint>

#include "Platform.h"

namespace platform {

// The frame rectangle whose pixels the client rectangle `area` reads,
// for a frame of fw x fh pixels shown as cw x ch.
inline Rect FrameAreaOf(int fw, int fh, int cw, int ch, const Rect& area) {
    auto first = [](int c, int f, int n) { return static_cast<int>(static_cast<int64_t>(c) * f / n); };
    auto last = [](int c, int f, int n) {
        return static_cast<int>((static_cast<int64_t>(c) * f + n - 1) / n);
    };
    return {first(area.left, fw, cw), first(area.top, fh, ch), std::min(last(area.right, fw, cw), fw),
            std::min(last(area.bottom, fh, ch), fh)};
}

// The client rectangle whose pixels read any of the frame rectangle
// `area`: what to show again when that part of the frame changed.
inline Rect ClientAreaOf(int fw, int fh, int cw, int ch, const Rect& area) {
    auto first = [](int f, int c, int n) { return static_cast<int>(static_cast<int64_t>(f) * c / n); };
    auto last = [](int f, int c, int n) {
        return static_cast<int>((static_cast<int64_t>(f) * c + n - 1) / n);
    };
    return {first(area.left, cw, fw), first(area.top, ch, fh), std::min(last(area.right, cw, fw), cw),
            std::min(last(area.bottom, ch, fh), ch)};
}

// Writes client pixels of `area` (clipped to cw x ch) from the frame:
// read(x, y) answers a frame pixel as Rgb, write(x, y, Rgb) takes a client
// pixel. The frame must be at least as large as the client in both
// directions.
template <class Read, class Write>
void FilterDown(int fw, int fh, int cw, int ch, const Rect& area, Read read, Write write) {
    const int x0 = std::max(area.left, 0), x1 = std::min(area.right, cw);
    const int y0 = std::max(area.top, 0), y1 = std::min(area.bottom, ch);
    // Client pixel x covers frame positions [x * fw, (x + 1) * fw) in units
    // of 1 / cw; frame pixel i covers [i * cw, (i + 1) * cw).
    auto overlap = [](int64_t a0, int64_t a1, int64_t b0, int64_t b1) {
        return std::max<int64_t>(0, std::min(a1, b1) - std::max(a0, b0));
    };
    const int64_t total = static_cast<int64_t>(fw) * fh;
    for (int y = y0; y < y1; ++y) {
        const int64_t v0 = static_cast<int64_t>(y) * fh, v1 = v0 + fh;
        const int j0 = static_cast<int>(v0 / ch), j1 = static_cast<int>(std::min<int64_t>((v1 - 1) / ch, fh - 1));
        for (int x = x0; x < x1; ++x) {
            const int64_t u0 = static_cast<int64_t>(x) * fw, u1 = u0 + fw;
            const int i0 = static_cast<int>(u0 / cw),
                      i1 = static_cast<int>(std::min<int64_t>((u1 - 1) / cw, fw - 1));
            int64_t r = 0, g = 0, b = 0;
            for (int j = j0; j <= j1; ++j) {
                const int64_t wy = overlap(v0, v1, static_cast<int64_t>(j) * ch, static_cast<int64_t>(j + 1) * ch);
                for (int i = i0; i <= i1; ++i) {
                    const int64_t w =
                        wy * overlap(u0, u1, static_cast<int64_t>(i) * cw, static_cast<int64_t>(i + 1) * cw);
                    const Rgb c = read(i, j);
                    r += w * c.r;
                    g += w * c.g;
                    b += w * c.b;
                }
            }
            write(x, y,
                  Rgb{static_cast<uint8_t>((r + total / 2) / total), static_cast<uint8_t>((g + total / 2) / total),
                      static_cast<uint8_t>((b + total / 2) / total)});
        }
    }
}

}  // namespace platform
