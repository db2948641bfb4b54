#include "DibImage.h"

#include "Containers.h"

#include "scanner/Dib.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
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

    const std::unique_ptr<FILE, int (*)(FILE *)> out(std::fopen(FileName.c_str(), "wb"), &std::fclose);
    if (!out)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out.get()) == bytes.size();
    return written && std::fflush(out.get()) == 0;
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
