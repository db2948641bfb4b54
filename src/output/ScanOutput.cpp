#include "output/ScanOutput.h"

#include "output/AtomicFile.h"
#include "output/JpegEncoder.h"
#include "output/Resampler.h"
#include "output/Watermark.h"
#include "platform/AppError.h"

#include <future>
#include <system_error>

bool WriteHqJpeg(const QImage &Picture, const QString &FileName)
{
    TAtomicFile File(FileName);
    TJpegEncoder().EncodeTo(Picture, kHqJpegQuality, File);
    return File.Commit();
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
    const QImage Copy = MakeWebCopy(Picture, LongSide, Ratio, WatermarkText);
    TAtomicFile File(FileName);
    TJpegEncoder().EncodeTo(Copy, Quality, File);
    return File.Commit();
}

std::exception_ptr EncodeHqAndWeb(const QImage &Picture, TAtomicFile &HqFile, TAtomicFile &WebFile,
                                  int LongSide, int Quality, double Ratio,
                                  const QString &WatermarkText)
{
    const auto EncodeHq = [&Picture, &HqFile] {
        TJpegEncoder().EncodeTo(Picture, kHqJpegQuality, HqFile);
        HqFile.Flush();
    };
    std::future<void> Hq;
    try {
        Hq = std::async(std::launch::async, EncodeHq);
    } catch (const std::system_error &) {
        // No thread to be had: one after the other.
    }
    std::exception_ptr WebError;
    try {
        TJpegEncoder().EncodeTo(MakeWebCopy(Picture, LongSide, Ratio, WatermarkText), Quality, WebFile);
        WebFile.Flush();
    } catch (...) {
        WebError = std::current_exception();
    }
    if (Hq.valid())
        Hq.get();
    else
        EncodeHq();
    return WebError;
}

bool WriteHqAndWebJpeg(const QImage &Picture, const QString &HqFileName, int LongSide, int Quality,
                       const QString &WebFileName, double Ratio, const QString &WatermarkText,
                       const std::function<void(bool Written)> &HqCommitted)
{
    TAtomicFile HqFile(HqFileName);
    TAtomicFile WebFile(WebFileName);
    const std::exception_ptr WebError =
        EncodeHqAndWeb(Picture, HqFile, WebFile, LongSide, Quality, Ratio, WatermarkText);
    const bool HqWritten = HqFile.Commit();
    if (HqCommitted)
        HqCommitted(HqWritten);
    if (WebError)
        std::rethrow_exception(WebError);
    return WebFile.Commit();
}
