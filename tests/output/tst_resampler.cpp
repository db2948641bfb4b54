#include "output/Resampler.h"
#include "output/ScanOutput.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

namespace {

QImage RandomImage(int Width, int Height, QImage::Format Format, quint32 Seed)
{
    QImage Image(Width, Height, Format);
    QRandomGenerator Random(Seed);
    for (int y = 0; y < Height; ++y) {
        uchar *Row = Image.scanLine(y);
        for (int x = 0; x < Image.bytesPerLine(); ++x)
            Row[x] = static_cast<uchar>(Random.bounded(256));
    }
    return Image;
}

} // namespace

TEST(Resampler, FastPathEqualsReference)
{
    struct TCase
    {
        int SourceWidth, SourceHeight, Width, Height;
    };
    const TCase Cases[] = {
        {1, 1, 5, 7},      {1, 9, 3, 1},     {9, 1, 1, 4},       {17, 13, 17, 13},
        {17, 13, 40, 13},  {37, 23, 80, 50}, {101, 77, 33, 25},  {99, 99, 11, 11},
        {640, 480, 213, 160}, {5, 300, 1, 99}, {300, 2, 7, 1},   {64, 700, 64, 101},
        {2000, 3, 1, 3},
    };
    quint32 Seed = 1;
    for (const TCase &Case : Cases) {
        const QSize Size(Case.Width, Case.Height);
        SCOPED_TRACE(testing::Message() << Case.SourceWidth << "x" << Case.SourceHeight << " -> "
                                        << Case.Width << "x" << Case.Height);
        // 32-bit with random alpha, and 24-bit, which the fast path reads as it is.
        for (const QImage::Format Format : {QImage::Format_ARGB32, QImage::Format_RGB888}) {
            const QImage Source = RandomImage(Case.SourceWidth, Case.SourceHeight, Format, Seed++);
            const QImage Expected = ResampleReference(Source.convertToFormat(QImage::Format_ARGB32), Size);
            for (const int Threads : {1, 3})
                EXPECT_TRUE(ResampleLanczos3(Source, Size, Threads) == Expected)
                    << "format " << Format << ", threads " << Threads;
        }
    }
}

// Weights that do not add up to exactly 256 show as a shifted flat colour;
// the strongest reduction rounds every weight away.
TEST(Resampler, FlatColourStaysExact)
{
    const QSize Sizes[] = {{1, 1}, {7, 5}, {300, 200}, {2, 1}};
    QImage Flat(3000, 2000, QImage::Format_RGB32);
    Flat.fill(QColor(201, 13, 77));
    for (const QSize &Size : Sizes) {
        const QImage Result = ResampleLanczos3(Flat, Size);
        for (int y = 0; y < Size.height(); ++y)
            for (int x = 0; x < Size.width(); ++x)
                ASSERT_EQ(Result.pixel(x, y), Flat.pixel(0, 0)) << Size.width() << "x" << Size.height();
    }
}

TEST(WebCopy, SizeFromLongSideAndRatio)
{
    struct TCase
    {
        int LongSide;
        double Ratio;
        QSize Size;
    };
    const TCase Cases[] = {
        {850, 1200.0 / 1700, {600, 850}},
        {850, 1700.0 / 1200, {850, 600}},
        {500, 1.0, {500, 500}},
        {5, 0.5, {2, 5}},    // 2.5 rounds to even
        {7, 0.5, {4, 7}},    // 3.5 rounds to even
        {10, 4.0, {10, 2}},  // 2.5, the landscape side
        {100, 0.001, {1, 100}},
        {0, 1.0, {1, 1}},
    };
    for (const TCase &Case : Cases)
        EXPECT_EQ(WebCopySize(Case.LongSide, Case.Ratio), Case.Size)
            << Case.LongSide << " " << Case.Ratio;
}

TEST(WebCopy, WatermarkOnlyAboveOneHundredPixelsAndWithText)
{
    struct TCase
    {
        int LongSide;
        const char *Text;
        bool Marked;
    };
    const TCase Cases[] = {{100, "Vellumora", false}, {101, "Vellumora", true},
                           {400, "", false},          {400, "Vellumora", true}};
    const QRgb Grey = qRgb(128, 128, 128);
    for (const TCase &Case : Cases) {
        SCOPED_TRACE(testing::Message() << Case.LongSide << " '" << Case.Text << "'");
        QImage Source(Case.LongSide * 2, Case.LongSide * 2, QImage::Format_RGB32);
        Source.fill(Grey);
        const QImage Copy = MakeWebCopy(Source, Case.LongSide, 1.0, QString::fromUtf8(Case.Text));
        ASSERT_EQ(Copy.size(), QSize(Case.LongSide, Case.LongSide));
        bool Black = false;
        bool White = false;
        for (int y = 0; y < Copy.height(); ++y) {
            for (int x = 0; x < Copy.width(); ++x) {
                const QRgb Pixel = Copy.pixel(x, y);
                if (Pixel == Grey)
                    continue;
                // Lower left only: the text cell of 13-pixel Arial ends 4 pixels
                // above the bottom, the shadow one pixel lower.
                EXPECT_TRUE(x >= 3 && y >= Copy.height() - 20 && y < Copy.height() - 2)
                    << "mark at " << x << "," << y;
                Black = Black || qGreen(Pixel) < 40;
                White = White || qGreen(Pixel) > 220;
            }
        }
        EXPECT_EQ(Black, Case.Marked);
        EXPECT_EQ(White, Case.Marked);
    }
}
