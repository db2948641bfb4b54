#pragma once

// A rendered scan as the ordinary device-independent bitmap: BITMAPINFOHEADER,
// colour table, bottom-up rows with blue, green, red samples. The native transfer
// hands this out in a TwainAlloc block; the file transfer writes it behind a
// BITMAPFILEHEADER.

#include "CardPicture.h"

#include <cstddef>
#include <string>

size_t DibColourCount(const TRenderedImage &Image);
size_t DibByteCount(const TRenderedImage &Image);

// Writes DibByteCount(Image) bytes to Out.
void WriteDib(const TRenderedImage &Image, uint8_t *Out);

// The TW_IMAGEINFO of a finished image, its resolution given per Units.
void FillImageInfo(const TRenderedImage &Image, TW_UINT16 Units, TW_IMAGEINFO &Info);

// Writes a .bmp file; false when the file cannot be written completely.
bool WriteBmpFile(const TRenderedImage &Image, const std::string &FileName);
