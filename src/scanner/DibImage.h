#pragma once

// Pixel builders for the two in-memory transfers, without any window or manager:
// they are fed bytes a source handed over and check every size against what was
// really handed over, so a lying source costs an image, never memory safety.

#include "scanner/Dib.h"
#include "scanner/TwainTypes.h"

#include <QImage>
#include <QList>
#include <QRgb>

#include <cstddef>
#include <cstdint>
#include <vector>

// The largest image a transfer accepts: a DIB's biSizeImage is 32-bit.
inline constexpr int64_t MaxImageBytes = 0x7FFFFFFF;

// A built image, or the condition code that says why there is none:
// TWCC_BADVALUE for data that contradicts itself, TWCC_LOWMEMORY for an image
// too large to hold.
struct TImageOutcome
{
    QImage Image;
    TW_UINT16 Fault = TWCC_SUCCESS;
};

// Colour-table entries of a DIB: biClrUsed, or by depth 2, 16, 256 and 0 otherwise.
uint32_t DibColorCount(const BITMAPINFOHEADER &Header);

// Turns a native-transfer DIB (header, colour table, rows; bottom-up when the height
// is positive) into a display-like 32-bit image. BlockSize is what may be read.
TImageOutcome NativeDibToImage(const uint8_t *Block, size_t BlockSize);

// Pixels per metre for a resolution in the source's unit: inches and centimetres
// convert, every other unit gives 0 (unknown).
int32_t PelsPerMeter(double Resolution, TW_UINT16 Unit);

// The colour table of a memory transfer, entries as the DIB stores them.
QList<QRgb> BlackWhiteTable(TW_UINT16 PixelFlavor);
QList<QRgb> GreyTable();
QList<QRgb> PaletteTable(const TW_PALETTE8 &Palette);

// Assembles a memory transfer: each strip lands where its own fields put it (YOffset
// and XOffset, Rows and Columns, BytesPerRow apart), in whatever order the strips come,
// padded rows or not. The image keeps the DIB's depth (1 bit: Mono, 8 bits: Indexed8,
// 24 bits: BGR888, the DIB's byte order); with SwapRgb each placed row has its red and
// blue exchanged once, turning the source's red-green-blue into the DIB's blue-green-red.
class TStripAssembler
{
public:
    // Makes the bitmap for Header (biWidth, biHeight, biBitCount, resolution) and
    // Table. A fault leaves no bitmap.
    TW_UINT16 Start(const BITMAPINFOHEADER &Header, const QList<QRgb> &Table, bool SwapRgb);
    // Places one strip from Buffer, of which the application allocated BufferSize bytes.
    // TWCC_BADVALUE when its fields contradict the image or the buffer (compressed data,
    // rows or columns outside the image, rows shorter than their pixels, more bytes than
    // the buffer holds, pixels placed twice): nothing is written then.
    TW_UINT16 Place(const TW_IMAGEMEMXFER &Strip, const uint8_t *Buffer, size_t BufferSize);
    // Every pixel of the image has come.
    bool Complete() const { return !image_.isNull() && placed_ == int64_t(width_) * height_; }
    // The image, once complete; null otherwise: rows that never came are no picture.
    QImage Finish();
    // Drops the half-filled bitmap.
    void Drop() { image_ = QImage(); }

private:
    QImage image_;
    uint8_t *bits_ = nullptr;
    int64_t stride_ = 0;
    int64_t height_ = 0;
    int64_t placed_ = 0;   // pixels placed so far
    std::vector<int64_t> rowPixels_;   // per row: no row may take more than its width
    int width_ = 0;
    int bitCount_ = 0;
    bool swapRgb_ = false;
};
