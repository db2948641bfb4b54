#include "SaneImage.h"

#include "scanner/Dib.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// One sample of a frame as 8 bits. 16-bit samples are in the host's byte order.
uint8_t sampleAt(const uint8_t *Row, int Depth, int64_t Index)
{
    switch (Depth) {
    case 1: return (Row[Index / 8] >> (7 - Index % 8)) & 1 ? 255 : 0;
    case 16: {
        uint16_t value;
        std::memcpy(&value, Row + 2 * Index, sizeof value);
        return static_cast<uint8_t>(value >> 8);
    }
    default: return Row[Index];
    }
}

int64_t wholeRows(const TSaneFrame &Frame)
{
    const SANE_Parameters &p = Frame.Params;
    if (p.bytes_per_line <= 0 || p.pixels_per_line <= 0)
        return 0;
    const int64_t channels = p.format == SANE_FRAME_RGB ? 3 : 1;
    // A row must hold its pixels; a longer row has padding, a shorter one is nonsense.
    if ((p.pixels_per_line * channels * p.depth + 7) / 8 > p.bytes_per_line)
        return 0;
    const int64_t delivered = static_cast<int64_t>(Frame.Bytes.size() / size_t(p.bytes_per_line));
    return p.lines >= 0 ? std::min<int64_t>(p.lines, delivered) : delivered;
}

bool allocate(TRenderedImage &Image, int64_t Width, int64_t Height, int Bits)
{
    Image.Width = static_cast<int32_t>(Width);
    Image.Height = static_cast<int32_t>(Height);
    Image.BitsPerPixel = Bits;
    Image.RowBytes = static_cast<uint32_t>(DibRowBytes(Bits, Width));
    Image.ByteCount = size_t(Image.RowBytes) * size_t(Height);
    Image.Rows.reset(new (std::nothrow) uint8_t[Image.ByteCount]());
    return Image.Rows != nullptr;
}

} // namespace

std::unique_ptr<TRenderedImage> ImageFromSane(const std::vector<TSaneFrame> &Frames, TW_UINT16 Flavor, double XDpi,
                                              double YDpi)
{
    if (Frames.empty())
        return nullptr;
    const SANE_Parameters &first = Frames.front().Params;
    const int depth = first.depth;
    if (depth != 1 && depth != 8 && depth != 16)
        return nullptr;
    const int64_t width = first.pixels_per_line;
    int64_t height = wholeRows(Frames.front());
    for (const TSaneFrame &frame : Frames) {
        if (frame.Params.pixels_per_line != width || frame.Params.depth != depth)
            return nullptr;
        height = std::min(height, wholeRows(frame));
    }
    if (width <= 0 || height <= 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF)
        return nullptr;

    auto image = std::make_unique<TRenderedImage>();
    image->XDpi = XDpi;
    image->YDpi = YDpi;
    image->PixelFlavor = Flavor;

    if (first.format == SANE_FRAME_GRAY && Frames.size() == 1) {
        const bool bw = depth == 1;
        image->PixelType = bw ? TWPT_BW : TWPT_GRAY;
        if (!allocate(*image, width, height, bw ? 1 : 8))
            return nullptr;
        for (int64_t y = 0; y < height; ++y) {
            const uint8_t *in = Frames.front().Bytes.data() + y * first.bytes_per_line;
            uint8_t *out = image->Rows.get() + y * image->RowBytes;
            if (bw) {
                // SANE's 1-bit grey has 1 for black, as vanilla does; chocolate has 0 for black.
                const size_t used = size_t(width + 7) / 8;
                for (size_t i = 0; i < used; ++i)
                    out[i] = Flavor == TWPF_VANILLA ? in[i] : static_cast<uint8_t>(~in[i]);
                if (width % 8)
                    out[used - 1] &= static_cast<uint8_t>(0xFF << (8 - width % 8));
            } else {
                for (int64_t x = 0; x < width; ++x)
                    out[x] = sampleAt(in, depth, x);
            }
        }
        if (bw)
            image->ColourTable = Flavor == TWPF_VANILLA ? std::vector<uint8_t>{255, 255, 255, 0, 0, 0}
                                                        : std::vector<uint8_t>{0, 0, 0, 255, 255, 255};
        else
            for (int i = 0; i < 256; ++i)
                image->ColourTable.insert(image->ColourTable.end(), {uint8_t(i), uint8_t(i), uint8_t(i)});
        return image;
    }

    image->PixelType = TWPT_RGB;
    if (!allocate(*image, width, height, 24))
        return nullptr;
    if (first.format == SANE_FRAME_RGB && Frames.size() == 1) {
        for (int64_t y = 0; y < height; ++y) {
            const uint8_t *in = Frames.front().Bytes.data() + y * first.bytes_per_line;
            uint8_t *out = image->Rows.get() + y * image->RowBytes;
            for (int64_t i = 0; i < 3 * width; ++i)
                out[i] = sampleAt(in, depth, i);
        }
        return image;
    }
    // Three passes, one colour each, in whatever order the scanner sends them.
    bool seen[3] = {false, false, false};
    for (const TSaneFrame &frame : Frames) {
        const int channel = frame.Params.format == SANE_FRAME_RED     ? 0
                            : frame.Params.format == SANE_FRAME_GREEN ? 1
                            : frame.Params.format == SANE_FRAME_BLUE  ? 2
                                                                      : -1;
        if (channel < 0 || seen[channel])
            return nullptr;
        seen[channel] = true;
        for (int64_t y = 0; y < height; ++y) {
            const uint8_t *in = frame.Bytes.data() + y * frame.Params.bytes_per_line;
            uint8_t *out = image->Rows.get() + y * image->RowBytes;
            for (int64_t x = 0; x < width; ++x)
                out[3 * x + channel] = sampleAt(in, depth, x);
        }
    }
    if (!(seen[0] && seen[1] && seen[2]))
        return nullptr;
    return image;
}
