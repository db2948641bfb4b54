#include "GlassPicture.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <new>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

namespace {

// Larger than any glass at 1200 dpi; a file claiming more is refused before
// its memory is asked for.
constexpr int64_t kMaxSide = 30000;
constexpr int64_t kMaxPixels = 150'000'000;

bool sizeAllowed(int64_t Width, int64_t Height, std::string &Error)
{
    if (Width <= 0 || Height <= 0) {
        Error = "the picture has no pixels";
        return false;
    }
    if (Width > kMaxSide || Height > kMaxSide || Width * Height > kMaxPixels) {
        Error = "the picture is too large (" + std::to_string(Width) + " x " + std::to_string(Height) + ")";
        return false;
    }
    return true;
}

bool allocate(TGlassPicture &Picture, int64_t Width, int64_t Height, std::string &Error)
{
    if (!sizeAllowed(Width, Height, Error))
        return false;
    try {
        Picture.Rgb.assign(size_t(Width * Height * 3), 255);
    } catch (const std::bad_alloc &) {
        Error = "not enough memory for the picture";
        return false;
    }
    Picture.Width = int(Width);
    Picture.Height = int(Height);
    return true;
}

// A pixel with transparency, laid on the lid's white.
uint8_t onWhite(uint8_t Value, uint8_t Alpha)
{
    return uint8_t((Value * Alpha + 255 * (255 - Alpha) + 127) / 255);
}

struct TFileCloser
{
    void operator()(FILE *File) const { std::fclose(File); }
};
using TFile = std::unique_ptr<FILE, TFileCloser>;

// ---- PNG ----

struct TPngFailure
{
    std::jmp_buf Jump;
    char Message[200] = {};
};

void pngError(png_structp Png, png_const_charp Message)
{
    auto *failure = static_cast<TPngFailure *>(png_get_error_ptr(Png));
    std::snprintf(failure->Message, sizeof failure->Message, "%s", Message);
    std::longjmp(failure->Jump, 1);
}

void pngWarning(png_structp, png_const_charp) {}

// Everything that must outlive a longjmp lives outside the function that sets it.
struct TPngRead
{
    png_structp Png = nullptr;
    png_infop Info = nullptr;
    std::vector<uint8_t> Pixels;      // RGBA: one row, or the whole picture when interlaced
    std::vector<png_bytep> Rows;
    ~TPngRead() { png_destroy_read_struct(&Png, &Info, nullptr); }
};

void layOnWhite(const uint8_t *Rgba, size_t Count, uint8_t *Rgb)
{
    for (size_t i = 0; i < Count; ++i)
        for (size_t c = 0; c < 3; ++c)
            Rgb[3 * i + c] = onWhite(Rgba[4 * i + c], Rgba[4 * i + 3]);
}

bool readPngBody(FILE *File, TPngRead &Read, TPngFailure &Failure, TGlassPicture &Picture, std::string &Error)
{
    if (setjmp(Failure.Jump)) {
        Error = Failure.Message;
        return false;
    }
    png_init_io(Read.Png, File);
    png_set_user_limits(Read.Png, kMaxSide, kMaxSide);
    png_read_info(Read.Png, Read.Info);
    const png_uint_32 width = png_get_image_width(Read.Png, Read.Info);
    const png_uint_32 height = png_get_image_height(Read.Png, Read.Info);
    if (!allocate(Picture, width, height, Error))
        return false;
    png_uint_32 xRes = 0, yRes = 0;
    int unit = 0;
    if (png_get_pHYs(Read.Png, Read.Info, &xRes, &yRes, &unit) && unit == PNG_RESOLUTION_METER && xRes > 0
        && yRes > 0) {
        Picture.XDpi = xRes * 0.0254;
        Picture.YDpi = yRes * 0.0254;
    }
    // Every kind of PNG as 8-bit red, green, blue, alpha.
    png_set_expand(Read.Png);
    png_set_strip_16(Read.Png);
    png_set_gray_to_rgb(Read.Png);
    png_set_add_alpha(Read.Png, 0xFF, PNG_FILLER_AFTER);
    const bool interlaced = png_set_interlace_handling(Read.Png) > 1;
    png_read_update_info(Read.Png, Read.Info);
    if (png_get_rowbytes(Read.Png, Read.Info) != size_t(width) * 4) {
        Error = "unexpected PNG row layout";
        return false;
    }
    const size_t rowBytes = size_t(width) * 4;
    try {
        Read.Pixels.resize(interlaced ? rowBytes * height : rowBytes);
        Read.Rows.resize(interlaced ? height : 0);
    } catch (const std::bad_alloc &) {
        Error = "not enough memory for the picture";
        return false;
    }
    if (interlaced) {
        for (png_uint_32 y = 0; y < height; ++y)
            Read.Rows[y] = Read.Pixels.data() + rowBytes * y;
        png_read_image(Read.Png, Read.Rows.data());
        layOnWhite(Read.Pixels.data(), size_t(width) * height, Picture.Rgb.data());
    } else {
        for (png_uint_32 y = 0; y < height; ++y) {
            png_read_row(Read.Png, Read.Pixels.data(), nullptr);
            layOnWhite(Read.Pixels.data(), width, Picture.Rgb.data() + size_t(y) * width * 3);
        }
    }
    png_read_end(Read.Png, nullptr);
    return true;
}

bool readPng(FILE *File, TGlassPicture &Picture, std::string &Error)
{
    TPngFailure failure;
    TPngRead read;
    read.Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &failure, pngError, pngWarning);
    if (read.Png)
        read.Info = png_create_info_struct(read.Png);
    if (!read.Png || !read.Info) {
        Error = "not enough memory to read the PNG file";
        return false;
    }
    return readPngBody(File, read, failure, Picture, Error);
}

// ---- JPEG ----

struct TJpegFailure
{
    jpeg_error_mgr Manager;
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX] = {};
};

void jpegError(j_common_ptr Info)
{
    auto *failure = reinterpret_cast<TJpegFailure *>(Info->err);
    (*Info->err->format_message)(Info, failure->Message);
    std::longjmp(failure->Jump, 1);
}

void jpegMessage(j_common_ptr, int) {}

struct TJpegRead
{
    jpeg_decompress_struct Info{};
    bool Created = false;
    ~TJpegRead()
    {
        if (Created)
            jpeg_destroy_decompress(&Info);
    }
};

bool readJpegBody(FILE *File, TJpegRead &Read, TJpegFailure &Failure, TGlassPicture &Picture, std::string &Error)
{
    if (setjmp(Failure.Jump)) {
        Error = Failure.Message;
        return false;
    }
    jpeg_create_decompress(&Read.Info);
    Read.Created = true;
    jpeg_stdio_src(&Read.Info, File);
    jpeg_read_header(&Read.Info, TRUE);
    if (!sizeAllowed(Read.Info.image_width, Read.Info.image_height, Error))
        return false;
    if (Read.Info.saw_JFIF_marker && Read.Info.X_density > 0 && Read.Info.Y_density > 0
        && (Read.Info.density_unit == 1 || Read.Info.density_unit == 2)) {
        const double perInch = Read.Info.density_unit == 1 ? 1.0 : 2.54;
        Picture.XDpi = Read.Info.X_density * perInch;
        Picture.YDpi = Read.Info.Y_density * perInch;
    }
    Read.Info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&Read.Info);
    if (Read.Info.output_components != 3) {
        Error = "unexpected JPEG colour layout";
        return false;
    }
    if (!allocate(Picture, Read.Info.output_width, Read.Info.output_height, Error))
        return false;
    while (Read.Info.output_scanline < Read.Info.output_height) {
        JSAMPROW row = Picture.Rgb.data() + size_t(Read.Info.output_scanline) * Read.Info.output_width * 3;
        jpeg_read_scanlines(&Read.Info, &row, 1);
    }
    jpeg_finish_decompress(&Read.Info);
    return true;
}

bool readJpeg(FILE *File, TGlassPicture &Picture, std::string &Error)
{
    TJpegFailure failure;
    TJpegRead read;
    read.Info.err = jpeg_std_error(&failure.Manager);
    failure.Manager.error_exit = jpegError;
    failure.Manager.emit_message = jpegMessage;
    return readJpegBody(File, read, failure, Picture, Error);
}

// ---- TIFF ----

int tiffError(TIFF *, void *User, const char *, const char *Format, va_list Arguments)
{
    auto *error = static_cast<std::string *>(User);
    if (error->empty()) {
        char text[300];
        std::vsnprintf(text, sizeof text, Format, Arguments);
        *error = text;
    }
    return 1;
}

int tiffWarning(TIFF *, void *, const char *, const char *, va_list)
{
    return 1;
}

bool readTiff(const std::string &FileName, TGlassPicture &Picture, std::string &Error)
{
    // Per-file handlers: the application's own TIFF users keep theirs.
    std::string tiffMessage;
    TIFFOpenOptions *options = TIFFOpenOptionsAlloc();
    if (!options) {
        Error = "not enough memory to read the TIFF file";
        return false;
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options, tiffError, &tiffMessage);
    TIFFOpenOptionsSetWarningHandlerExtR(options, tiffWarning, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, tmsize_t(kMaxPixels) * 4);
    TIFF *tiff = TIFFOpenExt(FileName.c_str(), "r", options);
    TIFFOpenOptionsFree(options);
    if (!tiff) {
        Error = tiffMessage.empty() ? "not a TIFF file" : tiffMessage;
        return false;
    }
    const std::unique_ptr<TIFF, void (*)(TIFF *)> closer(tiff, TIFFClose);
    uint32_t width = 0, height = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    if (!sizeAllowed(width, height, Error))
        return false;
    float xRes = 0, yRes = 0;
    uint16_t unit = RESUNIT_INCH;
    if (TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &xRes) && TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &yRes)
        && xRes > 0 && yRes > 0) {
        TIFFGetFieldDefaulted(tiff, TIFFTAG_RESOLUTIONUNIT, &unit);
        if (unit == RESUNIT_INCH || unit == RESUNIT_CENTIMETER) {
            const double perInch = unit == RESUNIT_INCH ? 1.0 : 2.54;
            Picture.XDpi = xRes * perInch;
            Picture.YDpi = yRes * perInch;
        }
    }
    std::vector<uint32_t> raster;
    try {
        raster.resize(size_t(width) * height);
    } catch (const std::bad_alloc &) {
        Error = "not enough memory for the picture";
        return false;
    }
    if (!TIFFReadRGBAImageOriented(tiff, width, height, raster.data(), ORIENTATION_TOPLEFT, 0)) {
        Error = tiffMessage.empty() ? "cannot read the TIFF image" : tiffMessage;
        return false;
    }
    if (!allocate(Picture, width, height, Error))
        return false;
    for (size_t i = 0; i < raster.size(); ++i) {
        const uint32_t abgr = raster[i];
        const auto alpha = uint8_t(TIFFGetA(abgr));
        // libtiff hands out colours premultiplied by their alpha.
        Picture.Rgb[3 * i] = uint8_t(std::min(255, int(TIFFGetR(abgr)) + 255 - alpha));
        Picture.Rgb[3 * i + 1] = uint8_t(std::min(255, int(TIFFGetG(abgr)) + 255 - alpha));
        Picture.Rgb[3 * i + 2] = uint8_t(std::min(255, int(TIFFGetB(abgr)) + 255 - alpha));
    }
    return true;
}

// ---- resampling ----

// Lanczos with three lobes.
double lanczos(double X)
{
    X = std::abs(X);
    if (X < 1e-9)
        return 1;
    if (X >= 3)
        return 0;
    const double pi = 3.14159265358979323846;
    return 3 * std::sin(pi * X) * std::sin(pi * X / 3) / (pi * pi * X * X);
}

// The taps of one output pixel along one axis; taps off the picture see white.
struct TTaps
{
    int First = 0;
    std::vector<float> Weights;
    float White = 0;
};

// Output pixel I of a frame starting at pixel FrameStart (in output pixels)
// samples the picture, whose pixels are Scale times smaller, at its centre.
std::vector<TTaps> tapsOf(int64_t FrameStart, int64_t Count, double Scale, int PictureLength)
{
    std::vector<TTaps> all(static_cast<size_t>(Count));
    // Reducing widens the filter, so that no detail aliases.
    const double stretch = std::max(1.0, Scale);
    const double reach = 3 * stretch;
    for (int64_t i = 0; i < Count; ++i) {
        const double centre = (double(FrameStart + i) + 0.5) * Scale - 0.5;
        const int first = int(std::ceil(centre - reach));
        const int last = int(std::floor(centre + reach));
        TTaps &taps = all[size_t(i)];
        double sum = 0;
        std::vector<double> weights;
        for (int j = first; j <= last; ++j) {
            const double w = lanczos((j - centre) / stretch);
            weights.push_back(w);
            sum += w;
        }
        // Whole-pixel positions give a single tap of 1: the picture is copied as it is.
        int keepFirst = 0;
        int keepLast = int(weights.size()) - 1;
        while (keepFirst <= keepLast && std::abs(weights[size_t(keepFirst)]) < 1e-7 * sum)
            ++keepFirst;
        while (keepLast >= keepFirst && std::abs(weights[size_t(keepLast)]) < 1e-7 * sum)
            --keepLast;
        taps.First = std::max(0, first + keepFirst);
        for (int k = keepFirst; k <= keepLast; ++k) {
            const int j = first + k;
            const double w = weights[size_t(k)] / sum;
            if (j < 0 || j >= PictureLength)
                taps.White += float(w);
            else
                taps.Weights.push_back(float(w));
        }
        if (taps.Weights.empty())
            taps.First = 0;
    }
    return all;
}

uint8_t toByte(float Value)
{
    return uint8_t(std::clamp(std::lround(Value), 0L, 255L));
}

uint8_t nearestPaletteColour(const uint8_t *Rgb)
{
    const std::vector<uint8_t> &palette = CardPalette();
    int best = 0;
    int bestDistance = 1 << 30;
    for (size_t i = 0; i + 2 < palette.size(); i += 3) {
        int distance = 0;
        for (int c = 0; c < 3; ++c)
            distance += (Rgb[c] - palette[i + size_t(c)]) * (Rgb[c] - palette[i + size_t(c)]);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = int(i / 3);
        }
    }
    return uint8_t(best);
}

// One RGB row into the image's own pixel type.
void storeRow(TRenderedImage &Image, int64_t Y, const std::vector<uint8_t> &Rgb)
{
    uint8_t *row = Image.Rows.get() + Y * Image.RowBytes;
    const int width = Image.Width;
    switch (Image.PixelType) {
    case TWPT_RGB:
        std::memcpy(row, Rgb.data(), size_t(width) * 3);
        break;
    case TWPT_GRAY:
        for (int x = 0; x < width; ++x)
            row[x] = Luminance(&Rgb[size_t(3 * x)]);
        break;
    case TWPT_PALETTE:
        for (int x = 0; x < width; ++x)
            row[x] = nearestPaletteColour(&Rgb[size_t(3 * x)]);
        break;
    default:
        std::memset(row, 0, size_t((width + 7) / 8));
        for (int x = 0; x < width; ++x)
            if (BwBitOf(Luminance(&Rgb[size_t(3 * x)]), Image.PixelFlavor))
                row[x >> 3] = uint8_t(row[x >> 3] | (0x80 >> (x & 7)));
        break;
    }
}

} // namespace

bool ReadGlassPicture(const std::string &FileName, TGlassPicture &Picture, std::string &Error)
{
    Picture = TGlassPicture();
    TFile file(std::fopen(FileName.c_str(), "rb"));
    if (!file) {
        Error = std::strerror(errno);
        return false;
    }
    unsigned char magic[8] = {};
    const size_t got = std::fread(magic, 1, sizeof magic, file.get());
    std::rewind(file.get());
    if (got >= 8 && png_sig_cmp(magic, 0, 8) == 0)
        return readPng(file.get(), Picture, Error);
    if (got >= 3 && magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF)
        return readJpeg(file.get(), Picture, Error);
    if (got >= 4 && ((magic[0] == 'I' && magic[1] == 'I') || (magic[0] == 'M' && magic[1] == 'M'))) {
        file.reset();
        return readTiff(FileName, Picture, Error);
    }
    Error = "not a PNG, JPEG or TIFF file";
    return false;
}

std::unique_ptr<TRenderedImage> RenderPictureScan(const TScanRequest &Request, const TGlassPicture &Picture)
{
    auto image = NewScanImage(Request);
    if (!image)
        return nullptr;
    const TPixelBox box = PixelBoxOf(Request.Frame, Request.XDpi, Request.YDpi);
    try {
        const std::vector<TTaps> columns = tapsOf(box.Left, box.Width, Picture.XDpi / Request.XDpi, Picture.Width);
        const std::vector<TTaps> rows = tapsOf(box.Top, box.Height, Picture.YDpi / Request.YDpi, Picture.Height);
        const size_t width = size_t(box.Width);

        // Picture rows filtered across, kept while the rows below still need them.
        std::deque<std::pair<int, std::vector<float>>> across;
        const auto acrossRow = [&](int Y) -> const std::vector<float> & {
            for (const auto &[y, values] : across)
                if (y == Y)
                    return values;
            std::vector<float> values(width * 3);
            const uint8_t *source = Picture.Rgb.data() + size_t(Y) * size_t(Picture.Width) * 3;
            for (size_t x = 0; x < width; ++x) {
                const TTaps &taps = columns[x];
                float sum[3] = {255 * taps.White, 255 * taps.White, 255 * taps.White};
                const uint8_t *pixel = source + size_t(taps.First) * 3;
                for (float w : taps.Weights) {
                    sum[0] += w * pixel[0];
                    sum[1] += w * pixel[1];
                    sum[2] += w * pixel[2];
                    pixel += 3;
                }
                std::copy(sum, sum + 3, values.begin() + std::ptrdiff_t(3 * x));
            }
            across.emplace_back(Y, std::move(values));
            return across.back().second;
        };

        std::vector<float> sum(width * 3);
        std::vector<uint8_t> rgb(width * 3);
        for (int64_t y = 0; y < box.Height; ++y) {
            const TTaps &taps = rows[size_t(y)];
            while (!across.empty() && across.front().first < taps.First)
                across.pop_front();
            std::fill(sum.begin(), sum.end(), 255 * taps.White);
            for (size_t k = 0; k < taps.Weights.size(); ++k) {
                const std::vector<float> &values = acrossRow(taps.First + int(k));
                const float w = taps.Weights[k];
                for (size_t i = 0; i < sum.size(); ++i)
                    sum[i] += w * values[i];
            }
            for (size_t i = 0; i < sum.size(); ++i)
                rgb[i] = toByte(sum[i]);
            storeRow(*image, y, rgb);
        }
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
    return image;
}

std::unique_ptr<TRenderedImage> RenderFlatbedScan(const TScanRequest &Request)
{
    const char *fileName = std::getenv("VELLUMORA_VFB_GLASS");
    if (!fileName || !*fileName)
        return RenderScan(Request);
    TGlassPicture picture;
    std::string error;
    if (!ReadGlassPicture(fileName, picture, error)) {
        std::fprintf(stderr, "Virtual Flatbed: cannot put the picture %s on the glass: %s\n", fileName,
                     error.c_str());
        return nullptr;
    }
    return RenderPictureScan(Request, picture);
}
