#include "scanner/DibImage.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <mutex>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

// One pixel buffer kept back from the last image that was let go. Scans follow one
// another at the same size, and a fresh 100 MB block costs more in page faults than
// the whole transfer costs in copying. The image owns its buffer until its last copy
// is gone (a handler that keeps the picture keeps the buffer), wherever that happens.
class TPixelPool
{
public:
    static TPixelPool &Instance()
    {
        static auto *pool = new TPixelPool; // outlives every image, never torn down
        return *pool;
    }

    QImage Make(int Width, int Height, QImage::Format Format, int64_t BytesPerLine)
    {
        const size_t size = size_t(BytesPerLine) * size_t(Height);
        TBuffer *buffer = nullptr;
        {
            std::lock_guard lock(mutex_);
            if (spare_ && spare_->Size >= size && spare_->Size / 2 <= size)
                std::swap(buffer, spare_);
        }
        if (!buffer) {
            auto *bytes = new (std::nothrow) uint8_t[size];
            if (!bytes)
                return {};
            buffer = new TBuffer{bytes, size};
        }
        QImage image(buffer->Bytes, Width, Height, qsizetype(BytesPerLine), Format, &giveBack, buffer);
        if (image.isNull())
            giveBack(buffer);
        return image;
    }

private:
    struct TBuffer
    {
        uint8_t *Bytes;
        size_t Size;
    };

    static void giveBack(void *Info)
    {
        auto *buffer = static_cast<TBuffer *>(Info);
        TPixelPool &pool = Instance();
        {
            std::lock_guard lock(pool.mutex_);
            std::swap(buffer, pool.spare_);
        }
        if (buffer) {
            delete[] buffer->Bytes;
            delete buffer;
        }
    }

    std::mutex mutex_;
    TBuffer *spare_ = nullptr;
};

// Red and blue of each three-byte pixel exchanged, scalar: for the tail of a row
// and for processors without byte shuffles.
void swapRedBlueScalar(uint8_t *P, uint8_t *End)
{
    for (; P < End; P += 3)
        std::swap(P[0], P[2]);
}

#if defined(__x86_64__) || defined(__i386__)
// Five pixels per 16-byte shuffle: a full page's rows are swapped at memory speed,
// where the byte-by-byte loop alone would cost more than copying the strips.
__attribute__((target("ssse3"))) void swapRedBlueSsse3(uint8_t *P, uint8_t *End)
{
    const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
    // Each step rewrites 15 bytes and leaves the 16th as it was, so it may not pass End.
    // The next block is loaded before this one is stored: loading over a store still
    // in flight would stall every step on store forwarding.
    if (End - P < 16) {
        swapRedBlueScalar(P, End);
        return;
    }
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(P));
    while (End - P >= 31) {
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i *>(P + 15));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(P), _mm_shuffle_epi8(v, order));
        v = next;
        P += 15;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i *>(P), _mm_shuffle_epi8(v, order));
    P += 15;
    swapRedBlueScalar(P, End);
}

void swapRedBlue(uint8_t *P, uint8_t *End)
{
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    if (ssse3)
        swapRedBlueSsse3(P, End);
    else
        swapRedBlueScalar(P, End);
}
#else
void swapRedBlue(uint8_t *P, uint8_t *End)
{
    swapRedBlueScalar(P, End);
}
#endif

bool knownDepth(int BitCount)
{
    return BitCount == 1 || BitCount == 4 || BitCount == 8 || BitCount == 16 || BitCount == 24
           || BitCount == 32;
}

// The DIB's colour table as 2^depth display colours; entries it lacks are black, so a
// pixel pointing past the table can never read beyond it.
std::vector<QRgb> displayTable(const uint8_t *Table, uint32_t Count, int BitCount)
{
    std::vector<QRgb> colours(size_t(1) << BitCount, qRgb(0, 0, 0));
    const uint32_t used = std::min<uint32_t>(Count, uint32_t(colours.size()));
    for (uint32_t i = 0; i < used; ++i) {
        const uint8_t *entry = Table + 4 * i;
        colours[i] = qRgb(entry[2], entry[1], entry[0]);
    }
    return colours;
}

void convertRow(const uint8_t *Src, QRgb *Dst, int Width, int BitCount,
                const std::vector<QRgb> &Colours)
{
    switch (BitCount) {
    case 1:
        for (int x = 0; x < Width; ++x)
            Dst[x] = Colours[(Src[x >> 3] >> (7 - (x & 7))) & 1];
        break;
    case 4:
        for (int x = 0; x < Width; ++x)
            Dst[x] = Colours[(Src[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F];
        break;
    case 8:
        for (int x = 0; x < Width; ++x)
            Dst[x] = Colours[Src[x]];
        break;
    case 16:
        // BI_RGB 16-bit pixels are 5-5-5, blue in the low bits.
        for (int x = 0; x < Width; ++x) {
            const unsigned v = Src[2 * x] | (Src[2 * x + 1] << 8);
            const unsigned r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
            Dst[x] = qRgb((r << 3) | (r >> 2), (g << 3) | (g >> 2), (b << 3) | (b >> 2));
        }
        break;
    case 24:
        for (int x = 0; x < Width; ++x, Src += 3)
            Dst[x] = 0xFF000000u | (uint32_t(Src[2]) << 16) | (uint32_t(Src[1]) << 8) | Src[0];
        break;
    case 32:
        for (int x = 0; x < Width; ++x, Src += 4)
            Dst[x] = 0xFF000000u | (uint32_t(Src[2]) << 16) | (uint32_t(Src[1]) << 8) | Src[0];
        break;
    }
}

} // namespace

uint32_t DibColorCount(const BITMAPINFOHEADER &Header)
{
    if (Header.biClrUsed != 0)
        return Header.biClrUsed;
    switch (Header.biBitCount) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    default: return 0;
    }
}

TImageOutcome NativeDibToImage(const uint8_t *Block, size_t BlockSize)
{
    BITMAPINFOHEADER h;
    if (!Block || BlockSize < sizeof h)
        return {{}, TWCC_BADVALUE};
    std::memcpy(&h, Block, sizeof h);
    if (h.biSize < sizeof h || h.biSize > BlockSize || h.biCompression != BI_RGB
        || !knownDepth(h.biBitCount) || h.biWidth <= 0 || h.biHeight == 0)
        return {{}, TWCC_BADVALUE};

    const int64_t width = h.biWidth;
    const int64_t height = std::abs(int64_t(h.biHeight));
    const uint64_t colours = DibColorCount(h);
    const uint64_t room = BlockSize - h.biSize;
    if (colours > room / 4)
        return {{}, TWCC_BADVALUE};
    const uint64_t pixelOffset = h.biSize + 4 * colours;
    const uint64_t rowBytes = uint64_t(DibRowBytes(h.biBitCount, width));
    if (uint64_t(height) > (BlockSize - pixelOffset) / rowBytes)
        return {{}, TWCC_BADVALUE};
    if (width * height > MaxImageBytes / 4)
        return {{}, TWCC_LOWMEMORY};

    QImage image = TPixelPool::Instance().Make(int(width), int(height), QImage::Format_RGB32, width * 4);
    if (image.isNull())
        return {{}, TWCC_LOWMEMORY};
    const std::vector<QRgb> table = h.biBitCount <= 8
        ? displayTable(Block + h.biSize, uint32_t(colours), h.biBitCount)
        : std::vector<QRgb>();
    const uint8_t *pixels = Block + pixelOffset;
    const bool bottomUp = h.biHeight > 0;
    for (int64_t y = 0; y < height; ++y) {
        const int64_t dibRow = bottomUp ? height - 1 - y : y;
        convertRow(pixels + dibRow * rowBytes, reinterpret_cast<QRgb *>(image.scanLine(int(y))),
                   int(width), h.biBitCount, table);
    }
    if (h.biXPelsPerMeter > 0 && h.biYPelsPerMeter > 0) {
        image.setDotsPerMeterX(h.biXPelsPerMeter);
        image.setDotsPerMeterY(h.biYPelsPerMeter);
    }
    return {image, TWCC_SUCCESS};
}

int32_t PelsPerMeter(double Resolution, TW_UINT16 Unit)
{
    double perMeter = 0;
    if (Unit == TWUN_INCHES)
        perMeter = Resolution * 100 / 2.54;
    else if (Unit == TWUN_CENTIMETERS)
        perMeter = Resolution * 100;
    // Truncated toward zero; a resolution no int32 holds is no resolution at all.
    if (!(std::fabs(perMeter) < 2147483647.0))
        return 0;
    return int32_t(perMeter);
}

QList<QRgb> BlackWhiteTable(TW_UINT16 PixelFlavor)
{
    const QRgb black = qRgb(0, 0, 0), white = qRgb(255, 255, 255);
    return PixelFlavor == TWPF_VANILLA ? QList<QRgb>{white, black} : QList<QRgb>{black, white};
}

QList<QRgb> GreyTable()
{
    QList<QRgb> table(256);
    for (int i = 0; i < 256; ++i)
        table[i] = qRgb(i, i, i);
    return table;
}

QList<QRgb> PaletteTable(const TW_PALETTE8 &Palette)
{
    const int count = std::min<int>(Palette.NumColors, 256);
    QList<QRgb> table(count);
    for (int i = 0; i < count; ++i)
        table[i] = qRgb(Palette.Colors[i].Channel1, Palette.Colors[i].Channel2,
                        Palette.Colors[i].Channel3);
    return table;
}

TW_UINT16 TStripAssembler::Start(const BITMAPINFOHEADER &Header, const QList<QRgb> &Table,
                                 bool SwapRgb)
{
    Drop();
    QImage::Format format;
    int tableSize = 0;
    switch (Header.biBitCount) {
    case 1: format = QImage::Format_Mono; tableSize = 2; break;
    case 8: format = QImage::Format_Indexed8; tableSize = 256; break;
    case 24: format = QImage::Format_BGR888; break;
    default: return TWCC_BADVALUE;
    }
    // The swap walks three-byte pixels: on any other depth it would run off the row.
    if (SwapRgb && Header.biBitCount != 24)
        return TWCC_BADVALUE;
    if (Header.biWidth <= 0 || Header.biHeight <= 0)
        return TWCC_BADVALUE;
    const int64_t rowBytes = DibRowBytes(Header.biBitCount, Header.biWidth);
    if (rowBytes > MaxImageBytes / Header.biHeight)
        return TWCC_LOWMEMORY;

    QImage image = TPixelPool::Instance().Make(Header.biWidth, Header.biHeight, format, rowBytes);
    if (image.isNull() || image.bytesPerLine() != rowBytes)
        return TWCC_LOWMEMORY;
    if (tableSize) {
        // Padded with black, so that every index a row can hold names a colour.
        QList<QRgb> table = Table.mid(0, tableSize);
        while (table.size() < tableSize)
            table.append(qRgb(0, 0, 0));
        image.setColorTable(table);
    }
    if (Header.biXPelsPerMeter > 0 && Header.biYPelsPerMeter > 0) {
        image.setDotsPerMeterX(Header.biXPelsPerMeter);
        image.setDotsPerMeterY(Header.biYPelsPerMeter);
    }
    image_ = std::move(image);
    bits_ = image_.bits();
    stride_ = image_.bytesPerLine();
    height_ = Header.biHeight;
    width_ = Header.biWidth;
    bitCount_ = Header.biBitCount;
    placed_ = 0;
    rowPixels_.assign(size_t(height_), 0);
    swapRgb_ = SwapRgb;
    return TWCC_SUCCESS;
}

TW_UINT16 TStripAssembler::Place(const TW_IMAGEMEMXFER &Strip, const uint8_t *Buffer, size_t BufferSize)
{
    if (image_.isNull())
        return TWCC_BADVALUE;
    const int64_t rows = Strip.Rows, columns = Strip.Columns, bytesPerRow = Strip.BytesPerRow;
    const int64_t x = Strip.XOffset, y = Strip.YOffset;
    if (rows == 0 || columns == 0)
        return Strip.Compression == TWCP_NONE ? TWCC_SUCCESS : TWCC_BADVALUE;
    if (Strip.Compression != TWCP_NONE || x + columns > width_ || y + rows > height_)
        return TWCC_BADVALUE;
    // A strip starts on a whole byte of the row, and one that ends inside a byte must
    // end the row: its last byte would otherwise overwrite its neighbour's pixels.
    const int64_t bitsIn = columns * bitCount_;
    if ((x * bitCount_) % 8 != 0 || (bitsIn % 8 != 0 && x + columns != width_))
        return TWCC_BADVALUE;
    const int64_t used = (bitsIn + 7) / 8;
    // Uncompressed rows hold their pixels, and every row must lie inside both what
    // the source wrote and what the buffer holds.
    const int64_t needed = (rows - 1) * bytesPerRow + used;
    if (bytesPerRow < used || Strip.BytesWritten > BufferSize || needed > int64_t(Strip.BytesWritten))
        return TWCC_BADVALUE;
    // Rows sent twice would leave others unsent however the count comes out.
    for (int64_t r = 0; r < rows; ++r)
        if (rowPixels_[size_t(y + r)] + columns > width_)
            return TWCC_BADVALUE;
    for (int64_t r = 0; r < rows; ++r) {
        rowPixels_[size_t(y + r)] += columns;
        uint8_t *target = bits_ + (y + r) * stride_ + x * bitCount_ / 8;
        std::memcpy(target, Buffer + r * bytesPerRow, size_t(used));
        if (swapRgb_)
            swapRedBlue(target, target + 3 * columns);
    }
    placed_ += rows * columns;
    return TWCC_SUCCESS;
}

QImage TStripAssembler::Finish()
{
    if (!Complete())
        return {};
    QImage done = image_;
    image_ = QImage();
    bits_ = nullptr;
    return done;
}
