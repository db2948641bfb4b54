#pragma once

#include <QImage>
#include <QString>

#include <functional>

// The scan files as the acquire handler writes them. A file that cannot be
// written is reported here, in an error dialog, and the call returns normally;
// an encoding error is thrown as EAppError for the caller to report.

// "Cannot save JPEG file!" when the file cannot be written.
void SaveHqJpeg(const QImage &Picture, const QString &FileName);

// "Cannot save scaled JPEG file!" when the file cannot be written.
void SaveWebJpeg(const QImage &Picture, int LongSide, int Quality, const QString &FileName,
                 double Ratio, const QString &WatermarkText);

// SaveHqJpeg then SaveWebJpeg, with the two encodings on two cores. Everything
// the user or the log can see keeps the order of the two calls: the full-size
// file is written (or its dialog shown) first, then AfterHqSaved runs (the
// caller logs there), then the web copy is written or its error thrown. When
// the full-size encoding fails, its error is thrown and nothing is written.
void SaveHqAndWebJpeg(const QImage &Picture, const QString &HqFileName, int LongSide, int Quality,
                      const QString &WebFileName, double Ratio, const QString &WatermarkText,
                      const std::function<void()> &AfterHqSaved);
