#pragma once

// Turns what sane_read delivers into the image every transfer hands out (rows
// top-down, RGB, padded to DIB rows), one row at a time as the bytes arrive: the scan
// never holds more than the finished image and one row of SANE's. SANE's own layouts
// are all taken: one RGB or grey frame, or three single-colour frames of a three-pass
// scanner; 1, 8 or 16 bits per sample; rows longer than their pixels; an unknown
// height (hand scanners).
//
// A frame that ends before the lines its parameters promised is a failed scan, not a
// shorter image; so are parameters that contradict themselves or an earlier frame.

#include "CardPicture.h"

#include <sane/sane.h>

#include <memory>
#include <vector>

class TSaneImageBuilder
{
public:
    // Flavor says what a 1-bit grey image's zero bits mean. No image may hold more
    // than MaxBytes.
    TSaneImageBuilder(TW_UINT16 Flavor, double XDpi, double YDpi, size_t MaxBytes);

    // Each returns TWCC_SUCCESS, or the condition code the scan fails with: TWCC_BUMMER
    // for data that contradicts itself or ends early, TWCC_LOWMEMORY for an image too
    // large. After a failure the builder takes nothing more.
    // A frame begins, with the parameters SANE gave once it started.
    TW_UINT16 BeginFrame(const SANE_Parameters &Params);
    // Bytes as sane_read delivered them.
    TW_UINT16 Feed(const uint8_t *Bytes, size_t Count);
    // The frame's data ended (SANE_STATUS_EOF).
    TW_UINT16 EndFrame();
    // After the last frame: the image, or null with Fault set.
    std::unique_ptr<TRenderedImage> Finish(TW_UINT16 &Fault);

private:
    TW_UINT16 fail(TW_UINT16 Cc);
    TW_UINT16 placeRow(const uint8_t *Row);
    uint8_t *outputRow(int64_t Y);
    TW_UINT16 growTo(int64_t Rows);

    TW_UINT16 flavor_;
    size_t maxBytes_;
    TW_UINT16 fault_ = 0;
    std::unique_ptr<TRenderedImage> image_;

    // The frame under way.
    SANE_Parameters params_{};
    int channel_ = -1;          // 0 red, 1 green, 2 blue of a three-pass scan; -1 otherwise
    std::vector<uint8_t> row_;  // SANE's row being filled
    size_t filled_ = 0;
    int64_t rowsIn_ = 0;        // rows of this frame received
    bool seen_[3] = {false, false, false};
    int frames_ = 0;

    // Rows of an image of unknown height, in blocks, joined once it is complete.
    std::vector<std::unique_ptr<uint8_t[]>> blocks_;
    int64_t rowsPerBlock_ = 0;
    int64_t height_ = 0;        // rows the image holds so far
    bool unknownHeight_ = false;
};
