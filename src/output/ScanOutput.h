#pragma once

#include <QImage>
#include <QString>

#include <exception>
#include <functional>

// The two scan files without any dialog: the thin callers in SaveJpeg.h turn a
// false result (the file could not be written) into the user's message.
// Encoding errors throw EAppError.

constexpr int kHqJpegQuality = 95;
constexpr int kWebJpegQuality = 80;

// The full-size scan, quality 95. False when the file could not be written;
// an earlier file of that name is then kept.
bool WriteHqJpeg(const QImage &Picture, const QString &FileName);

// The web copy's pixels: resampled to WebCopySize(LongSide, Ratio), or copied
// when that is the picture's own size, then watermarked. Format_ARGB32.
QImage MakeWebCopy(const QImage &Picture, int LongSide, double Ratio, const QString &WatermarkText);

// The web copy at Quality. False when the file could not be written.
bool WriteWebJpeg(const QImage &Picture, int LongSide, int Quality, const QString &FileName,
                  double Ratio, const QString &WatermarkText);

class TAtomicFile;

// Both files made ready on two cores: the full-size picture is encoded into
// HqFile on a helper thread while this thread makes the web copy and encodes
// it into WebFile (the watermark's fonts stay on this thread). Both files are
// flushed but not committed, so the caller decides the order in which they
// appear. The full-size encoder's error is thrown; the web copy's is returned,
// because it must reach the caller only after the full-size file is committed.
std::exception_ptr EncodeHqAndWeb(const QImage &Picture, TAtomicFile &HqFile, TAtomicFile &WebFile,
                                  int LongSide, int Quality, double Ratio,
                                  const QString &WatermarkText);

// Both files through EncodeHqAndWeb, committed in the order the user sees: the
// full-size file, then HqCommitted (told whether it was written), then the web
// copy, whose encoding error is thrown only now. When the full-size encoding
// fails its error is thrown and nothing is written. True when the web copy was
// written.
bool WriteHqAndWebJpeg(const QImage &Picture, const QString &HqFileName, int LongSide, int Quality,
                       const QString &WebFileName, double Ratio, const QString &WatermarkText,
                       const std::function<void(bool Written)> &HqCommitted);
