#pragma once

// A rendered scan handed out by the three transfer mechanisms, the same for every
// source: as the ordinary device-independent bitmap (BITMAPINFOHEADER, colour table,
// bottom-up rows with blue, green, red samples) in a TwainAlloc block for the native
// transfer or behind a BITMAPFILEHEADER in a file, and in strips of whole rows for the
// memory transfer.

#include "CardPicture.h"
#include "DataSource.h"

#include <cstddef>
#include <string>

size_t DibColourCount(const TRenderedImage &Image);
size_t DibByteCount(const TRenderedImage &Image);

// Writes DibByteCount(Image) bytes to Out.
void WriteDib(const TRenderedImage &Image, uint8_t *Out);

// The TW_IMAGEINFO of a finished image, its resolution given per Units.
void FillImageInfo(const TRenderedImage &Image, TW_UINT16 Units, TW_IMAGEINFO &Info);

// Writes a .bmp file; false when the file cannot be written completely. A symbolic
// link in place of the file is not followed.
bool WriteBmpFile(const TRenderedImage &Image, const std::string &FileName);

// The native transfer: the DIB in a block the application frees.
TReply NativeTransfer(const TRenderedImage &Image, TW_HANDLE &Handle);

// How a source lays out its memory strips.
struct TStripShape
{
    int64_t RowsPerStrip = 0;   // 0: as many whole rows as the buffer holds
    bool TightRows = false;     // rows without their DIB padding
};

// The next strip of a memory transfer: whole rows from NextRow on, as many as the
// application's buffer holds. Answers TWRC_XFERDONE with the last row.
TReply WriteStrip(const TRenderedImage &Image, int64_t &NextRow, TW_IMAGEMEMXFER &Xfer,
                  const TStripShape &Shape = {});

// The smallest buffer a memory transfer of Image can use: one row.
uint32_t StripRowBytes(const TRenderedImage &Image, const TStripShape &Shape = {});
// The same for an image still to be scanned.
uint32_t StripRowBytes(int BitsPerPixel, int64_t Width, const TStripShape &Shape = {});
