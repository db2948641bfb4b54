#pragma once

// The device-independent bitmap format: header, colour table, rows of pixels that
// are each a multiple of 4 bytes long, bottom-up when the height is positive.

#include <cstdint>

#pragma pack(push, 2)

struct BITMAPFILEHEADER
{
    uint16_t bfType;        // "BM"
    uint32_t bfSize;
    uint16_t bfReserved1;
    uint16_t bfReserved2;
    uint32_t bfOffBits;
};

struct BITMAPINFOHEADER
{
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};

struct RGBQUAD
{
    uint8_t rgbBlue;
    uint8_t rgbGreen;
    uint8_t rgbRed;
    uint8_t rgbReserved;
};

#pragma pack(pop)

static_assert(sizeof(BITMAPFILEHEADER) == 14 && sizeof(BITMAPINFOHEADER) == 40 && sizeof(RGBQUAD) == 4);

inline constexpr uint32_t BI_RGB = 0;

// Bytes of one DIB row: rows are padded to whole 32-bit words.
inline constexpr int64_t DibRowBytes(int64_t BitsPerPixel, int64_t Width)
{
    return (BitsPerPixel * Width + 31) / 32 * 4;
}
