// The flatbed scanning a picture file put on its glass (VELLUMORA_VFB_GLASS).
#include "DsmTestBase.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <cstdlib>
#include <functional>

#include <tiffio.h>

namespace {

constexpr double kMetresPerInch = 0.0254;

class GlassPicture : public TDsmTestBase
{
public:
    void SetUp() override
    {
        LoadFlatbed("Glass picture test");
        if (HasFatalFailure())
            return;
        openSource();
    }
    void TearDown() override
    {
        unsetenv("VELLUMORA_VFB_GLASS");
        TDsmTestBase::TearDown();
    }

    // Puts the file on the glass and scans Right x Bottom inches at Dpi; false
    // when the scan fails. The source is ready for the next scan afterwards.
    bool Scan(const QString &File, double Dpi, double Right, double Bottom, TW_UINT16 PixelType = TWPT_RGB)
    {
        setenv("VELLUMORA_VFB_GLASS", QFile::encodeName(File).constData(), 1);
        EXPECT_EQ(setOne(ICAP_PIXELTYPE, TWTY_UINT16, PixelType), TWRC_SUCCESS);
        EXPECT_EQ(setFix32(ICAP_XRESOLUTION, Dpi), TWRC_SUCCESS);
        EXPECT_EQ(setFix32(ICAP_YRESOLUTION, Dpi), TWRC_SUCCESS);
        EXPECT_EQ(setFrame(0, 0, Right, Bottom), TWRC_SUCCESS);
        TW_USERINTERFACE ui{TwFalse, TwTrue, nullptr};
        EXPECT_EQ(toSource(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
        TW_MSG msg{nullptr, 0x400, 0, 0, 0, 0, 0};
        TW_EVENT event{&msg, 0};
        toSource(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
        EXPECT_EQ(event.TWMessage, MSG_XFERREADY);
        TW_HANDLE handle = nullptr;
        const TW_UINT16 rc = toSource(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &handle);
        std::free(handle);
        // The standard's way out: a finished or cancelled transfer is ended, then
        // whatever is left pending is dropped.
        TW_PENDINGXFERS pending{};
        if (rc == TWRC_XFERDONE || rc == TWRC_CANCEL)
            toSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
        if (rc == TWRC_FAILURE || pending.Count != 0)
            toSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
        toSource(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
        return rc == TWRC_XFERDONE;
    }

    QRgb Pixel(int X, int Y)
    {
        const VfbImage image = last();
        const uint8_t *rgb = image.Rows + size_t(Y) * image.RowBytes + 3 * size_t(X);
        return qRgb(rgb[0], rgb[1], rgb[2]);
    }

    QString Write(const QImage &Picture, const char *Name, double Dpi = 0)
    {
        QImage picture = Picture;
        if (Dpi > 0) {
            picture.setDotsPerMeterX(int(Dpi / kMetresPerInch + 0.5));
            picture.setDotsPerMeterY(int(Dpi / kMetresPerInch + 0.5));
        }
        const QString file = dir_.filePath(QLatin1String(Name));
        EXPECT_TRUE(picture.save(file)) << Name;
        return file;
    }

    QTemporaryDir dir_;
};

// A block of colour Colour with a white lid to its right and below.
QImage block(int Width, int Height, QColor Colour)
{
    QImage picture(Width, Height, QImage::Format_RGB32);
    picture.fill(Colour);
    return picture;
}

QByteArray readAll(const QString &File)
{
    QFile file(File);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString writeBytes(const QString &File, const QByteArray &Bytes)
{
    QFile file(File);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(Bytes);
    return File;
}

// The CRC a PNG chunk ends with (ISO 3309, as PNG defines it).
quint32 pngCrc(const QByteArray &Bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : Bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QString writeTiff(const QString &File, int Width, int Height, QColor Colour, float PixelsPerCm)
{
    TIFF *tiff = TIFFOpen(QFile::encodeName(File).constData(), "w");
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, Width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, Height);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_CENTIMETER);
    TIFFSetField(tiff, TIFFTAG_XRESOLUTION, PixelsPerCm);
    TIFFSetField(tiff, TIFFTAG_YRESOLUTION, PixelsPerCm);
    std::vector<uint8_t> row(size_t(Width) * 3);
    for (int x = 0; x < Width; ++x) {
        row[size_t(3 * x)] = uint8_t(Colour.red());
        row[size_t(3 * x + 1)] = uint8_t(Colour.green());
        row[size_t(3 * x + 2)] = uint8_t(Colour.blue());
    }
    for (int y = 0; y < Height; ++y)
        TIFFWriteScanline(tiff, row.data(), uint32_t(y), 0);
    TIFFClose(tiff);
    return File;
}

bool near(QRgb A, QRgb B, int Tolerance)
{
    return std::abs(qRed(A) - qRed(B)) <= Tolerance && std::abs(qGreen(A) - qGreen(B)) <= Tolerance
           && std::abs(qBlue(A) - qBlue(B)) <= Tolerance;
}

} // namespace

TEST_F(GlassPicture, EachFormatLiesAtItsOwnResolutionWithTheLidAroundIt)
{
    const QColor red(200, 30, 40);
    // Each picture is one inch wide and half an inch high at its own density.
    const struct
    {
        const char *Name;
        std::function<QString()> Make;
    } pictures[] = {
        {"PNG at 200 dpi", [&] { return Write(block(200, 100, red), "a.png", 200); }},
        {"JPEG at 150 dpi", [&] { return Write(block(150, 75, red), "a.jpg", 150); }},
        {"TIFF at 100 dpi in centimetres",
         [&] { return writeTiff(dir_.filePath(QStringLiteral("a.tif")), 100, 50, red, float(100 / 2.54)); }},
        {"PNG without a density, at 600 dpi", [&] {
             QByteArray png = readAll(Write(block(600, 300, red), "b.png", 96));
             const qsizetype at = png.indexOf("pHYs") - 4;
             EXPECT_GT(at, 0);
             return writeBytes(dir_.filePath(QStringLiteral("b.png")), png.remove(at, 4 + 4 + 9 + 4));
         }},
    };
    for (const auto &picture : pictures) {
        ASSERT_TRUE(Scan(picture.Make(), 100, 2, 1)) << picture.Name;
        ASSERT_EQ(last().Width, 200) << picture.Name;
        for (const auto &[x, y, inside] : {std::tuple{2, 2, true}, {97, 47, true}, {103, 20, false}, {50, 53, false}})
            EXPECT_TRUE(near(Pixel(x, y), inside ? red.rgb() : qRgb(255, 255, 255), 6))
                << picture.Name << " at " << x << "," << y << ": " << std::hex << Pixel(x, y);
    }
}

TEST_F(GlassPicture, AtItsOwnResolutionThePictureIsScannedPixelForPixel)
{
    QImage picture(64, 48, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb((x * 37) & 255, (y * 53) & 255, ((x ^ y) * 11) & 255));
    ASSERT_TRUE(Scan(Write(picture, "sharp.png", 300), 300, 0.3, 0.2));
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            ASSERT_EQ(Pixel(x, y), picture.pixel(x, y)) << x << "," << y;
}

TEST_F(GlassPicture, ThePictureIsReadAfreshAtEveryScanAndInTheRequestedPixelType)
{
    const QString file = dir_.filePath(QStringLiteral("glass.png"));
    Write(block(100, 100, QColor(10, 20, 30)), "glass.png", 100);
    ASSERT_TRUE(Scan(file, 100, 1, 1));
    EXPECT_EQ(Pixel(50, 50), qRgb(10, 20, 30));
    Write(block(100, 100, QColor(0, 128, 255)), "glass.png", 100);
    ASSERT_TRUE(Scan(file, 100, 1, 1, TWPT_GRAY));
    const VfbImage grey = last();
    EXPECT_EQ(grey.BitsPerPixel, 8);
    EXPECT_NEAR(grey.Rows[50 * grey.RowBytes + 50], (587 * 128 + 114 * 255) / 1000, 1);
}

TEST_F(GlassPicture, APictureThatCannotBeReadFailsTheScanOnly)
{
    const QByteArray png = readAll(Write(block(40, 40, Qt::blue), "whole.png", 100));
    // A whole PNG header claiming a picture far larger than any glass.
    QByteArray huge = png.left(33);
    huge.replace(16, 8, QByteArray::fromHex("0001869f0001869f"));
    const quint32 crc = pngCrc(huge.mid(12, 17));
    huge.replace(29, 4, QByteArray::fromHex(QByteArray::number(crc, 16).rightJustified(8, '0')));
    const struct
    {
        const char *Name;
        QByteArray Bytes;
    } broken[] = {
        {"truncated PNG", png.left(png.size() / 2)},
        {"huge PNG", huge},
        {"garbage", QByteArray("not a picture at all")},
        {"truncated JPEG", QByteArray::fromHex("ffd8ffe000104a464946")},
        {"truncated TIFF", QByteArray::fromHex("49492a0008000000")},
    };
    for (const auto &file : broken)
        EXPECT_FALSE(Scan(writeBytes(dir_.filePath(QStringLiteral("broken")), file.Bytes), 100, 1, 1)) << file.Name;
    EXPECT_FALSE(Scan(dir_.filePath(QStringLiteral("missing.png")), 100, 1, 1));
    // The next scan with a good picture works.
    EXPECT_TRUE(Scan(Write(block(40, 40, Qt::blue), "good.png", 100), 100, 1, 1));
}
