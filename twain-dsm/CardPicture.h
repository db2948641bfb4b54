#pragma once

// The picture a virtual flatbed scans: an A4 glass in light grey with one card near
// its top left corner. The card's colours and its large number change from scan to
// scan, so two scans never match. Everything is drawn as filled rectangles, row by
// row, straight into the output format: a 600 dpi A4 scan is rendered in well under
// a second.

#include "scanner/TwainTypes.h"

#include <cstdint>
#include <memory>
#include <vector>

inline constexpr double GlassWidthInches = 8.27;
inline constexpr double GlassHeightInches = 11.69;

// A frame on the glass, in inches.
struct TFrameInches
{
    double Left = 0;
    double Top = 0;
    double Right = GlassWidthInches;
    double Bottom = GlassHeightInches;
};

// The pixels of a frame: its edges are rounded on the glass's pixel grid, so that
// frames sharing an edge share its pixel column or row.
struct TPixelBox
{
    int64_t Left = 0;
    int64_t Top = 0;
    int64_t Width = 1;
    int64_t Height = 1;
};
TPixelBox PixelBoxOf(const TFrameInches &Frame, double XDpi, double YDpi);

struct TScanRequest
{
    TW_UINT16 PixelType = TWPT_RGB;
    TW_UINT16 PixelFlavor = TWPF_CHOCOLATE;
    double XDpi = 100;
    double YDpi = 100;
    TFrameInches Frame;
    uint32_t ScanNumber = 1;
};

// The bits a pixel of the type takes in a DIB: palette and grey images are 8-bit.
inline constexpr int BitsPerPixelOf(TW_UINT16 PixelType)
{
    return PixelType == TWPT_BW ? 1 : PixelType == TWPT_RGB ? 24 : 8;
}

// One rendered scan: rows top-down, samples in TWAIN order (RGB), each row padded
// with zeros to RowBytes (a DIB row length). The colour table (for BW, grey and
// palette images) is what a DIB of it carries, as red, green, blue triples.
struct TRenderedImage
{
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t BitsPerPixel = 0;
    TW_UINT16 PixelType = TWPT_RGB;
    TW_UINT16 PixelFlavor = TWPF_CHOCOLATE;
    uint32_t RowBytes = 0;
    size_t ByteCount = 0;
    std::unique_ptr<uint8_t[]> Rows;
    std::vector<uint8_t> Palette;   // PALETTE images: their own colours
    std::vector<uint8_t> ColourTable;   // every image with at most 8 bits per pixel
    double XDpi = 0;
    double YDpi = 0;
};

// Null when the memory for the image cannot be had.
std::unique_ptr<TRenderedImage> RenderScan(const TScanRequest &Request);

// The image of a request with its size, rows and colour table set up and its
// row padding zeroed, for a renderer to fill; null without the memory.
std::unique_ptr<TRenderedImage> NewScanImage(const TScanRequest &Request);

// The palette of TWPT_PALETTE images: red, green, blue triples.
const std::vector<uint8_t> &CardPalette();

// The grey of a red, green, blue triple, as grey and 1-bit images show it.
inline uint8_t Luminance(const uint8_t *Rgb)
{
    return static_cast<uint8_t>((299 * Rgb[0] + 587 * Rgb[1] + 114 * Rgb[2] + 500) / 1000);
}

// The bit of a 1-bit pixel of that grey. Chocolate: a zero bit is black; vanilla: a
// zero bit is white.
inline bool BwBitOf(uint8_t Grey, TW_UINT16 PixelFlavor)
{
    return (Grey >= 128) != (PixelFlavor == TWPF_VANILLA);
}
