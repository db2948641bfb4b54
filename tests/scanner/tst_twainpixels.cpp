// The pixel builders and records of the TWAIN layer, fed hand-made bytes.

#include "scanner/DibImage.h"
#include "scanner/TwainIdentity.h"
#include "scanner/TwainTypes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// A DIB block: header, colour table, then the rows exactly as given.
std::vector<uint8_t> makeDib(int Width, int Height, int BitCount, const std::vector<RGBQUAD> &Table,
                             const std::vector<uint8_t> &Rows, uint32_t ClrUsed = 0)
{
    BITMAPINFOHEADER h{};
    h.biSize = sizeof h;
    h.biWidth = Width;
    h.biHeight = Height;
    h.biPlanes = 1;
    h.biBitCount = uint16_t(BitCount);
    h.biClrUsed = ClrUsed;
    h.biXPelsPerMeter = h.biYPelsPerMeter = 11811;
    std::vector<uint8_t> block(sizeof h + 4 * Table.size() + Rows.size());
    std::memcpy(block.data(), &h, sizeof h);
    if (!Table.empty())
        std::memcpy(block.data() + sizeof h, Table.data(), 4 * Table.size());
    std::memcpy(block.data() + sizeof h + 4 * Table.size(), Rows.data(), Rows.size());
    return block;
}

BITMAPINFOHEADER &headerOf(std::vector<uint8_t> &Block)
{
    return *reinterpret_cast<BITMAPINFOHEADER *>(Block.data());
}

} // namespace

TEST(TwainRecords, FixedPointRoundsHalvesToEven)
{
    const struct { double Value; int16_t Whole; uint16_t Frac; } cases[] = {
        {300.0, 300, 0}, {0.1, 0, 6554}, {2.5, 2, 32768}, {-0.5, -1, 32768},
        {0.5 / 65536, 0, 0}, {1.5 / 65536, 0, 2},
    };
    for (const auto &c : cases) {
        const TW_FIX32 f = ToFix32(c.Value);
        EXPECT_EQ(f.Whole, c.Whole) << c.Value;
        EXPECT_EQ(f.Frac, c.Frac) << c.Value;
    }
    EXPECT_DOUBLE_EQ(FromFix32(ToFix32(-0.5)), -0.5);
}

TEST(TwainRecords, IdentityTextIsCutAndReadWithoutTerminator)
{
    TTwainIdentity identity;
    identity.MakeAppIdentity();
    EXPECT_EQ(identity.ProductName(), "App product name");
    EXPECT_EQ(identity.Record()->ProtocolMinor, 9);
    const TW_UINT32 groups = identity.Record()->SupportedGroups; // packed: read by value
    EXPECT_EQ(groups, 3u);
    identity.SetManufacturer(QByteArray(40, 'x'));
    EXPECT_EQ(identity.Manufacturer(), QByteArray(34, 'x'));
    // The 34 bytes fill the field; the next field is not read as part of it.
    EXPECT_EQ(identity.ProductFamily(), "App product family");
}

TEST(NativeDib, EveryDepthBecomesTheSameDisplayImage)
{
    // A 3 x 2 picture, top row red green blue, bottom row white black grey.
    const QRgb expected[2][3] = {{qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)},
                                 {qRgb(255, 255, 255), qRgb(0, 0, 0), qRgb(128, 128, 128)}};
    const std::vector<RGBQUAD> table = {{0, 0, 255, 0}, {0, 255, 0, 0}, {255, 0, 0, 0},
                                        {255, 255, 255, 0}, {0, 0, 0, 0}, {128, 128, 128, 0}};
    // Rows bottom-up: white black grey first.
    const std::vector<uint8_t> rows24 = {255, 255, 255, 0, 0, 0, 128, 128, 128, 0, 0, 0,
                                         0, 0, 255, 0, 255, 0, 255, 0, 0, 0, 0, 0};
    const std::vector<uint8_t> rows8 = {3, 4, 5, 0, 0, 1, 2, 0};
    const std::vector<uint8_t> rows4 = {0x34, 0x50, 0, 0, 0x01, 0x20, 0, 0};
    const std::vector<uint8_t> rows32 = {255, 255, 255, 9, 0, 0, 0, 9, 128, 128, 128, 9,
                                         0, 0, 255, 9, 0, 255, 0, 9, 255, 0, 0, 9};
    struct Case { const char *Name; std::vector<uint8_t> Block; };
    const Case cases[] = {
        {"24", makeDib(3, 2, 24, {}, rows24)},
        {"32", makeDib(3, 2, 32, {}, rows32)},
        {"8 with 6 colours", makeDib(3, 2, 8, table, rows8, 6)},
        {"4 with 6 colours", makeDib(3, 2, 4, table, rows4, 6)},
    };
    for (const Case &c : cases) {
        const TImageOutcome out = NativeDibToImage(c.Block.data(), c.Block.size());
        ASSERT_EQ(out.Fault, TWCC_SUCCESS) << c.Name;
        ASSERT_EQ(out.Image.format(), QImage::Format_RGB32) << c.Name;
        ASSERT_EQ(out.Image.size(), QSize(3, 2)) << c.Name;
        EXPECT_EQ(out.Image.dotsPerMeterX(), 11811) << c.Name;
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                EXPECT_EQ(out.Image.pixel(x, y), expected[y][x]) << c.Name << " " << x << "," << y;
    }

    // A negative height is a top-down DIB: the first row in memory is the top.
    std::vector<uint8_t> topDown = makeDib(3, -2, 8, table, {0, 1, 2, 0, 3, 4, 5, 0}, 6);
    const TImageOutcome out = NativeDibToImage(topDown.data(), topDown.size());
    ASSERT_EQ(out.Fault, TWCC_SUCCESS);
    EXPECT_EQ(out.Image.pixel(0, 0), expected[0][0]);
    EXPECT_EQ(out.Image.pixel(2, 1), expected[1][2]);
}

TEST(NativeDib, LyingHeadersAreRefusedWithinTheBlock)
{
    // The manager's scripted broken sources cover the rest.
    const std::vector<uint8_t> rows(8 * 4, 0);
    const struct { const char *Name; void (*Spoil)(BITMAPINFOHEADER &); TW_UINT16 Fault; } cases[] = {
        {"biSize too small", [](BITMAPINFOHEADER &h) { h.biSize = 12; }, TWCC_BADVALUE},
        {"width negative", [](BITMAPINFOHEADER &h) { h.biWidth = -4; }, TWCC_BADVALUE},
        {"height 0", [](BITMAPINFOHEADER &h) { h.biHeight = 0; }, TWCC_BADVALUE},
        {"rows beyond the block", [](BITMAPINFOHEADER &h) { h.biHeight = 9; }, TWCC_BADVALUE},
        {"huge height", [](BITMAPINFOHEADER &h) { h.biHeight = -2147483647 - 1; }, TWCC_BADVALUE},
        {"huge width", [](BITMAPINFOHEADER &h) { h.biWidth = 2147483647; }, TWCC_BADVALUE},
        {"compressed", [](BITMAPINFOHEADER &h) { h.biCompression = 1; }, TWCC_BADVALUE},
    };
    for (const auto &c : cases) {
        std::vector<uint8_t> block = makeDib(4, 8, 8, std::vector<RGBQUAD>(256), rows);
        c.Spoil(headerOf(block));
        const TImageOutcome out = NativeDibToImage(block.data(), block.size());
        EXPECT_EQ(out.Fault, c.Fault) << c.Name;
        EXPECT_TRUE(out.Image.isNull()) << c.Name;
    }
    EXPECT_EQ(NativeDibToImage(nullptr, 0).Fault, TWCC_BADVALUE);
    std::vector<uint8_t> shortBlock(20, 0);
    EXPECT_EQ(NativeDibToImage(shortBlock.data(), shortBlock.size()).Fault, TWCC_BADVALUE);
}

namespace {

// A 5 x 4 RGB picture in the source's red-green-blue order, pixel (x, y) = (10x + y, 100 + y, 200 + x).
QRgb sourcePixel(int X, int Y)
{
    return qRgb(10 * X + Y, 100 + Y, 200 + X);
}

// The strip of Rows x Columns from (X, Y), each row BytesPerRow long.
struct TTestStrip
{
    TW_IMAGEMEMXFER Fields;
    std::vector<uint8_t> Bytes;
};

TTestStrip rgbStrip(int X, int Y, int Columns, int Rows, int BytesPerRow)
{
    TTestStrip strip{};
    strip.Fields.Compression = TWCP_NONE;
    strip.Fields.BytesPerRow = TW_UINT32(BytesPerRow);
    strip.Fields.Columns = TW_UINT32(Columns);
    strip.Fields.Rows = TW_UINT32(Rows);
    strip.Fields.XOffset = TW_UINT32(X);
    strip.Fields.YOffset = TW_UINT32(Y);
    strip.Fields.BytesWritten = TW_UINT32(Rows * BytesPerRow);
    strip.Bytes.assign(size_t(Rows * BytesPerRow), 0xEE);
    for (int r = 0; r < Rows; ++r)
        for (int c = 0; c < Columns; ++c) {
            const QRgb p = sourcePixel(X + c, Y + r);
            uint8_t *at = &strip.Bytes[size_t(r * BytesPerRow + 3 * c)];
            at[0] = uint8_t(qRed(p));
            at[1] = uint8_t(qGreen(p));
            at[2] = uint8_t(qBlue(p));
        }
    return strip;
}

BITMAPINFOHEADER headerOf(int Width, int Height, int BitCount)
{
    BITMAPINFOHEADER h{};
    h.biWidth = Width;
    h.biHeight = Height;
    h.biBitCount = uint16_t(BitCount);
    return h;
}

} // namespace

// Wherever and in whatever order the strips come, padded or not, each lands on its rows.
TEST(StripAssembler, PlacesEachStripByItsFields)
{
    const struct { const char *Name; std::vector<TTestStrip> Strips; } cases[] = {
        {"padded rows, two strips", {rgbStrip(0, 0, 5, 2, 16), rgbStrip(0, 2, 5, 2, 16)}},
        {"unpadded rows, bottom first", {rgbStrip(0, 3, 5, 1, 15), rgbStrip(0, 0, 5, 3, 15)}},
        {"tiles", {rgbStrip(0, 0, 2, 4, 6), rgbStrip(2, 0, 3, 4, 12)}},
    };
    for (const auto &c : cases) {
        TStripAssembler assembler;
        ASSERT_EQ(assembler.Start(headerOf(5, 4, 24), {}, true), TWCC_SUCCESS);
        for (const TTestStrip &strip : c.Strips)
            ASSERT_EQ(assembler.Place(strip.Fields, strip.Bytes.data(), strip.Bytes.size()), TWCC_SUCCESS) << c.Name;
        const QImage image = assembler.Finish();
        ASSERT_EQ(image.size(), QSize(5, 4)) << c.Name;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x)
                ASSERT_EQ(image.pixel(x, y), sourcePixel(x, y)) << c.Name << " " << x << "," << y;
    }

    // One bit a pixel: the flavour's table decides what 1 means.
    TStripAssembler mono;
    ASSERT_EQ(mono.Start(headerOf(9, 1, 1), BlackWhiteTable(TWPF_VANILLA), false), TWCC_SUCCESS);
    TW_IMAGEMEMXFER row{TWCP_NONE, 2, 9, 1, 0, 0, 2, {}};
    const uint8_t bits[] = {0xFF, 0x00};
    ASSERT_EQ(mono.Place(row, bits, sizeof bits), TWCC_SUCCESS);
    const QImage image = mono.Finish();
    ASSERT_EQ(image.format(), QImage::Format_Mono);
    EXPECT_EQ(image.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(8, 0), qRgb(255, 255, 255));
}

TEST(StripAssembler, StripsThatContradictTheImageCostIt)
{
    const struct { int Width, Height, BitCount; bool Swap; TW_UINT16 Fault; } refused[] = {
        {0, 4, 8, false, TWCC_BADVALUE}, {4, -5, 8, false, TWCC_BADVALUE},
        {4, 4, 32, false, TWCC_BADVALUE}, {4, 4, 8, true, TWCC_BADVALUE},
        {2000000000, 2000000000, 24, true, TWCC_LOWMEMORY},
    };
    for (const auto &c : refused) {
        TStripAssembler assembler;
        EXPECT_EQ(assembler.Start(headerOf(c.Width, c.Height, c.BitCount), {}, c.Swap), c.Fault)
            << c.Width << "x" << c.Height;
        EXPECT_TRUE(assembler.Finish().isNull());
    }

    const struct { const char *Name; void (*Spoil)(TTestStrip &); } lies[] = {
        {"rows past the end", [](TTestStrip &s) { s.Fields.YOffset = 3; }},
        {"columns past the end", [](TTestStrip &s) { s.Fields.XOffset = 1; }},
        {"rows shorter than their pixels", [](TTestStrip &s) { s.Fields.BytesPerRow = 14; }},
        {"compressed", [](TTestStrip &s) { s.Fields.Compression = 1; }},
        {"more written than the buffer holds", [](TTestStrip &s) { s.Fields.BytesWritten = 100; }},
        {"fewer written than the rows need", [](TTestStrip &s) { s.Fields.BytesWritten = 40; }},
        {"fields left as don't care", [](TTestStrip &s) { s.Fields.Rows = TWON_DONTCARE32; }},
    };
    for (const auto &c : lies) {
        TStripAssembler assembler;
        ASSERT_EQ(assembler.Start(headerOf(5, 4, 24), {}, true), TWCC_SUCCESS);
        TTestStrip strip = rgbStrip(0, 0, 5, 2, 16);
        c.Spoil(strip);
        EXPECT_EQ(assembler.Place(strip.Fields, strip.Bytes.data(), strip.Bytes.size()), TWCC_BADVALUE) << c.Name;
    }

    // Done before every row came, or a row sent twice: no picture.
    TStripAssembler assembler;
    ASSERT_EQ(assembler.Start(headerOf(5, 4, 24), {}, true), TWCC_SUCCESS);
    const TTestStrip top = rgbStrip(0, 0, 5, 2, 15);
    ASSERT_EQ(assembler.Place(top.Fields, top.Bytes.data(), top.Bytes.size()), TWCC_SUCCESS);
    EXPECT_FALSE(assembler.Complete());
    EXPECT_EQ(assembler.Place(top.Fields, top.Bytes.data(), top.Bytes.size()), TWCC_BADVALUE) << "rows sent twice";
    EXPECT_TRUE(assembler.Finish().isNull());
}

TEST(StripAssembler, ResolutionFollowsTheUnit)
{
    EXPECT_EQ(PelsPerMeter(300, TWUN_INCHES), 11811);
    EXPECT_EQ(PelsPerMeter(300, TWUN_CENTIMETERS), 30000);
    EXPECT_EQ(PelsPerMeter(300, TWUN_PIXELS), 0);
    EXPECT_EQ(PelsPerMeter(1e12, TWUN_CENTIMETERS), 0);
}
