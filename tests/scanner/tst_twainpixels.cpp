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

TEST(StripAssembler, RefusesWhatItCannotHoldAndBlanksWhatNeverCame)
{
    const struct { int Width, Height, BitCount; bool Swap; TW_UINT16 Fault; } refused[] = {
        {0, 4, 8, false, TWCC_BADVALUE}, {4, -5, 8, false, TWCC_BADVALUE},
        {4, 4, 32, false, TWCC_BADVALUE}, {4, 4, 8, true, TWCC_BADVALUE},
        {2000000000, 2000000000, 24, true, TWCC_LOWMEMORY},
    };
    for (const auto &c : refused) {
        BITMAPINFOHEADER h{};
        h.biWidth = c.Width;
        h.biHeight = c.Height;
        h.biBitCount = uint16_t(c.BitCount);
        TStripAssembler assembler;
        EXPECT_EQ(assembler.Start(h, {}, c.Swap), c.Fault) << c.Width << "x" << c.Height;
        EXPECT_TRUE(assembler.Finish().isNull());
    }

    BITMAPINFOHEADER h{};
    h.biWidth = 9;
    h.biHeight = 3;
    h.biBitCount = 1;
    TStripAssembler assembler;
    ASSERT_EQ(assembler.Start(h, BlackWhiteTable(TWPF_VANILLA), false), TWCC_SUCCESS);
    const uint8_t firstRow[] = {0xFF, 0x80, 0, 0};
    ASSERT_TRUE(assembler.Append(firstRow, 4));
    const QImage image = assembler.Finish();
    ASSERT_EQ(image.format(), QImage::Format_Mono);
    EXPECT_EQ(image.pixel(8, 0), qRgb(0, 0, 0));   // vanilla: 1 is black
    EXPECT_EQ(image.pixel(0, 2), qRgb(255, 255, 255));
}

TEST(StripAssembler, ResolutionFollowsTheUnit)
{
    EXPECT_EQ(PelsPerMeter(300, TWUN_INCHES), 11811);
    EXPECT_EQ(PelsPerMeter(300, TWUN_CENTIMETERS), 30000);
    EXPECT_EQ(PelsPerMeter(300, TWUN_PIXELS), 0);
    EXPECT_EQ(PelsPerMeter(1e12, TWUN_CENTIMETERS), 0);
}
