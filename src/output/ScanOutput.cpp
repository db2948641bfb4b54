#include "output/ScanOutput.h"

#include "output/AtomicFile.h"
#include "output/Resampler.h"
#include "output/Watermark.h"
#include "platform/AppError.h"

#include <future>
#include <system_error>

bool WriteHqJpeg(const QImage &Picture, const QString &FileName)
{
    const TJpegBytes Bytes = EncodeJpeg(Picture, kHqJpegQuality);
    return ReplaceFileAtomically(FileName, Bytes.Data(), Bytes.Size());
}

QImage MakeWebCopy(const QImage &Picture, int LongSide, double Ratio, const QString &WatermarkText)
{
    if (Picture.isNull())
        throw EAppError(QStringLiteral("Cannot resample an empty image"));
    const QSize Size = WebCopySize(LongSide, Ratio);
    QImage Copy = Size == Picture.size() ? Picture.convertToFormat(QImage::Format_ARGB32)
                                         : ResampleLanczos3(Picture, Size);
    if (Copy.isNull())
        throw EAppError(QStringLiteral("Out of memory"));
    if (WatermarkWanted(LongSide, WatermarkText))
        DrawWatermark(Copy, WatermarkText);
    return Copy;
}

bool WriteWebJpeg(const QImage &Picture, int LongSide, int Quality, const QString &FileName,
                  double Ratio, const QString &WatermarkText)
{
    const TJpegBytes Bytes = EncodeJpeg(MakeWebCopy(Picture, LongSide, Ratio, WatermarkText), Quality);
    return ReplaceFileAtomically(FileName, Bytes.Data(), Bytes.Size());
}

TEncodedScan EncodeHqAndWeb(const QImage &Picture, int LongSide, int Quality, double Ratio,
                            const QString &WatermarkText)
{
    TEncodedScan Result;
    std::future<TJpegBytes> Hq;
    try {
        Hq = std::async(std::launch::async, [&Picture] { return EncodeJpeg(Picture, kHqJpegQuality); });
    } catch (const std::system_error &) {
        // No thread to be had: one after the other.
    }
    try {
        Result.Web = EncodeJpeg(MakeWebCopy(Picture, LongSide, Ratio, WatermarkText), Quality);
    } catch (...) {
        Result.WebError = std::current_exception();
    }
    Result.Hq = Hq.valid() ? Hq.get() : EncodeJpeg(Picture, kHqJpegQuality);
    return Result;
}
