#include "SaneImage.h"

#include "scanner/Dib.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// Blocks of an image of unknown height: small against any scan, large against a row.
constexpr size_t BlockBytes = size_t(4) << 20;

// One sample of a row as 8 bits. 16-bit samples are in the host's byte order.
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

int channelOf(SANE_Frame Format)
{
    switch (Format) {
    case SANE_FRAME_RED: return 0;
    case SANE_FRAME_GREEN: return 1;
    case SANE_FRAME_BLUE: return 2;
    default: return -1;
    }
}

} // namespace

TSaneImageBuilder::TSaneImageBuilder(TW_UINT16 Flavor, double XDpi, double YDpi, size_t MaxBytes)
    : flavor_(Flavor), maxBytes_(MaxBytes), image_(std::make_unique<TRenderedImage>())
{
    image_->XDpi = XDpi;
    image_->YDpi = YDpi;
    image_->PixelFlavor = Flavor;
}

TW_UINT16 TSaneImageBuilder::fail(TW_UINT16 Cc)
{
    if (!fault_)
        fault_ = Cc;
    return fault_;
}

TW_UINT16 TSaneImageBuilder::BeginFrame(const SANE_Parameters &Params)
{
    if (fault_)
        return fault_;
    const SANE_Parameters &p = Params;
    const int64_t channels = p.format == SANE_FRAME_RGB ? 3 : 1;
    const bool known = p.format == SANE_FRAME_GRAY || p.format == SANE_FRAME_RGB || channelOf(p.format) >= 0;
    if (!known || (p.depth != 1 && p.depth != 8 && p.depth != 16) || p.pixels_per_line <= 0
        || p.pixels_per_line > 0x7FFFFFFF || p.bytes_per_line <= 0)
        return fail(TWCC_BUMMER);
    // A row must hold its pixels; a longer row has padding, a shorter one is nonsense.
    if ((int64_t(p.pixels_per_line) * channels * p.depth + 7) / 8 > p.bytes_per_line)
        return fail(TWCC_BUMMER);
    if (size_t(p.bytes_per_line) > maxBytes_)
        return fail(TWCC_LOWMEMORY);

    const int channel = channelOf(p.format);
    if (frames_ == 0) {
        // The first frame decides the image.
        const bool separate = channel >= 0;
        if (!separate && !p.last_frame)
            return fail(TWCC_BUMMER);
        image_->Width = p.pixels_per_line;
        if (p.format == SANE_FRAME_GRAY && !separate)
            image_->PixelType = p.depth == 1 ? TWPT_BW : TWPT_GRAY;
        else
            image_->PixelType = TWPT_RGB;
        image_->BitsPerPixel = BitsPerPixelOf(image_->PixelType);
        image_->RowBytes = static_cast<uint32_t>(DibRowBytes(image_->BitsPerPixel, image_->Width));
        if (image_->PixelType == TWPT_BW)
            image_->ColourTable = flavor_ == TWPF_VANILLA ? std::vector<uint8_t>{255, 255, 255, 0, 0, 0}
                                                          : std::vector<uint8_t>{0, 0, 0, 255, 255, 255};
        else if (image_->PixelType == TWPT_GRAY)
            for (int i = 0; i < 256; ++i)
                image_->ColourTable.insert(image_->ColourTable.end(), {uint8_t(i), uint8_t(i), uint8_t(i)});
        unknownHeight_ = p.lines < 0;
        if (!unknownHeight_) {
            if (p.lines == 0)
                return fail(TWCC_BUMMER);
            if (uint64_t(p.lines) > maxBytes_ / image_->RowBytes)
                return fail(TWCC_LOWMEMORY);
            image_->Height = p.lines;
            image_->ByteCount = size_t(image_->RowBytes) * size_t(p.lines);
            // Sized from the parameters once: the rows are converted straight into it.
            image_->Rows.reset(new (std::nothrow) uint8_t[image_->ByteCount]());
            if (!image_->Rows)
                return fail(TWCC_LOWMEMORY);
            height_ = p.lines;
        } else {
            rowsPerBlock_ = std::max<int64_t>(1, int64_t(BlockBytes / image_->RowBytes));
        }
    } else {
        // The other passes of a three-pass scan: the same pixels, another colour.
        if (channel < 0 || channel_ < 0 || p.pixels_per_line != image_->Width)
            return fail(TWCC_BUMMER);
        if (p.lines >= 0 && p.lines != height_)
            return fail(TWCC_BUMMER);
    }
    if (channel >= 0) {
        if (seen_[channel])
            return fail(TWCC_BUMMER);
        seen_[channel] = true;
    }
    channel_ = channel;
    params_ = p;
    row_.assign(size_t(p.bytes_per_line), 0);
    filled_ = 0;
    rowsIn_ = 0;
    ++frames_;
    return TWCC_SUCCESS;
}

TW_UINT16 TSaneImageBuilder::Feed(const uint8_t *Bytes, size_t Count)
{
    if (fault_)
        return fault_;
    while (Count > 0) {
        const size_t n = std::min(Count, row_.size() - filled_);
        std::memcpy(row_.data() + filled_, Bytes, n);
        Bytes += n;
        Count -= n;
        filled_ += n;
        if (filled_ == row_.size()) {
            filled_ = 0;
            if (const TW_UINT16 cc = placeRow(row_.data()))
                return cc;
        }
    }
    return TWCC_SUCCESS;
}

TW_UINT16 TSaneImageBuilder::placeRow(const uint8_t *In)
{
    const int64_t y = rowsIn_++;
    // Rows beyond the promised lines (or beyond the first pass) are not the image's.
    const bool growing = unknownHeight_ && frames_ == 1;
    if (!growing && y >= height_)
        return TWCC_SUCCESS;
    if (growing) {
        if (const TW_UINT16 cc = growTo(y + 1))
            return cc;
    }
    uint8_t *out = outputRow(y);
    const int64_t width = image_->Width;
    const int depth = params_.depth;
    if (channel_ >= 0) {
        for (int64_t x = 0; x < width; ++x)
            out[3 * x + channel_] = sampleAt(In, depth, x);
    } else if (image_->PixelType == TWPT_BW) {
        // SANE's 1-bit grey has 1 for black, as vanilla does; chocolate has 0 for black.
        const size_t used = size_t(width + 7) / 8;
        for (size_t i = 0; i < used; ++i)
            out[i] = flavor_ == TWPF_VANILLA ? In[i] : static_cast<uint8_t>(~In[i]);
        if (width % 8)
            out[used - 1] &= static_cast<uint8_t>(0xFF << (8 - width % 8));
    } else {
        const int64_t samples = image_->PixelType == TWPT_RGB ? 3 * width : width;
        if (depth == 8)
            std::memcpy(out, In, size_t(samples));
        else
            for (int64_t i = 0; i < samples; ++i)
                out[i] = sampleAt(In, depth, i);
    }
    return TWCC_SUCCESS;
}

TW_UINT16 TSaneImageBuilder::growTo(int64_t Rows)
{
    if (uint64_t(Rows) > maxBytes_ / image_->RowBytes)
        return fail(TWCC_LOWMEMORY);
    while (int64_t(blocks_.size()) * rowsPerBlock_ < Rows) {
        blocks_.emplace_back(new (std::nothrow) uint8_t[size_t(rowsPerBlock_) * image_->RowBytes]());
        if (!blocks_.back())
            return fail(TWCC_LOWMEMORY);
    }
    height_ = std::max(height_, Rows);
    return TWCC_SUCCESS;
}

uint8_t *TSaneImageBuilder::outputRow(int64_t Y)
{
    if (image_->Rows)
        return image_->Rows.get() + size_t(Y) * image_->RowBytes;
    return blocks_[size_t(Y / rowsPerBlock_)].get() + size_t(Y % rowsPerBlock_) * image_->RowBytes;
}

TW_UINT16 TSaneImageBuilder::EndFrame()
{
    if (fault_)
        return fault_;
    // Fewer rows than promised, or than the first pass gave: the scan was cut short.
    const bool firstOfUnknown = unknownHeight_ && frames_ == 1;
    if (!firstOfUnknown && rowsIn_ < height_)
        return fail(TWCC_BUMMER);
    if (firstOfUnknown && height_ == 0)
        return fail(TWCC_BUMMER);
    return TWCC_SUCCESS;
}

std::unique_ptr<TRenderedImage> TSaneImageBuilder::Finish(TW_UINT16 &Fault)
{
    if (!fault_ && frames_ == 0)
        fail(TWCC_BUMMER);
    if (!fault_ && channel_ >= 0 && !(seen_[0] && seen_[1] && seen_[2]))
        fail(TWCC_BUMMER);
    if (!fault_ && !image_->Rows) {
        // Joined block by block, each let go once copied. Only a scan of unknown
        // height (a hand scanner's) briefly holds its image twice, here.
        image_->Height = static_cast<int32_t>(height_);
        image_->ByteCount = size_t(image_->RowBytes) * size_t(height_);
        image_->Rows.reset(new (std::nothrow) uint8_t[image_->ByteCount]);
        if (!image_->Rows) {
            fail(TWCC_LOWMEMORY);
        } else {
            for (size_t b = 0; b < blocks_.size(); ++b) {
                const int64_t first = int64_t(b) * rowsPerBlock_;
                const int64_t rows = std::min(rowsPerBlock_, height_ - first);
                if (rows > 0)
                    std::memcpy(image_->Rows.get() + size_t(first) * image_->RowBytes, blocks_[b].get(),
                                size_t(rows) * image_->RowBytes);
                blocks_[b].reset();
            }
        }
    }
    Fault = fault_;
    if (fault_)
        return nullptr;
    return std::move(image_);
}
