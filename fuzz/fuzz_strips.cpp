// A memory transfer as a source may deliver it: the image information it
// claimed, its palette, and strips whose fields say anything at all.
//
// Input: depth selector, flags, width and height (32-bit little-endian each),
// then for the palette type a count and up to 256 entries, then strips, each the
// strip's fields (Compression 16-bit, then BytesPerRow, Columns, Rows, XOffset,
// YOffset and BytesWritten 32-bit, all little-endian), a 16-bit buffer length and
// that many bytes.

#include "FuzzTarget.h"

#include "scanner/DibImage.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

namespace {

// Images larger than this are skipped: the assembler accepts up to 2 GB by
// design, and allocating that much tells the fuzzer nothing.
constexpr int64_t kMaxFuzzImageBytes = 4 << 20;

struct TReader
{
    const uint8_t *Data;
    size_t Size;
    size_t Pos = 0;

    bool Take(void *Out, size_t Count)
    {
        if (Size - Pos < Count)
            return false;
        std::memcpy(Out, Data + Pos, Count);
        Pos += Count;
        return true;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    TReader in{Data, Size};
    uint8_t depth = 0, flags = 0;
    int32_t width = 0, height = 0;
    if (!in.Take(&depth, 1) || !in.Take(&flags, 1) || !in.Take(&width, 4) || !in.Take(&height, 4))
        return 0;

    BITMAPINFOHEADER header;
    std::memset(&header, 0, sizeof header);
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    static const uint16_t depths[] = {1, 8, 24, 4, 32, 0};
    header.biBitCount = depths[depth % std::size(depths)];
    header.biXPelsPerMeter = PelsPerMeter(double(int8_t(flags)) * 37.5, flags >> 4 & 1);
    header.biYPelsPerMeter = header.biXPelsPerMeter;
    if (width > 0 && height > 0
        && DibRowBytes(header.biBitCount, width) > kMaxFuzzImageBytes / height)
        return 0;

    QList<QRgb> table;
    switch (flags >> 1 & 3) {
    case 0: table = BlackWhiteTable(flags >> 3 & 1); break;
    case 1: table = GreyTable(); break;
    case 2: break;
    case 3: {
        TW_PALETTE8 palette;
        std::memset(&palette, 0, sizeof palette);
        if (!in.Take(&palette.NumColors, 2))
            return 0;
        in.Take(palette.Colors, std::min<size_t>(palette.NumColors, 256) * sizeof(TW_ELEMENT8));
        table = PaletteTable(palette);
        break;
    }
    }

    TStripAssembler assembler;
    if (assembler.Start(header, table, flags & 1) != TWCC_SUCCESS)
        return 0;
    TW_IMAGEMEMXFER strip;
    uint16_t length = 0;
    while (in.Take(&strip.Compression, 2) && in.Take(&strip.BytesPerRow, 4) && in.Take(&strip.Columns, 4)
           && in.Take(&strip.Rows, 4) && in.Take(&strip.XOffset, 4) && in.Take(&strip.YOffset, 4)
           && in.Take(&strip.BytesWritten, 4) && in.Take(&length, 2)) {
        const size_t count = std::min<size_t>(length, in.Size - in.Pos);
        // Copied, so that a read past the buffer is a read past its own block.
        const std::vector<uint8_t> buffer(in.Data + in.Pos, in.Data + in.Pos + count);
        if (assembler.Place(strip, buffer.data(), buffer.size()) != TWCC_SUCCESS)
            break;
        in.Pos += count;
    }
    const QImage image = assembler.Finish();
    if (!image.isNull())
        image.pixel(image.width() - 1, image.height() - 1);
    return 0;
}
