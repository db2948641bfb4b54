#pragma once

// Turns what sane_read delivered into the image every transfer hands out: rows
// top-down, RGB, padded to DIB rows. SANE's own layouts are all taken: one RGB or
// grey frame, or three single-colour frames of a three-pass scanner; 1, 8 or 16 bits
// per sample; rows longer than their pixels; an unknown height (hand scanners).

#include "CardPicture.h"

#include <sane/sane.h>

#include <memory>
#include <vector>

struct TSaneFrame
{
    SANE_Parameters Params{};
    std::vector<uint8_t> Bytes;
};

// Null when the frames hold no whole row or a layout SANE does not define.
// Flavor says what a 1-bit grey image's zero bits mean.
std::unique_ptr<TRenderedImage> ImageFromSane(const std::vector<TSaneFrame> &Frames, TW_UINT16 Flavor, double XDpi,
                                              double YDpi);
