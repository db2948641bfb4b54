#include "DibImage.h"

#include "Containers.h"

#include "scanner/Dib.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

int32_t pelsPerMeter(double Dpi)
{
    return static_cast<int32_t>(std::lround(Dpi * 100.0 / 2.54));
}

} // namespace

size_t DibColourCount(const TRenderedImage &Image)
{
    return Image.ColourTable.size() / 3;
}

size_t DibByteCount(const TRenderedImage &Image)
{
    return sizeof(BITMAPINFOHEADER) + 4 * DibColourCount(Image) + Image.ByteCount;
}

void WriteDib(const TRenderedImage &Image, uint8_t *Out)
{
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = Image.Width;
    header.biHeight = Image.Height;
    header.biPlanes = 1;
    header.biBitCount = static_cast<uint16_t>(Image.BitsPerPixel);
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<uint32_t>(Image.ByteCount);
    header.biXPelsPerMeter = pelsPerMeter(Image.XDpi);
    header.biYPelsPerMeter = pelsPerMeter(Image.YDpi);
    header.biClrUsed = static_cast<uint32_t>(DibColourCount(Image));
    std::memcpy(Out, &header, sizeof header);
    Out += sizeof header;

    for (size_t i = 0; i < DibColourCount(Image); ++i) {
        const uint8_t *rgb = &Image.ColourTable[3 * i];
        const RGBQUAD quad{rgb[2], rgb[1], rgb[0], 0};
        std::memcpy(Out, &quad, sizeof quad);
        Out += sizeof quad;
    }

    for (int32_t y = 0; y < Image.Height; ++y) {
        const uint8_t *source = Image.Rows.get() + size_t(Image.Height - 1 - y) * Image.RowBytes;
        uint8_t *target = Out + size_t(y) * Image.RowBytes;
        std::memcpy(target, source, Image.RowBytes);
        if (Image.BitsPerPixel == 24)
            for (int32_t x = 0; x < Image.Width; ++x)
                std::swap(target[3 * x], target[3 * x + 2]);
    }
}

bool WriteBmpFile(const TRenderedImage &Image, const std::string &FileName)
{
    const size_t dibBytes = DibByteCount(Image);
    if (dibBytes + sizeof(BITMAPFILEHEADER) > 0xFFFFFFFFu)
        return false;
    std::vector<uint8_t> bytes(sizeof(BITMAPFILEHEADER) + dibBytes);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42; // "BM"
    file.bfSize = static_cast<uint32_t>(bytes.size());
    file.bfOffBits = static_cast<uint32_t>(sizeof file + sizeof(BITMAPINFOHEADER) + 4 * DibColourCount(Image));
    std::memcpy(bytes.data(), &file, sizeof file);
    WriteDib(Image, bytes.data() + sizeof file);

    // A link planted under the file's name would send the scan elsewhere.
    const int fd = open(FileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += size_t(n);
    }
    return close(fd) == 0 && done == bytes.size();
}

TReply NativeTransfer(const TRenderedImage &Image, TW_HANDLE &Handle)
{
    auto *block = static_cast<uint8_t *>(TwainAlloc(DibByteCount(Image)));
    if (!block)
        return Failure(TWCC_LOWMEMORY);
    WriteDib(Image, block);
    Handle = block;
    return {TWRC_XFERDONE, TWCC_SUCCESS};
}

uint32_t StripRowBytes(int BitsPerPixel, int64_t Width, const TStripShape &Shape)
{
    return uint32_t(Shape.TightRows ? (Width * BitsPerPixel + 7) / 8 : DibRowBytes(BitsPerPixel, Width));
}

uint32_t StripRowBytes(const TRenderedImage &Image, const TStripShape &Shape)
{
    return StripRowBytes(Image.BitsPerPixel, Image.Width, Shape);
}

TReply WriteStrip(const TRenderedImage &Image, int64_t &NextRow, TW_IMAGEMEMXFER &Xfer, const TStripShape &Shape)
{
    // The buffer belongs to the application; a handle is the same address here.
    if (!Xfer.Memory.TheMem || !(Xfer.Memory.Flags & TWMF_APPOWNS))
        return Failure(TWCC_BADVALUE);
    const uint32_t rowBytes = StripRowBytes(Image, Shape);
    // A strip holds whole rows: a buffer smaller than one cannot take any.
    int64_t rows = std::min<int64_t>(Xfer.Memory.Length / rowBytes, Image.Height - NextRow);
    if (Shape.RowsPerStrip > 0)
        rows = std::min(rows, Shape.RowsPerStrip);
    if (rows <= 0)
        return Failure(TWCC_BADVALUE);
    auto *out = static_cast<uint8_t *>(TwainLock(Xfer.Memory.TheMem));
    const uint8_t *in = Image.Rows.get() + size_t(NextRow) * Image.RowBytes;
    if (rowBytes == Image.RowBytes)
        std::memcpy(out, in, size_t(rows) * rowBytes);
    else
        for (int64_t y = 0; y < rows; ++y)
            std::memcpy(out + size_t(y) * rowBytes, in + size_t(y) * Image.RowBytes, rowBytes);
    TwainUnlock(Xfer.Memory.TheMem);

    Xfer.Compression = TWCP_NONE;
    Xfer.BytesPerRow = rowBytes;
    Xfer.Columns = static_cast<TW_UINT32>(Image.Width);
    Xfer.Rows = static_cast<TW_UINT32>(rows);
    Xfer.XOffset = 0;
    Xfer.YOffset = static_cast<TW_UINT32>(NextRow);
    Xfer.BytesWritten = static_cast<TW_UINT32>(rows * rowBytes);
    NextRow += rows;
    return NextRow >= Image.Height ? TReply{TWRC_XFERDONE, TWCC_SUCCESS} : TReply{};
}

void FillImageInfo(const TRenderedImage &Image, TW_UINT16 Units, TW_IMAGEINFO &Info)
{
    const double perInch = ResolutionUnitsPerInch(Units);
    Info = TW_IMAGEINFO{};
    Info.XResolution = ToFix32(Image.XDpi / perInch);
    Info.YResolution = ToFix32(Image.YDpi / perInch);
    Info.ImageWidth = Image.Width;
    Info.ImageLength = Image.Height;
    Info.SamplesPerPixel = Image.PixelType == TWPT_RGB ? 3 : 1;
    for (int i = 0; i < Info.SamplesPerPixel; ++i)
        Info.BitsPerSample[i] = static_cast<TW_INT16>(Image.PixelType == TWPT_BW ? 1 : 8);
    Info.BitsPerPixel = static_cast<TW_INT16>(Image.BitsPerPixel);
    Info.Planar = TwFalse;
    Info.PixelType = static_cast<TW_INT16>(Image.PixelType);
    Info.Compression = TWCP_NONE;
}
