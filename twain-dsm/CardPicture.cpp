#include "CardPicture.h"

#include "scanner/Dib.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {

// The colours of the scene; a PALETTE image uses exactly these.
enum TColour : uint8_t {
    Black, White, Glass, Cream, DarkGrey, Red, Green, Blue,
    Gold, Purple, Teal, DarkRed, Orange, LightBlue, MidGrey, Brown,
};

const std::vector<uint8_t> palette = {
    0, 0, 0,       255, 255, 255, 214, 214, 214, 244, 238, 220,
    64, 64, 64,    200, 40, 40,   40, 150, 60,   40, 80, 200,
    220, 170, 30,  130, 50, 160,  20, 150, 160,  110, 20, 20,
    230, 120, 30,  160, 200, 240, 128, 128, 128, 120, 80, 40,
};

uint8_t luminance(int Colour)
{
    return Luminance(&palette[3 * Colour]);
}

// Draws filled rectangles given in glass inches into the image of one frame.
class TCanvas
{
public:
    TCanvas(TRenderedImage &Image, const TPixelBox &Box) : image_(Image), box_(Box) {}

    void Fill(double Left, double Top, double Right, double Bottom, TColour Colour)
    {
        const int64_t x0 = clampTo(std::lround(Left * image_.XDpi) - box_.Left, image_.Width);
        const int64_t x1 = clampTo(std::lround(Right * image_.XDpi) - box_.Left, image_.Width);
        const int64_t y0 = clampTo(std::lround(Top * image_.YDpi) - box_.Top, image_.Height);
        const int64_t y1 = clampTo(std::lround(Bottom * image_.YDpi) - box_.Top, image_.Height);
        if (x0 >= x1 || y0 >= y1)
            return;
        if (image_.BitsPerPixel == 24)
            fill24(x0, x1, y0, y1, Colour);
        else if (image_.BitsPerPixel == 8)
            for (int64_t y = y0; y < y1; ++y)
                std::memset(row(y) + x0, sample8(Colour), x1 - x0);
        else
            for (int64_t y = y0; y < y1; ++y)
                fillBits(row(y), x0, x1, bitOf(Colour));
    }

private:
    static int64_t clampTo(int64_t Value, int64_t High) { return std::clamp<int64_t>(Value, 0, High); }
    uint8_t *row(int64_t Y) { return image_.Rows.get() + Y * image_.RowBytes; }

    uint8_t sample8(TColour Colour) const
    {
        return image_.PixelType == TWPT_PALETTE ? static_cast<uint8_t>(Colour) : luminance(Colour);
    }

    bool bitOf(TColour Colour) const { return BwBitOf(luminance(Colour), image_.PixelFlavor); }

    void fill24(int64_t X0, int64_t X1, int64_t Y0, int64_t Y1, TColour Colour)
    {
        uint8_t *first = row(Y0) + 3 * X0;
        for (int64_t x = X0; x < X1; ++x)
            std::memcpy(first + 3 * (x - X0), &palette[3 * Colour], 3);
        for (int64_t y = Y0 + 1; y < Y1; ++y)
            std::memcpy(row(y) + 3 * X0, first, 3 * (X1 - X0));
    }

    static void fillBits(uint8_t *Row, int64_t X0, int64_t X1, bool Bit)
    {
        int64_t x = X0;
        auto setBit = [&](int64_t X) {
            const uint8_t mask = static_cast<uint8_t>(0x80 >> (X & 7));
            Row[X >> 3] = Bit ? (Row[X >> 3] | mask) : (Row[X >> 3] & ~mask);
        };
        for (; x < X1 && (x & 7); ++x)
            setBit(x);
        const int64_t wholeBytes = (X1 - x) / 8;
        std::memset(Row + x / 8, Bit ? 0xFF : 0x00, wholeBytes);
        for (x += 8 * wholeBytes; x < X1; ++x)
            setBit(x);
    }

    TRenderedImage &image_;
    TPixelBox box_;
};

// A seven-segment digit: segments a to g as bits 0 to 6.
void drawDigit(TCanvas &Canvas, int Digit, double Left, double Top, double Width, double Height)
{
    static const uint8_t segments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};
    const double t = Width * 0.22;
    const double r = Left + Width;
    const double b = Top + Height;
    const double mid = Top + Height / 2;
    const struct { double L, T, R, B; } bars[7] = {
        {Left, Top, r, Top + t},             // a
        {r - t, Top, r, mid},                // b
        {r - t, mid, r, b},                  // c
        {Left, b - t, r, b},                 // d
        {Left, mid, Left + t, b},            // e
        {Left, Top, Left + t, mid},          // f
        {Left, mid - t / 2, r, mid + t / 2}, // g
    };
    for (int i = 0; i < 7; ++i)
        if (segments[Digit] & (1 << i))
            Canvas.Fill(bars[i].L, bars[i].T, bars[i].R, bars[i].B, Black);
}

void drawCard(TCanvas &Canvas, uint32_t Scan)
{
    static const TColour frames[] = {Red, Green, Blue, Gold, Purple, Teal, Orange, Brown, DarkRed};
    static const TColour arts[] = {LightBlue, White, Gold, Cream};
    const TColour frame = frames[Scan % std::size(frames)];
    const TColour art = arts[Scan % std::size(arts)];
    const double x = 0.1;
    const double y = 0.1;

    Canvas.Fill(x, y, x + 2.5, y + 3.5, frame);
    Canvas.Fill(x + 0.12, y + 0.12, x + 2.38, y + 3.38, Cream);

    // Title band with a few white "words" whose lengths follow the scan number.
    Canvas.Fill(x + 0.2, y + 0.2, x + 2.3, y + 0.55, DarkGrey);
    double wordLeft = x + 0.3;
    for (uint32_t i = 0; i < 3 + Scan % 5; ++i) {
        const double width = 0.1 + 0.06 * ((Scan + i) % 4);
        if (wordLeft + width > x + 2.2)
            break;
        Canvas.Fill(wordLeft, y + 0.3, wordLeft + width, y + 0.45, White);
        wordLeft += width + 0.08;
    }

    // The art box carries the scan number, large.
    Canvas.Fill(x + 0.25, y + 0.7, x + 2.25, y + 2.3, art);
    const uint32_t number = Scan % 1000;
    const int digits = number >= 100 ? 3 : number >= 10 ? 2 : 1;
    const double digitWidth = 0.5;
    const double gap = 0.1;
    const double total = digits * digitWidth + (digits - 1) * gap;
    double digitLeft = x + 1.25 - total / 2;
    for (int i = digits - 1; i >= 0; --i) {
        int divisor = 1;
        for (int k = 0; k < i; ++k)
            divisor *= 10;
        drawDigit(Canvas, static_cast<int>(number / divisor % 10), digitLeft, y + 0.9, digitWidth, 1.2);
        digitLeft += digitWidth + gap;
    }

    // Rules text: lines of a length that varies with the scan.
    for (uint32_t line = 0; line < 4; ++line) {
        const double length = 1.2 + 0.2 * ((Scan + 3 * line) % 4);
        const double top = y + 2.5 + 0.17 * line;
        Canvas.Fill(x + 0.3, top, x + 0.3 + length, top + 0.06, Black);
    }
    Canvas.Fill(x + 0.25, y + 3.22, x + 0.9, y + 3.3, frame);
}

void fillColourTable(TRenderedImage &Image)
{
    std::vector<uint8_t> &table = Image.ColourTable;
    switch (Image.PixelType) {
    case TWPT_BW:
        table = Image.PixelFlavor == TWPF_VANILLA ? std::vector<uint8_t>{255, 255, 255, 0, 0, 0}
                                                  : std::vector<uint8_t>{0, 0, 0, 255, 255, 255};
        break;
    case TWPT_GRAY:
        for (int i = 0; i < 256; ++i)
            table.insert(table.end(), {uint8_t(i), uint8_t(i), uint8_t(i)});
        break;
    case TWPT_PALETTE:
        Image.Palette = palette;
        table = palette;
        break;
    default:
        break;
    }
}

} // namespace

const std::vector<uint8_t> &CardPalette()
{
    return palette;
}

TPixelBox PixelBoxOf(const TFrameInches &Frame, double XDpi, double YDpi)
{
    TPixelBox box;
    box.Left = std::lround(Frame.Left * XDpi);
    box.Top = std::lround(Frame.Top * YDpi);
    box.Width = std::max<int64_t>(1, std::lround(Frame.Right * XDpi) - box.Left);
    box.Height = std::max<int64_t>(1, std::lround(Frame.Bottom * YDpi) - box.Top);
    return box;
}

std::unique_ptr<TRenderedImage> NewScanImage(const TScanRequest &Request)
{
    auto image = std::make_unique<TRenderedImage>();
    const TPixelBox box = PixelBoxOf(Request.Frame, Request.XDpi, Request.YDpi);
    image->Width = static_cast<int32_t>(box.Width);
    image->Height = static_cast<int32_t>(box.Height);
    image->PixelType = Request.PixelType;
    image->PixelFlavor = Request.PixelFlavor;
    image->BitsPerPixel = BitsPerPixelOf(Request.PixelType);
    image->RowBytes = static_cast<uint32_t>(DibRowBytes(image->BitsPerPixel, box.Width));
    image->ByteCount = size_t(image->RowBytes) * size_t(box.Height);
    image->XDpi = Request.XDpi;
    image->YDpi = Request.YDpi;
    image->Rows.reset(new (std::nothrow) uint8_t[image->ByteCount]);
    if (!image->Rows)
        return nullptr;
    fillColourTable(*image);

    // Row padding (and the unused bits of a BW row's last byte) stay zero, as in a DIB.
    const size_t used = (size_t(box.Width) * image->BitsPerPixel) / 8;
    for (int64_t y = 0; y < box.Height; ++y)
        std::memset(image->Rows.get() + y * image->RowBytes + used, 0, image->RowBytes - used);
    return image;
}

std::unique_ptr<TRenderedImage> RenderScan(const TScanRequest &Request)
{
    auto image = NewScanImage(Request);
    if (!image)
        return nullptr;
    TCanvas canvas(*image, PixelBoxOf(Request.Frame, Request.XDpi, Request.YDpi));
    // The glass covers every pixel, even the one column a frame squeezed against
    // the glass's edge keeps.
    canvas.Fill(-1, -1, GlassWidthInches + 1, GlassHeightInches + 1, Glass);
    drawCard(canvas, Request.ScanNumber);
    return image;
}
